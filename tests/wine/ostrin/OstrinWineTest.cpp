// ostrin.dll against the kivactl stand-in: every call is checked by its result, by what it
// wrote, and by the calls it made into kivactl (the stand-in's call log).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kivactl_control.h"
#include "ostrin.h"

namespace {

using Calls = std::vector<std::string>;

const Calls kOpen = {"DevCtrl_GetEnumDevice", "DevCtrl_SetGetEnumDevice 1",
                     "KivaDevCtrl_Initialize"};
const std::string kClose = "KivaDevCtrl_Uninitialize";

Calls CallLog() {
  std::string text(static_cast<size_t>(KivaSim_GetCallLog(nullptr, 0)) + 1, '\0');
  KivaSim_GetCallLog(&text[0], static_cast<int>(text.size()));
  Calls calls;
  std::istringstream lines(text.c_str());
  for (std::string line; std::getline(lines, line);) calls.push_back(line);
  return calls;
}

Calls OpenThen(const Calls& work) {
  Calls calls = kOpen;
  calls.insert(calls.end(), work.begin(), work.end());
  calls.push_back(kClose);
  return calls;
}

size_t CountOf(const Calls& calls, const std::string& call) {
  size_t n = 0;
  for (const std::string& c : calls) n += c == call ? 1 : 0;
  return n;
}

// The four calls that open a connection, with a fresh log for each.
struct Attempt {
  const char* name;
  int (*call)(int index);
};

int SetPowerOn(int index) {
  return OSTRIN_SetPower(index, 1);
}
int SetChannelUp(int index) {
  return OSTRIN_SetChannel(index, OSTRIN_CHANNEL_UP);
}
int GetProgramName(int index) {
  char name[32];
  int size = sizeof name;
  int channel = 0;
  return OSTRIN_GetProgramName(index, name, &size, &channel);
}
int GetStatus(int index) {
  int power = 0;
  int lock = 0;
  return OSTRIN_GetStatus(index, &power, &lock);
}

const Attempt kAttempts[] = {{"SetPower", SetPowerOn},
                             {"SetChannel", SetChannelUp},
                             {"GetProgramName", GetProgramName},
                             {"GetStatus", GetStatus}};

class Ostrin : public ::testing::Test {
 protected:
  void SetUp() override { KivaSim_Reset(); }
  void TearDown() override {
    EXPECT_EQ(KivaSim_IsInitialised(), 0) << "a call left the device initialised";
  }
  char name[16];
  int size = sizeof name;
  int channel = -99;
  void FillName() { std::memset(name, '#', sizeof name); }
};

TEST_F(Ostrin, IndexOutsideOneToFourCallsNoKivactlFunction) {
  for (int index : {0, 5, -1, 6, -2147483647 - 1}) {
    for (const Attempt& a : kAttempts) {
      EXPECT_EQ(a.call(index), OSTRIN_ERROR_DEVICE) << a.name << " " << index;
    }
  }
  EXPECT_EQ(CallLog(), Calls{});
}

TEST_F(Ostrin, NoDeviceGivesNoDevice) {
  KivaSim_SetDeviceCount(0);
  for (int index = 1; index <= 4; ++index) {
    for (const Attempt& a : kAttempts) {
      KivaSim_Reset();
      KivaSim_SetDeviceCount(0);
      EXPECT_EQ(a.call(index), OSTRIN_ERROR_NO_DEVICE) << a.name << " " << index;
      EXPECT_EQ(CallLog(), Calls{"DevCtrl_GetEnumDevice"}) << a.name;
    }
  }
  EXPECT_EQ(SetPowerOn(0), OSTRIN_ERROR_DEVICE);
  int count = -1;
  EXPECT_EQ(OSTRIN_GetCount(&count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(Ostrin, OpenFailuresArePassedOn) {
  struct Case {
    const char* function;
    int result;
    int deviceCount;
    int expected;
  };
  const Case cases[] = {
      {"KivaDevCtrl_Initialize", -2, 1, OSTRIN_ERROR_NO_DEVICE},
      {"KivaDevCtrl_Initialize", 1, 1, OSTRIN_ERROR_DEVICE},
      {"DevCtrl_GetEnumDevice", -1, 1, OSTRIN_ERROR_NO_DEVICE},  // no count: taken as none
      {nullptr, 0, -1, OSTRIN_ERROR_DEVICE},                     // a negative count
  };
  for (const Case& c : cases) {
    for (const Attempt& a : kAttempts) {
      KivaSim_Reset();
      KivaSim_SetDeviceCount(c.deviceCount);
      if (c.function != nullptr) KivaSim_ForceResult(c.function, c.result, KIVASIM_ALWAYS);
      EXPECT_EQ(a.call(2), c.expected) << a.name << " " << c.result;
      EXPECT_EQ(CountOf(CallLog(), kClose), 0u) << "closed after a failed open";
      EXPECT_EQ(KivaSim_IsInitialised(), 0);
    }
  }
}

TEST_F(Ostrin, IndexIsNotComparedWithTheCount) {
  EXPECT_EQ(OSTRIN_SetPower(4, 1), OSTRIN_ERROR_DEVICE);  // the stand-in has no device 4
  EXPECT_EQ(CallLog(), (Calls{"DevCtrl_GetEnumDevice", "DevCtrl_SetGetEnumDevice 4",
                              "KivaDevCtrl_Initialize"}));
  KivaSim_Reset();
  KivaSim_SetDeviceCount(4);
  EXPECT_EQ(OSTRIN_SetPower(4, 1), 0);
}

TEST_F(Ostrin, GetCount) {
  EXPECT_EQ(OSTRIN_GetCount(nullptr), OSTRIN_ERROR_GET_COUNT);
  EXPECT_EQ(CallLog(), Calls{});

  int count = -1;
  KivaSim_SetDeviceCount(6);
  EXPECT_EQ(OSTRIN_GetCount(&count), 0);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(OSTRIN_SetPower(5, 1), OSTRIN_ERROR_DEVICE);  // counted, but not to be opened

  KivaSim_ForceResult("DevCtrl_GetEnumDevice", -1, 1);
  count = -1;
  EXPECT_EQ(OSTRIN_GetCount(&count), OSTRIN_ERROR_GET_COUNT);
  EXPECT_EQ(count, 0);
}

TEST_F(Ostrin, SetPowerSwitchesTheTuner) {
  EXPECT_EQ(OSTRIN_SetPower(1, 0), 0);
  EXPECT_EQ(CallLog(), OpenThen({"KivaDevCtrl_SetSTi7710Power 0 0"}));
  int power = -1;
  int lock = -1;
  EXPECT_EQ(OSTRIN_GetStatus(1, &power, &lock), 0);
  EXPECT_EQ(power, 0);
  EXPECT_EQ(lock, 0);

  KivaSim_ForceResult("KivaDevCtrl_SetSTi7710Power", 3, 1);
  EXPECT_EQ(OSTRIN_SetPower(1, 1), OSTRIN_ERROR_SET_POWER);
}

TEST_F(Ostrin, ChannelKeys) {
  struct Case {
    int selector;
    const char* key;
    int channel;  // the stand-in's channel afterwards, starting from 1
  };
  const Case cases[] = {
      {1, "0x1F38", 1},
      {12, "0x1F43", 12},
      {OSTRIN_CHANNEL_UP, "0x1F47", 1},  // wraps round from 12
      {OSTRIN_CHANNEL_DOWN, "0x1F4A", 12},
      {5, "0x1F3C", 5},
  };
  KivaSim_Reset();
  for (const Case& c : cases) {
    const size_t before = CallLog().size();
    EXPECT_EQ(OSTRIN_SetChannel(1, c.selector), 0) << c.selector;
    const Calls calls = CallLog();
    const Calls expected = OpenThen({std::string("KivaDevCtrl_SendRemoteCommand 0 ") + c.key});
    EXPECT_EQ(Calls(calls.begin() + static_cast<long>(before), calls.end()), expected);
    FillName();
    EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), 0);
    EXPECT_EQ(channel, c.channel) << c.selector;
  }
}

TEST_F(Ostrin, NetworkSelectorsAreRefusedWithoutSendingAKey) {
  for (int selector : {-2, -3, 13, -4}) {
    KivaSim_Reset();
    EXPECT_EQ(OSTRIN_SetChannel(1, selector), OSTRIN_ERROR_SET_CHANNEL) << selector;
    EXPECT_EQ(CallLog(), OpenThen({})) << selector;
  }
  KivaSim_ForceResult("KivaDevCtrl_SendRemoteCommand", -1, 1);
  EXPECT_EQ(OSTRIN_SetChannel(1, 3), OSTRIN_ERROR_SET_CHANNEL);
}

TEST_F(Ostrin, PoweredButUnlocked) {
  KivaSim_SetStatus(0x80);
  int power = -1;
  int lock = -1;
  EXPECT_EQ(OSTRIN_GetStatus(1, &power, &lock), 0);
  EXPECT_EQ(power, 1);
  EXPECT_EQ(lock, 0);

  KivaSim_Reset();
  KivaSim_SetStatus(0x80);
  FillName();
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(CallLog(), OpenThen({"KivaDevCtrl_GetStatus 0"}));  // at once: no query
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(channel, -99);
}

TEST_F(Ostrin, GetStatusFailures) {
  int power = -1;
  int lock = -1;
  EXPECT_EQ(OSTRIN_GetStatus(1, nullptr, &lock), OSTRIN_ERROR_GET_STATUS);
  EXPECT_EQ(OSTRIN_GetStatus(1, &power, nullptr), OSTRIN_ERROR_GET_STATUS);
  EXPECT_EQ(CallLog(), [] {
    Calls twice = OpenThen({});
    const Calls once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    return twice;
  }());  // opened and closed around the refusal
  KivaSim_ForceResult("KivaDevCtrl_GetStatus", 1, 1);
  EXPECT_EQ(OSTRIN_GetStatus(1, &power, &lock), OSTRIN_ERROR_GET_STATUS);
  EXPECT_EQ(power, 0);
  EXPECT_EQ(lock, 0);
}

TEST_F(Ostrin, ProgramNameCutToTheBuffer) {
  KivaSim_SetReply("CHANNEL:021\r\nPROGRAM:News\r\nOK");
  FillName();
  size = 3;
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_EQ(std::string(name, 4), std::string("Ne\0#", 4));
  EXPECT_EQ(size, 3);
  EXPECT_EQ(channel, 21);
  char sent[64];
  KivaSim_GetSentBytes(sent, sizeof sent);
  EXPECT_STREQ(sent, "getstat\r");
  EXPECT_EQ(CallLog(),
            OpenThen({"KivaDevCtrl_GetStatus 0", "KivaDevCtrl_AccessFlashROM 1 8 1000",
                      "KivaDevCtrl_AccessFlashROM 0 10 10", "KivaDevCtrl_AccessFlashROM 0 10 10"}));
}

TEST_F(Ostrin, FurtherLinesBecomePartOfTheName) {
  KivaSim_SetReply("CHANNEL:5\r\nPROGRAM:News\r\nWeather\r\nOK\r\n");
  FillName();
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_STREQ(name, "News\r\nWeather");
  EXPECT_EQ(channel, 5);
}

TEST_F(Ostrin, SizeBelowOneWritesNothing) {
  for (int capacity : {0, -1}) {
    FillName();
    size = capacity;
    EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
    EXPECT_EQ(name[0], '#');
    EXPECT_EQ(channel, -99);
  }
  EXPECT_EQ(CountOf(CallLog(), "KivaDevCtrl_AccessFlashROM 1 8 1000"), 0u);
}

TEST_F(Ostrin, ChunkedReplies) {
  const int pieces[] = {3, 5, 7};  // then the rest in one packet
  KivaSim_SetChunking(pieces, 3);
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_STREQ(name, "Programme 1");
  EXPECT_EQ(CountOf(CallLog(), "KivaDevCtrl_AccessFlashROM 1 8 1000"), 1u);

  KivaSim_Reset();
  const int cut[] = {10, 0};  // the first reply is cut after 10 bytes; the second comes whole
  KivaSim_SetChunking(cut, 2);
  FillName();
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_STREQ(name, "Programme 1");
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(CountOf(CallLog(), "KivaDevCtrl_AccessFlashROM 1 8 1000"), 2u);
}

TEST_F(Ostrin, ASilentPipeGivesUpAfterTenAttempts) {
  KivaSim_SetSilent(1);
  FillName();
  const DWORD start = GetTickCount();
  EXPECT_EQ(OSTRIN_GetProgramName(1, name, &size, &channel), OSTRIN_ERROR_GET_PROGRAM_NAME);
  const DWORD elapsed = GetTickCount() - start;
  const Calls calls = CallLog();
  EXPECT_EQ(CountOf(calls, "KivaDevCtrl_AccessFlashROM 1 8 1000"), 10u);
  EXPECT_EQ(CountOf(calls, "KivaDevCtrl_AccessFlashROM 0 10 10"), 10u * 102u);
  EXPECT_EQ(calls.size(), 3u + 1u + 10u * 103u + 1u);
  EXPECT_GE(elapsed, 4500u);  // ten pauses of half a second, the last one included
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(channel, -99);
}

TEST_F(Ostrin, AFailedCloseIsNotReportedAndTheNextCallOpensAgain) {
  KivaSim_ForceResult("KivaDevCtrl_Uninitialize", -1, 1);
  EXPECT_EQ(OSTRIN_SetPower(1, 1), 0);
  KivaSim_Reset();  // the stand-in kept its device open; a fresh one
  EXPECT_EQ(OSTRIN_SetPower(1, 1), 0);
  EXPECT_EQ(CallLog(), OpenThen({"KivaDevCtrl_SetSTi7710Power 0 1"}));
}

TEST_F(Ostrin, CallsFromSeveralThreadsAreSerialised) {
  KivaSim_SetDeviceCount(4);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 50; ++i) {
        if (OSTRIN_SetChannel(t + 1, OSTRIN_CHANNEL_UP) != 0) ++failures[static_cast<size_t>(t)];
        int power = 0;
        int lock = 0;
        if (OSTRIN_GetStatus(t + 1, &power, &lock) != 0) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
