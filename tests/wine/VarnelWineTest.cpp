// varnel.dll under wine64, against two simulated tuners on pseudo-terminals (COM11, COM12) and
// the driver's entries in the prefix's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WineTestSupport.h"
#include "varnel.h"

namespace {

using Varnel = TwoSimulatedTuners;

TEST_F(Varnel, CountFollowsTheDriversRegistryEntries) {
  EXPECT_EQ(VARNEL_GetCount(nullptr), VARNEL_ERROR_GET_COUNT);

  int count = 5;
  EXPECT_EQ(VARNEL_GetCount(&count), VARNEL_ERROR_GET_COUNT);  // no driver key
  EXPECT_EQ(count, 0);

  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\QDVSER\\Enum", 0,
                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegCloseKey(key);
  count = 5;
  EXPECT_EQ(VARNEL_GetCount(&count), VARNEL_ERROR_GET_COUNT);  // key without "Count"
  EXPECT_EQ(count, 0);

  layout.SetCount(2);
  layout.AddInstance(0, "TUNERTEST\\VID_1111&PID_2222\\1", "COM11");  // another device
  layout.AddInstance(1, "TUNERTEST\\VID_1111&PID_2222\\2", "COM12");
  count = 5;
  EXPECT_EQ(VARNEL_GetCount(&count), 0);
  EXPECT_EQ(count, 0);

  layout.SetCount(6);
  layout.AddInstance(0, "TUNERTEST\\vid_fedc&pid_ba98\\lower", "COM11");  // lower case matches
  layout.AddInstance(1, "TUNERTEST\\VID_FEDC&PID_BA98\\nokey", "COM9", false);
  layout.AddInstance(2, "TUNERTEST\\VID_FEDC&PID_BA98\\noname", nullptr);
  layout.AddInstance(3, "TUNERTEST\\VID_1111&PID_2222\\3", "COM8");
  layout.AddInstance(5, "TUNERTEST\\VID_FEDC&PID_BA98\\last", "COM12");  // "4" is missing
  EXPECT_EQ(VARNEL_GetCount(&count), 0);
  EXPECT_EQ(count, 2);
}

TEST_F(Varnel, IndexSelectsAPortAndOutOfRangeOpensNone) {
  layout.AttachSimulatedTuners(2);
  EXPECT_EQ(VARNEL_SetPower(0, 1), 0);  // 0 acts like 1
  EXPECT_EQ(tuner1.Received(), "SETPOWER on\r");
  EXPECT_EQ(VARNEL_SetPower(1, 0), 0);
  EXPECT_EQ(VARNEL_SetPower(2, 0), 0);
  EXPECT_EQ(tuner1.Received(), "SETPOWER on\rSETPOWER off\r");
  EXPECT_EQ(tuner2.Received(), "SETPOWER off\r");

  for (int index : {3, -1, -0x7FFFFFFF - 1}) {
    EXPECT_EQ(VARNEL_SetPower(index, 1), VARNEL_ERROR_SET_POWER) << index;
    EXPECT_EQ(VARNEL_SetChannel(index, 1), VARNEL_ERROR_SET_CHANNEL) << index;
    int power = 0, lock = 0, size = 8, channel = 0;
    char name[8];
    EXPECT_EQ(VARNEL_GetStatus(index, &power, &lock), VARNEL_ERROR_GET_STATUS) << index;
    EXPECT_EQ(VARNEL_GetProgramName(index, name, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  }
  EXPECT_EQ(tuner1.Control("commands"), "2");
  EXPECT_EQ(tuner2.Control("commands"), "1");
}

TEST_F(Varnel, NoTunerListedFailsEveryPortCallAtIndexZeroAndOne) {
  layout.SetCount(1);
  layout.AddInstance(0, "TUNERTEST\\VID_1111&PID_2222\\1", tuner1.ComName().c_str());
  for (int index : {0, 1}) {
    int power = 0, lock = 0, size = 8, channel = 0;
    char name[8];
    EXPECT_EQ(VARNEL_SetPower(index, 1), VARNEL_ERROR_SET_POWER) << index;
    EXPECT_EQ(VARNEL_SetChannel(index, 1), VARNEL_ERROR_SET_CHANNEL) << index;
    EXPECT_EQ(VARNEL_GetProgramName(index, name, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
    EXPECT_EQ(VARNEL_GetStatus(index, &power, &lock), VARNEL_ERROR_GET_STATUS) << index;
  }
  EXPECT_EQ(tuner1.Control("commands"), "0");
}

// GetCount checks its argument before it touches anything; the other calls construct their port
// object, which empties an existing transcript, before they check theirs.
TEST_F(Varnel, NullArgumentsAndTheTranscript) {
  layout.AttachSimulatedTuners(1);
  std::ofstream("logfile.txt", std::ios::binary) << "kept";
  EXPECT_EQ(VARNEL_GetCount(nullptr), VARNEL_ERROR_GET_COUNT);
  EXPECT_EQ(ReadFileText("logfile.txt"), "kept");
  int size = 8, channel = 0;
  EXPECT_EQ(VARNEL_GetProgramName(1, nullptr, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(ReadFileText("logfile.txt"), "");
  EXPECT_EQ(tuner1.Control("commands"), "0");
}

TEST_F(Varnel, OpenedPortHasTheTunersLineSettings) {
  layout.AttachSimulatedTuners(1);
  // The simulator's pseudo-terminal starts at its own defaults (38400, no handshaking).
  ASSERT_EQ(VARNEL_SetChannel(1, 1), 0);
  const std::string settings = tuner1.Control("termios");
  EXPECT_NE(settings.find("speed=115200"), std::string::npos) << settings;
  EXPECT_NE(settings.find("csize=8 parity=none stopbits=1"), std::string::npos) << settings;
  EXPECT_NE(settings.find("crtscts=1"), std::string::npos) << settings;
}

TEST_F(Varnel, PortThatDoesNotExistFailsEveryCall) {
  layout.SetCount(1);
  layout.AddInstance(0, "TUNERTEST\\VID_FEDC&PID_BA98\\gone", "COM99");
  int count = 0;
  EXPECT_EQ(VARNEL_GetCount(&count), 0);
  EXPECT_EQ(count, 1);
  struct PortCall {
    const char* name;
    int failure;
    int (*call)();
  };
  const PortCall portCalls[] = {
      {"SetPower", VARNEL_ERROR_SET_POWER, [] { return VARNEL_SetPower(1, 1); }},
      {"SetChannel", VARNEL_ERROR_SET_CHANNEL, [] { return VARNEL_SetChannel(1, 3); }},
      {"GetProgramName", VARNEL_ERROR_GET_PROGRAM_NAME,
       [] {
         char name[64];
         int size = sizeof name, channel = 0;
         return VARNEL_GetProgramName(1, name, &size, &channel);
       }},
      {"GetStatus", VARNEL_ERROR_GET_STATUS,
       [] {
         int power = 0, lock = 0;
         return VARNEL_GetStatus(1, &power, &lock);
       }},
  };
  for (const PortCall& c : portCalls) EXPECT_EQ(c.call(), c.failure) << c.name;
}

TEST_F(Varnel, TranscriptOnlyWhenTheFileExistsAndOnlyTheLatestCall) {
  layout.AttachSimulatedTuners(1);
  ASSERT_EQ(VARNEL_SetChannel(1, 2), 0);
  EXPECT_EQ(GetFileAttributesA("logfile.txt"), INVALID_FILE_ATTRIBUTES);  // never created

  HANDLE file = CreateFileA("logfile.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_EQ(VARNEL_SetChannel(1, 3), 0);
  const std::string first = ReadFileText("logfile.txt");
  // "2026/12/10 06:12:01.123 [Resp]:" CR LF, then one line per received byte: O, K, CR.
  std::istringstream lines(first);
  std::vector<std::string> texts;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_GE(line.size(), 25u) << line;
    EXPECT_EQ(line[4], '/');
    EXPECT_EQ(line[19], '.');
    EXPECT_EQ(line[23], ' ');
    texts.push_back(line.substr(24));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"[Resp]:\r", "O\r", "K\r", "\r\r"}));

  tuner1.Control("behave nul");
  ASSERT_EQ(VARNEL_SetPower(1, 1), 0);
  const std::string second = ReadFileText("logfile.txt");
  EXPECT_NE(second.find(" NULL\r\n"), std::string::npos);
  EXPECT_EQ(second.find("REMOTE"), std::string::npos);
  // Only this call's lines: "[Resp]:" and O NUL K NUL CR (the NUL after the CR is left unread).
  // A NUL's line text is "NULL" CR LF itself, so its line ends in CR LF twice.
  EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 8) << second;
}

TEST_F(Varnel, EverySelectorSendsItsKeyAndOthersSendNothing) {
  layout.AttachSimulatedTuners(1);
  std::string expected;
  const std::pair<int, int> keys[] = {{1, 8},  {2, 9},   {3, 10}, {4, 11},  {5, 12},  {6, 13},
                                      {7, 14}, {8, 15},  {9, 16}, {10, 17}, {11, 18}, {12, 19},
                                      {0, 23}, {-1, 26}, {-2, 5}, {-3, 2}};
  for (auto [selector, key] : keys) {
    EXPECT_EQ(VARNEL_SetChannel(1, selector), 0) << selector;
    expected += "REMOTE " + std::to_string(key) + "\r";
  }
  for (int selector : {13, -4, 23, 0x7FFFFFFF}) {
    EXPECT_EQ(VARNEL_SetChannel(1, selector), VARNEL_ERROR_SET_CHANNEL) << selector;
  }
  EXPECT_EQ(tuner1.Received(), expected);
}

TEST_F(Varnel, OddlyShapedRepliesStillEndAtTheOkMark) {
  layout.AttachSimulatedTuners(1);
  tuner1.Control("behave split 2 300");  // pieces well inside the 5 s read time-out
  EXPECT_EQ(VARNEL_SetChannel(1, 1), 0);
  tuner1.Control("behave nul");
  EXPECT_EQ(VARNEL_SetChannel(1, 1), 0);
  tuner1.Control("behave delay 2000");
  EXPECT_EQ(VARNEL_SetChannel(1, 1), 0);
  tuner1.Control("behave normal");
  // More than a reply buffer holds without the end mark: the read stops when the buffer is full.
  tuner1.Control("reply " + SimulatedTuner::Hex(std::string(1500, 'x')));
  EXPECT_EQ(VARNEL_SetChannel(1, 1), 0);
  // The next call opens the port afresh; the rest of the long reply was purged.
  EXPECT_EQ(VARNEL_SetChannel(1, 2), 0);
  EXPECT_EQ(tuner1.Control("commands"), "5");
}

// A tuner that drops the line in the middle of a reply. Under wine the dropped pseudo-terminal
// reads as silence, so the call ends after the reply time-out (a read failure on Windows ends it
// at once); either way it ends with the failure code, and the next call works again.
TEST_F(Varnel, HangUpMidReplyEndsTheCallAndTheNextCallWorks) {
  layout.AttachSimulatedTuners(1);
  tuner1.Control("behave hangup 1");  // "O", then the line drops
  const DWORD start = GetTickCount();
  EXPECT_EQ(VARNEL_SetChannel(1, 1), VARNEL_ERROR_SET_CHANNEL);
  EXPECT_LT(GetTickCount() - start, 40000u);  // bounded by the 35 s reply time-out
  EXPECT_EQ(VARNEL_SetChannel(1, 2), 0);
}

// The real time-out cases: a silent tuner costs seven 5-second reads per exchange.
TEST_F(Varnel, SilentTunerFailsSetChannelButNotSetPower) {
  layout.AttachSimulatedTuners(1);
  tuner1.Control("behave silent");
  EXPECT_EQ(VARNEL_SetPower(1, 0), 0);
  EXPECT_EQ(VARNEL_SetChannel(1, 1), VARNEL_ERROR_SET_CHANNEL);
  EXPECT_EQ(tuner1.Received(), "SETPOWER off\rREMOTE 8\r");
}

TEST_F(Varnel, ProgrammeNameInCodePage932) {
  ASSERT_EQ(GetACP(), 932u) << "run with LANG=ja_JP.UTF-8";
  layout.AttachSimulatedTuners(1);
  char name[128] = "nodata";
  int size = sizeof name, channel = 0;
  ASSERT_EQ(VARNEL_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_EQ(std::string(name), kCp932HyoushoSong);  // 95 5C and 83 5C inside
  EXPECT_EQ(channel, 11);
  EXPECT_EQ(size, 128);

  ASSERT_EQ(VARNEL_SetChannel(1, 2), 0);
  ASSERT_EQ(VARNEL_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_EQ(channel, 21);

  EXPECT_EQ(VARNEL_GetProgramName(1, nullptr, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(VARNEL_GetProgramName(1, name, nullptr, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_EQ(VARNEL_GetProgramName(1, name, &size, nullptr), VARNEL_ERROR_GET_PROGRAM_NAME);
}

TEST_F(Varnel, ProgrammeNameMustFitWithRoomToSpare) {
  layout.AttachSimulatedTuners(1);
  tuner1.Control("set program " + SimulatedTuner::Hex("0123456789"));
  char name[16] = "nodata";
  int size = 12, channel = 0;
  EXPECT_EQ(VARNEL_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_STREQ(name, "0123456789");

  std::strcpy(name, "nodata");
  size = 11;  // ten attempts, ten 500 ms pauses
  EXPECT_EQ(VARNEL_GetProgramName(1, name, &size, &channel), VARNEL_ERROR_GET_PROGRAM_NAME);
  EXPECT_STREQ(name, "nodata");
  EXPECT_EQ(tuner1.Control("commands"), "11");

  tuner1.Control("set program ");
  size = 2;
  EXPECT_EQ(VARNEL_GetProgramName(1, name, &size, &channel), 0);
  EXPECT_STREQ(name, "");
}

TEST_F(Varnel, StatusFromPowerAndBitErrorRate) {
  layout.AttachSimulatedTuners(1);
  int power = 7, lock = 7;
  tuner1.Control("set ber 999");
  EXPECT_EQ(VARNEL_GetStatus(1, &power, &lock), 0);
  EXPECT_EQ(power, 1);
  EXPECT_EQ(lock, 1);
  EXPECT_EQ(tuner1.Control("commands"), "2");

  tuner1.Control("set ber 1000");
  EXPECT_EQ(VARNEL_GetStatus(1, &power, &lock), 0);
  EXPECT_EQ(lock, 0);

  tuner1.Control("clear");
  tuner1.Control("set ber 5");
  lock = 7;
  EXPECT_EQ(VARNEL_GetStatus(1, nullptr, &lock), 0);
  EXPECT_EQ(lock, 1);
  EXPECT_EQ(tuner1.Received(), "GETSTAT\r");  // one exchange without `power`

  tuner1.Control("reply " + SimulatedTuner::Hex("POWER:on\r\nOK\r"));
  tuner1.Control("reply " + SimulatedTuner::Hex("BitErrorRate=12\r\nOK\r"));
  lock = 7;
  EXPECT_EQ(VARNEL_GetStatus(1, &power, &lock), VARNEL_ERROR_GET_STATUS);
  EXPECT_EQ(lock, 0);
  EXPECT_EQ(VARNEL_GetStatus(1, &power, nullptr), VARNEL_ERROR_GET_STATUS);

  ASSERT_EQ(VARNEL_SetPower(1, 0), 0);
  EXPECT_EQ(VARNEL_GetStatus(1, &power, &lock), VARNEL_ERROR_GET_STATUS);  // no figure when off
  EXPECT_EQ(power, 0);
}

// Calls from several threads are serialised: none fails because another held its port or the
// transcript, and the tuners see every command whole.
TEST_F(Varnel, ConcurrentCallsAreSerialised) {
  layout.AttachSimulatedTuners(2);
  HANDLE file = CreateFileA("logfile.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(file);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  constexpr int kThreads = 4, kCalls = 6;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kCalls; ++i) {
        int power = 0, lock = 0, count = 0;
        const int index = 1 + (t + i) % 2;
        if (VARNEL_SetChannel(index, 1 + i % 12) != 0) ++failures;
        if (VARNEL_GetStatus(index, &power, &lock) != 0) ++failures;
        if (VARNEL_GetCount(&count) != 0 || count != 2) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  const int total = std::stoi(tuner1.Control("commands")) + std::stoi(tuner2.Control("commands"));
  EXPECT_EQ(total, kThreads * kCalls * 3);  // one key and two status queries per round
}

}  // namespace
