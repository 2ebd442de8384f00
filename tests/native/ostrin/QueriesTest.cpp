// Cutting name and channel out of a reply, and the two queries on an open connection.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "Device.h"
#include "FakeKivactl.h"
#include "Queries.h"
#include "ostrin.h"

namespace {

// A name buffer with guard bytes behind the capacity given to the code under test.
struct NameBuffer {
  char bytes[80];
  NameBuffer() { std::memset(bytes, '#', sizeof bytes); }
  bool UntouchedFrom(size_t from) const {
    for (size_t i = from; i < sizeof bytes; ++i)
      if (bytes[i] != '#') return false;
    return true;
  }
};

TEST(ParseReply, CutsNameAndChannel) {
  struct Case {
    const char* reply;
    int size;
    const char* name;
    int channel;
  };
  const Case cases[] = {
      {"CHANNEL:021\r\nPROGRAM:News\r\nOK", 3, "Ne", 21},
      {"CHANNEL:021\r\nPROGRAM:News\r\nOK\r\n", 64, "News", 21},
      {"CHANNEL:5\r\nPROGRAM:News\r\nWeather at 9\r\nOK\r\n", 64, "News\r\nWeather at 9", 5},
      {"CHANNEL:5\r\nPROGRAM:News\r\nOK", 5, "News", 5},  // just fits
      {"CHANNEL:5\r\nPROGRAM:News\r\nOK", 1, "", 5},
      {"CHANNEL:5\r\nPROGRAM:\r\nOK", 8, "", 5},
      {"noise CHANNEL: -7 PROGRAM:x\r\nOK", 8, "x", -7},
      {"CHANNEL:+3\r\nPROGRAM:x\r\nOK", 8, "x", 3},
      {"CHANNEL:none\r\nPROGRAM:x\r\nOK", 8, "x", 0},
      {"CHANNEL:99999999999\r\nPROGRAM:x\r\nOK", 8, "x", INT_MAX},
      {"CHANNEL:-99999999999\r\nPROGRAM:x\r\nOK", 8, "x", INT_MIN},
      {"PROGRAM:old\r\nOK CHANNEL:4\r\nPROGRAM:new\r\nOK", 8, "new", 4},
  };
  for (const Case& c : cases) {
    NameBuffer name;
    int channel = 12345;
    ASSERT_TRUE(ostrin::ParseReply(c.reply, name.bytes, c.size, &channel)) << c.reply;
    EXPECT_STREQ(name.bytes, c.name) << c.reply;
    EXPECT_TRUE(name.UntouchedFrom(std::strlen(c.name) + 1)) << c.reply;
    EXPECT_EQ(channel, c.channel) << c.reply;
  }
}

TEST(ParseReply, WritesNothingWithoutAllThreeKeysInOrderOrWithoutRoom) {
  struct Case {
    const char* reply;
    int size;
  };
  const Case cases[] = {
      {"", 64},
      {"PROGRAM:News\r\nOK", 64},
      {"CHANNEL:1\r\nOK", 64},
      {"CHANNEL:1\r\nPROGRAM:News\r\n", 64},
      {"CHANNEL:1\r\nPROGRAM:News\nOK", 64},    // LF alone does not end the name
      {"PROGRAM:News\r\nOK\r\nCHANNEL:1", 64},  // PROGRAM: before CHANNEL:
      {"CHANNEL:1\r\nOK\r\nPROGRAM:News", 64},  // OK before PROGRAM:
      {"channel:1\r\nprogram:News\r\nOK", 64},  // the keys are case-sensitive
      {"CHANNEL:1\r\nPROGRAM:News\r\nOK", 0},
      {"CHANNEL:1\r\nPROGRAM:News\r\nOK", -1},
      {"CHANNEL:1\r\nPROGRAM:News\r\nOK", INT_MIN},
  };
  for (const Case& c : cases) {
    NameBuffer name;
    int channel = 12345;
    EXPECT_FALSE(ostrin::ParseReply(c.reply, name.bytes, c.size, &channel)) << c.reply;
    EXPECT_TRUE(name.UntouchedFrom(0)) << c.reply;
    EXPECT_EQ(channel, 12345) << c.reply;
  }
}

class Query : public ::testing::Test {
 protected:
  void SetUp() override { ostrin::deviceOpen = 1; }
  void TearDown() override { ostrin::deviceOpen = 0; }
  // Every query is answered with `text`, in 10-byte chunks.
  void AnswerWith(const std::string& text) {
    kivactl.onSend = [text](FakeKivactl& fake) { fake.Queue(text); };
  }
  FakeKivactl kivactl;
  NameBuffer name;
  int size = 64;
  int channel = 12345;
};

TEST_F(Query, ProgramNameOnTheFirstAttempt) {
  AnswerWith("CHANNEL:021\r\nPROGRAM:News\r\nOK\r\n");
  size = 3;
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, &channel), 0);
  EXPECT_STREQ(name.bytes, "Ne");
  EXPECT_TRUE(name.UntouchedFrom(3));
  EXPECT_EQ(channel, 21);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(kivactl.calls.front(), "KivaDevCtrl_GetStatus 0");
  EXPECT_EQ(kivactl.sent, "getstat\r");
  EXPECT_TRUE(g_pauses.empty());
}

TEST_F(Query, ProgramNameAfterFailedAttempts) {
  int sends = 0;
  kivactl.onSend = [&sends](FakeKivactl& fake) {
    if (++sends == 1) fake.Queue("garbage\r\n");  // no keys
    if (sends == 2) fake.Queue("CHANNEL:7\r\nPROG");
    if (sends == 2) fake.QueueEmpty(1);  // cut by an empty chunk
    if (sends == 2) fake.Queue("RAM:News\r\nOK");
    if (sends == 3) fake.Queue("CHANNEL:8\r\nPROGRAM:Film\r\nOK");
  };
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, &channel), 0);
  EXPECT_STREQ(name.bytes, "Film");
  EXPECT_EQ(channel, 8);
  EXPECT_EQ(sends, 3);
  EXPECT_EQ(g_pauses, (std::vector<unsigned>{500, 500}));
}

TEST_F(Query, ASilentTunerCostsTenAttemptsAndTenPauses) {
  kivactl.sendResult = -1;  // a failed send is not tested: the reply is read all the same
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(kivactl.sendCount, 10);
  EXPECT_EQ(kivactl.receiveCount, 10 * 102);
  EXPECT_EQ(g_pauses, std::vector<unsigned>(10, 500));
  EXPECT_TRUE(name.UntouchedFrom(0));
  EXPECT_EQ(channel, 12345);
}

TEST_F(Query, ProgramNameOnlyFromAPoweredLockedTuner) {
  struct Case {
    int statusResult;
    unsigned char status;
  };
  for (const Case c :
       {Case{0, 0x80}, Case{0, 0x40}, Case{0, 0x00}, Case{0, 0x3F}, Case{-1, 0xC0}}) {
    FakeKivactl fake;
    fake.statusResult = c.statusResult;
    fake.status = c.status;
    EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"KivaDevCtrl_GetStatus 0"});
    EXPECT_TRUE(g_pauses.empty());
  }
  EXPECT_TRUE(name.UntouchedFrom(0));
  EXPECT_EQ(channel, 12345);
}

TEST_F(Query, ProgramNameArgumentsAreCheckedFirst) {
  AnswerWith("CHANNEL:1\r\nPROGRAM:News\r\nOK");
  int small = 0;
  int negative = -1;
  EXPECT_EQ(ostrin::ReadProgramName(nullptr, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, nullptr, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, nullptr), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &small, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &negative, &channel),
            OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_TRUE(kivactl.calls.empty());
  ostrin::deviceOpen = 0;
  EXPECT_EQ(ostrin::ReadProgramName(name.bytes, &size, &channel), OSTRIN_ERROR_DEVICE);
  EXPECT_TRUE(kivactl.calls.empty());
  EXPECT_TRUE(name.UntouchedFrom(0));
  EXPECT_EQ(channel, 12345);
}

TEST_F(Query, StatusBits) {
  struct Case {
    unsigned char status;
    int power, lock;
  };
  for (const Case c : {Case{0x00, 0, 0}, Case{0x80, 1, 0}, Case{0x40, 0, 1}, Case{0xC0, 1, 1},
                       Case{0x3F, 0, 0}, Case{0xFF, 1, 1}}) {
    kivactl.status = c.status;
    int power = 9;
    int lock = 9;
    EXPECT_EQ(ostrin::ReadTunerStatus(&power, &lock), 0);
    EXPECT_EQ(power, c.power) << int{c.status};
    EXPECT_EQ(lock, c.lock) << int{c.status};
  }
}

TEST_F(Query, StatusFailures) {
  int power = 9;
  int lock = 9;
  EXPECT_EQ(ostrin::ReadTunerStatus(nullptr, &lock), OSTRIN_ERROR_GET_STATUS);
  EXPECT_EQ(ostrin::ReadTunerStatus(&power, nullptr), OSTRIN_ERROR_GET_STATUS);
  EXPECT_TRUE(kivactl.calls.empty());
  EXPECT_EQ(power, 9);

  kivactl.statusResult = 2;
  EXPECT_EQ(ostrin::ReadTunerStatus(&power, &lock), OSTRIN_ERROR_GET_STATUS);
  EXPECT_EQ(power, 0);  // cleared before the read
  EXPECT_EQ(lock, 0);

  ostrin::deviceOpen = 0;
  power = lock = 9;
  EXPECT_EQ(ostrin::ReadTunerStatus(&power, &lock), OSTRIN_ERROR_DEVICE);
  EXPECT_EQ(power, 9);
}

}  // namespace
