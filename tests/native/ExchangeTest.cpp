#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CommPort/CCommPort.h"
#include "Exchange.h"
#include "FakeLine.h"

using namespace varnel;  // NOLINT: the library's internals under test

namespace {

class ReceiveResponseTest : public ::testing::Test {
 protected:
  FakeLine line;
  CCommPort port;
  char buffer[kReplySize + 8];
  unsigned length = kReplySize;

  void SetUp() override { std::memset(buffer, 0x55, sizeof buffer); }
  int Receive() { return port.ReceiveResponse(buffer, &length); }
};

TEST_F(ReceiveResponseTest, StopsAfterTheFirstOkMarkAndTerminatesTheReply) {
  line.Send(std::string("POWER:on\r\nOK\rnext", 17));
  EXPECT_EQ(Receive(), 0);
  EXPECT_EQ(length, 13u);
  EXPECT_STREQ(buffer, "POWER:on\r\nOK\r");
  EXPECT_EQ(line.reads.size(), 4u);  // "next" stays unread for the following reply
  ASSERT_GE(line.transcript.size(), 2u);
  EXPECT_EQ(line.transcript[0], "[Resp]:");
  EXPECT_EQ(line.transcript[1], "P");
}

TEST_F(ReceiveResponseTest, EndMarkNeedsOkDirectlyBeforeTheCarriageReturn) {
  struct Case {
    std::string bytes;
    std::string reply;
  } cases[] = {
      {"\rOK\r", "\rOK\r"},  // a leading CR is no end mark at positions 0 and 1
      {"OK\r", "OK\r"},      // the shortest reply
      {"PROGRAM:BOOK\rNEXT\rOK\r", "PROGRAM:BOOK\r"},  // OK ending a name ends the reply there
      {std::string("O\0K\r", 4), "OK\r"},              // a NUL between the two letters is dropped
      {"Ok\rOK \rOK\r", "Ok\rOK \rOK\r"},
  };
  for (const Case& c : cases) {
    FakeLine fresh;
    fresh.Send(c.bytes);
    CCommPort p;
    unsigned n = kReplySize;
    char out[kReplySize];
    EXPECT_EQ(p.ReceiveResponse(out, &n), 0) << c.bytes;
    EXPECT_EQ(std::string(out), c.reply);
    EXPECT_EQ(n, c.reply.size());
  }
}

TEST_F(ReceiveResponseTest, SilentTunerGivesNoResponseOnTheSeventhRead) {
  EXPECT_EQ(Receive(), 3);
  EXPECT_EQ(line.readCalls, 7);  // seven reads of 5 s: 35 s on a real line
  EXPECT_STREQ(port.Message(), "IDS_MSG_ERR_RESPONSE");
  EXPECT_EQ(port.LastError(), 0u);
  EXPECT_TRUE(g_traces.empty());
}

TEST_F(ReceiveResponseTest, IdleCountResetsOnlyOnStoredBytes) {
  // Five empty reads, a byte, five empty reads, then the reply: the count was reset by the byte.
  line.Silence(5);
  line.Send("A");
  line.Silence(5);
  line.Send("OK\r");
  EXPECT_EQ(Receive(), 0);
  EXPECT_STREQ(buffer, "AOK\r");
}

TEST_F(ReceiveResponseTest, NulBytesNeitherCountAsIdleNorResetTheCount) {
  // Three empty reads, three NULs, three more empty reads: the read after them finds the count
  // at 6 and ends the exchange although it brings a byte.
  line.Silence(3);
  line.Send(std::string(3, '\0'));
  line.Silence(3);
  line.Send("OK\r");
  EXPECT_EQ(Receive(), 3);
  EXPECT_EQ(line.readCalls, 10);
  // The NUL reads are transcribed as "NULL" lines.
  EXPECT_EQ(line.transcript[1], "NULL\r\n");
}

TEST_F(ReceiveResponseTest, EndlessNulBytesEndAsNoResponse) {
  line.Send(std::string(2 * kNulReadLimit, '\0'));
  EXPECT_EQ(Receive(), 3);
  EXPECT_EQ(line.readCalls, kNulReadLimit + kIdleReadLimit + 1);

  // The longest reply with a NUL after every character is still read whole.
  FakeLine interleaved;
  std::string reply(kReplySize - 4, 'x');
  reply += "OK\r";
  std::string sent;
  for (char c : reply) sent += std::string(1, c) + '\0';
  interleaved.Send(sent);
  CCommPort other;
  length = kReplySize;
  EXPECT_EQ(other.ReceiveResponse(buffer, &length), 0);
  EXPECT_EQ(std::string(buffer), reply);
}

TEST_F(ReceiveResponseTest, ReadFailureAndAbortEndTheExchange) {
  line.Send("PO");
  line.FailRead();
  EXPECT_EQ(Receive(), 1);
  EXPECT_STREQ(port.Message(), "IDS_MSG_ERR_ReadComPort");

  FakeLine aborted;
  CCommPort other;
  other.SetAbort();
  unsigned n = kReplySize;
  EXPECT_EQ(other.ReceiveResponse(buffer, &n), 2);
}

TEST_F(ReceiveResponseTest, FullBufferEndsTheReadWithoutTheEndMark) {
  line.Send(std::string(2000, 'x'));
  EXPECT_EQ(Receive(), 0);
  EXPECT_EQ(length, kReplySize);  // unchanged
  EXPECT_EQ(std::strlen(buffer), kReplySize - 1);
  EXPECT_EQ(buffer[kReplySize], 0x55);  // nothing beyond the buffer

  for (unsigned capacity : {0u, 1u, 2u}) {
    FakeLine tiny;
    tiny.Send("OK\r");
    CCommPort p;
    char out[4] = {'a', 'b', 'c', 'd'};
    unsigned n = capacity;
    EXPECT_EQ(p.ReceiveResponse(out, &n), 0);
    EXPECT_EQ(tiny.readCalls, capacity < 2 ? 0 : 1);
    EXPECT_EQ(out[capacity], "abcd"[capacity]);
  }
}

TEST(Commands, EachWritesItsExactBytes) {
  struct Case {
    const char* name;
    int (*run)(CCommPort&);
    std::string bytes;
  } cases[] = {
      {"power on", [](CCommPort& p) { return p.SendSetPower(1); }, "SETPOWER on\r"},
      {"power -7", [](CCommPort& p) { return p.SendSetPower(-7); }, "SETPOWER on\r"},
      {"power off", [](CCommPort& p) { return p.SendSetPower(0); }, "SETPOWER off\r"},
      {"key 19", [](CCommPort& p) { return p.SendRemoteKey(19); }, "REMOTE 19\r"},
      {"key 65535", [](CCommPort& p) { return p.SendRemoteKey(65535); }, "REMOTE 65535\r"},
      {"power state",
       [](CCommPort& p) {
         int on;
         return p.QueryPowerState(&on);
       },
       "GETSTAT\r"},
      {"status",
       [](CCommPort& p) {
         char t[kReplySize];
         return p.QueryStatusText(t);
       },
       "GETSTAT\r"},
  };
  for (const Case& c : cases) {
    FakeLine line;
    line.answer = [](const std::string&) { return std::string("OK\r"); };
    CCommPort port;
    EXPECT_EQ(c.run(port), 0) << c.name;
    EXPECT_EQ(line.written, c.bytes) << c.name;
  }
}

TEST(Commands, PowerStateAndStatusTextUseTheReply) {
  FakeLine line;
  CCommPort port;
  int power = 7;
  line.Send("xPOWER:on\r\nOK\r");
  EXPECT_EQ(port.QueryPowerState(&power), 0);
  EXPECT_EQ(power, 1);
  line.Send("POWER:off\r\nOK\r");
  EXPECT_EQ(port.QueryPowerState(&power), 0);
  EXPECT_EQ(power, 0);

  power = 7;  // a failed exchange leaves it alone
  EXPECT_EQ(port.QueryPowerState(&power), 3);
  EXPECT_EQ(power, 7);
  const size_t before = line.written.size();
  EXPECT_EQ(port.QueryPowerState(nullptr), 1);
  EXPECT_EQ(line.written.size(), before);  // nothing sent

  char text[kReplySize];
  line.Send("A=1\r\nOK\r");
  EXPECT_EQ(port.QueryStatusText(text), 0);
  EXPECT_STREQ(text, "A=1\r\nOK\r");
  line.failWrites = true;
  EXPECT_EQ(port.QueryStatusText(text), 1);
  EXPECT_STREQ(text, "");
  EXPECT_STREQ(port.Message(), "IDS_MSG_ERR_WriteComPort");
}

TEST(RemoteKeys, SelectorTable) {
  const std::pair<int, int> keys[] = {{1, 8},   {2, 9},  {12, 19}, {0, 23},
                                      {-1, 26}, {-2, 5}, {-3, 2}};
  for (auto [selector, key] : keys) {
    unsigned short got = 0;
    EXPECT_TRUE(RemoteKeyForSelector(selector, &got)) << selector;
    EXPECT_EQ(got, key) << selector;
  }
  for (int selector : {13, -4, 100, -100, 0x7FFFFFFF, -0x7FFFFFFF - 1}) {
    unsigned short got = 0;
    EXPECT_FALSE(RemoteKeyForSelector(selector, &got)) << selector;
  }
}

}  // namespace
