// ostrin.dll under faults and load, against the kivactl stand-in: each kivactl call failing in
// turn ends every entry point with its specified result and the next call works again; calls
// from several threads are serialised and leave no handle behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../HandleCount.h"
#include "kivactl_control.h"
#include "ostrin.h"

namespace {

std::vector<std::string> CallLog() {
  std::string text(static_cast<size_t>(KivaSim_GetCallLog(nullptr, 0)) + 1, '\0');
  KivaSim_GetCallLog(&text[0], static_cast<int>(text.size()));
  std::vector<std::string> calls;
  std::istringstream lines(text.c_str());
  for (std::string line; std::getline(lines, line);) calls.push_back(line);
  return calls;
}

bool Logged(const std::string& prefix) {
  for (const std::string& call : CallLog()) {
    if (call.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

int GetCount() {
  int count = 0;
  return OSTRIN_GetCount(&count);
}
int SetPower() {
  return OSTRIN_SetPower(1, 1);
}
int SetChannel() {
  return OSTRIN_SetChannel(1, 3);
}
int GetProgramName() {
  char name[32];
  int size = sizeof name, channel = 0;
  return OSTRIN_GetProgramName(1, name, &size, &channel);
}
int GetStatus() {
  int power = 0, lock = 0;
  return OSTRIN_GetStatus(1, &power, &lock);
}

struct EntryPoint {
  const char* name;
  int (*call)();
  const char* work;  // the kivactl call that shows the entry point did its work
};

const EntryPoint kEntryPoints[] = {
    {"GetCount", GetCount, "DevCtrl_GetEnumDevice"},
    {"SetPower", SetPower, "KivaDevCtrl_SetSTi7710Power"},
    {"SetChannel", SetChannel, "KivaDevCtrl_SendRemoteCommand"},
    {"GetProgramName", GetProgramName, "KivaDevCtrl_AccessFlashROM"},
    {"GetStatus", GetStatus, "KivaDevCtrl_GetStatus"},
};

TEST(OstrinFaults, KivactlFailingEachCallInTurn) {
  struct Case {
    const char* function;
    int expected[5];  // GetCount, SetPower, SetChannel, GetProgramName, GetStatus
  };
  const Case cases[] = {
      {"DevCtrl_GetEnumDevice", {-8, -2, -2, -2, -2}},  // no count is taken as no device
      // Its result is not used; the stand-in then has chosen no device, and initialise fails.
      {"DevCtrl_SetGetEnumDevice", {0, -1, -1, -1, -1}},
      {"KivaDevCtrl_Initialize", {0, -1, -1, -1, -1}},
      {"KivaDevCtrl_Uninitialize", {0, 0, 0, 0, 0}},  // a failed close is not reported
      {"KivaDevCtrl_SetSTi7710Power", {0, -4, 0, 0, 0}},
      {"KivaDevCtrl_SendRemoteCommand", {0, 0, -5, 0, 0}},
      {"KivaDevCtrl_GetStatus", {0, 0, 0, -6, -7}},
      {"KivaDevCtrl_AccessFlashROM", {0, 0, 0, -6, 0}},  // ten attempts, five seconds
  };
  for (const Case& c : cases) {
    for (size_t e = 0; e < 5; ++e) {
      const EntryPoint& entry = kEntryPoints[e];
      KivaSim_Reset();
      KivaSim_ForceResult(c.function, 1, KIVASIM_ALWAYS);
      EXPECT_EQ(entry.call(), c.expected[e]) << entry.name << " with " << c.function << " failing";
      if (std::string(c.function) != "KivaDevCtrl_Uninitialize") {
        EXPECT_EQ(KivaSim_IsInitialised(), 0) << entry.name << " with " << c.function;
      }
      KivaSim_Reset();  // the fault is gone: the next call opens afresh and does its work
      EXPECT_EQ(entry.call(), 0) << entry.name << " after " << c.function << " failed";
      EXPECT_TRUE(Logged(entry.work)) << entry.name << " after " << c.function << " failed";
      EXPECT_EQ(KivaSim_IsInitialised(), 0);
    }
  }
}

// The device calls of the log in sessions: every call between an initialise and its uninitialise,
// none outside but the count, and no session inside another. Returns the first call out of place.
std::string FirstCallOutOfPlace(const std::vector<std::string>& calls) {
  bool open = false;
  for (size_t i = 0; i < calls.size(); ++i) {
    const std::string& call = calls[i];
    const bool counting = call.rfind("DevCtrl_", 0) == 0;
    if (call == "KivaDevCtrl_Initialize") {
      if (open) return std::to_string(i) + ": " + call + " inside a session";
      open = true;
    } else if (call == "KivaDevCtrl_Uninitialize") {
      if (!open) return std::to_string(i) + ": " + call + " outside a session";
      open = false;
    } else if (counting == open) {
      return std::to_string(i) + ": " + call + (open ? " inside" : " outside") + " a session";
    }
  }
  return "";
}

// `threads` threads call all five functions on tuners 1 ... 4, and one on index 5, for `rounds`
// rounds or `ms` milliseconds; returns the number of calls and adds wrong results to *wrong.
int RunLoad(int threads, int rounds, DWORD ms, int* wrong) {
  std::atomic<int> calls{0}, wrongResults{0};
  const DWORD start = GetTickCount();
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      for (int round = 0; round < rounds && GetTickCount() - start < ms; ++round) {
        const int index = 1 + (t + round) % 4;
        char name[32];
        int size = sizeof name, channel = 0, power = 0, lock = 0, count = 0;
        const int results[] = {OSTRIN_GetCount(&count) != 0 || count != 4,
                               OSTRIN_SetPower(index, 1),
                               OSTRIN_SetChannel(index, 1 + round % 12),
                               OSTRIN_GetProgramName(index, name, &size, &channel),
                               OSTRIN_GetStatus(index, &power, &lock),
                               OSTRIN_SetChannel(5, 1) + 1};  // beyond the slots: -1
        for (int result : results) wrongResults += result != 0;
        calls += 6;
      }
    });
  }
  for (std::thread& thread : running) thread.join();
  *wrong += wrongResults;
  return calls;
}

// Every result is the specified one, kivactl sees one session at a time, and the process holds
// the same handles afterwards as before. A short run first lets everything that is created once
// (a contended lock's semaphore, the thread runtime's reusable pieces) exist before the count;
// it runs for a time rather than a number of rounds, so that its threads cannot finish one by one.
TEST(OstrinLoad, SeveralThreadsAreSerialisedAndLeaveNoHandle) {
  constexpr int kThreads = 4, kRounds = 5000;
  constexpr DWORD kRunMs = 15000;
  int wrong = 0;
  KivaSim_Reset();
  KivaSim_SetDeviceCount(4);
  RunLoad(kThreads, 1 << 30, 300, &wrong);  // by time, so that the threads do overlap
  KivaSim_Reset();
  KivaSim_SetDeviceCount(4);
  const HandleSet handlesBefore = OpenHandles();

  const DWORD start = GetTickCount();
  const int calls = RunLoad(kThreads, kRounds, kRunMs, &wrong);
  const DWORD elapsed = GetTickCount() - start;

  const HandleSet handlesAfter = OpenHandles();
  EXPECT_EQ(wrong, 0);
  const std::vector<std::string> log = CallLog();
  EXPECT_EQ(FirstCallOutOfPlace(log), "");
  EXPECT_EQ(KivaSim_IsInitialised(), 0);
  // The same handle values, not only as many: one leaked and one closed cannot cancel out.
  EXPECT_EQ(handlesAfter, handlesBefore)
      << "new: " << DescribeNewHandles(handlesBefore, handlesAfter)
      << " gone: " << DescribeNewHandles(handlesAfter, handlesBefore);
  std::printf(
      "load: %d calls from %d threads in %lu ms, %zu kivactl calls in order; "
      "open handles %zu before, %zu after, the same values\n",
      calls, kThreads, static_cast<unsigned long>(elapsed), log.size(), handlesBefore.size(),
      handlesAfter.size());
}

}  // namespace
