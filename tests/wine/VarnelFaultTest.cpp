// varnel.dll under faults and load, under wine64 against two simulated tuners (COM11, COM12):
// every fault ends the call with its failure code and the next call works again; calls from
// several threads hold up, are serialised, and leave no handle behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HandleCount.h"
#include "ImportPatch.h"
#include "WineTestSupport.h"
#include "varnel.h"

namespace {

// Another process that holds `path` open without sharing, for the life of the object.
class HeldByAnotherProcess {
 public:
  explicit HeldByAnotherProcess(const std::string& path) {
    const std::string event = "varnel-test-hold-" + std::to_string(GetCurrentProcessId());
    ready_ = CreateEventA(nullptr, TRUE, FALSE, (event + "-ready").c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, (event + "-release").c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string program = self;
    program = program.substr(0, program.find_last_of('\\') + 1) + "hold_file.exe";
    std::string command = "\"" + program + "\" \"" + path + "\" " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      ADD_FAILURE() << "cannot start " << program;
      return;
    }
    HANDLE waits[] = {ready_, process_.hProcess};
    held_ = WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0;
  }
  ~HeldByAnotherProcess() {
    SetEvent(release_);
    if (process_.hProcess != nullptr) {
      WaitForSingleObject(process_.hProcess, 10000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
  }
  bool held() const { return held_; }

 private:
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  PROCESS_INFORMATION process_ = {};
  bool held_ = false;
};

class VarnelFaults : public TwoSimulatedTuners {
 protected:
  void SetUp() override {
    TwoSimulatedTuners::SetUp();
    layout.AttachSimulatedTuners(2);
  }
};

void WriteFileText(const char* path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Each of the four calls that open a port, with its failure code.
struct PortCall {
  const char* name;
  int failure;
  int (*call)(int index);
};

const PortCall kPortCalls[] = {
    {"SetPower", VARNEL_ERROR_SET_POWER, [](int index) { return VARNEL_SetPower(index, 1); }},
    {"SetChannel", VARNEL_ERROR_SET_CHANNEL, [](int index) { return VARNEL_SetChannel(index, 3); }},
    {"GetProgramName", VARNEL_ERROR_GET_PROGRAM_NAME,
     [](int index) {
       char name[64];
       int size = sizeof name, channel = 0;
       return VARNEL_GetProgramName(index, name, &size, &channel);
     }},
    {"GetStatus", VARNEL_ERROR_GET_STATUS,
     [](int index) {
       int power = 0, lock = 0;
       return VARNEL_GetStatus(index, &power, &lock);
     }},
};

TEST_F(VarnelFaults, PortVanishingBetweenCallsFailsEachCallUntilItReturns) {
  ASSERT_EQ(VARNEL_SetChannel(1, 1), 0);
  tuner1.Control("vanish");
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), c.failure) << c.name;
  int count = 0;
  EXPECT_EQ(VARNEL_GetCount(&count), 0);  // the registry still lists it
  EXPECT_EQ(count, 2);
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(2), 0) << c.name << " on the other tuner";
  tuner1.Control("appear");
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), 0) << c.name;
}

// The simulator holds the port exclusively, as a program that has it open does on Windows. Only
// a process with CAP_SYS_ADMIN may open it still; the test runs without it where it can.
TEST_F(VarnelFaults, PortHeldByAnotherProcessFailsEachCallUntilReleased) {
  tuner1.Control("exclusive on");
  const std::string port = "\\\\.\\" + tuner1.ComName();
  HANDLE probe = CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    tuner1.Control("exclusive off");
    GTEST_SKIP() << "this process may open a port another one holds (it has CAP_SYS_ADMIN)";
  }
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), c.failure) << c.name;
  EXPECT_EQ(tuner1.Control("commands"), "0");
  tuner1.Control("exclusive off");
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), 0) << c.name;
}

// A transcript that cannot be written is no fault of the call: the call does its work, and the
// file is left as it was.
TEST_F(VarnelFaults, LockedTranscriptLeavesTheCallsWorking) {
  WriteFileText("logfile.txt", "kept\r\n");
  {
    HeldByAnotherProcess holder("logfile.txt");
    ASSERT_TRUE(holder.held());
    for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), 0) << c.name << ", locked";
  }
  EXPECT_EQ(ReadFileText("logfile.txt"), "kept\r\n");
  EXPECT_EQ(VARNEL_SetChannel(1, 1), 0);  // released: the transcript is written again
  EXPECT_NE(ReadFileText("logfile.txt").find("[Resp]:"), std::string::npos);
}

// Only a process without CAP_DAC_OVERRIDE is kept from writing a read-only file; the test runs
// without it where it can, and skips the file's check where it cannot.
TEST_F(VarnelFaults, ReadOnlyTranscriptLeavesTheCallsWorking) {
  WriteFileText("logfile.txt", "kept\r\n");
  ASSERT_TRUE(SetFileAttributesA("logfile.txt", FILE_ATTRIBUTE_READONLY));
  for (const PortCall& c : kPortCalls) EXPECT_EQ(c.call(1), 0) << c.name << ", read-only";
  HANDLE probe = CreateFileA("logfile.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    GTEST_SKIP() << "this process may write a read-only logfile.txt (it has CAP_DAC_OVERRIDE); "
                    "only the results were checked";
  }
  EXPECT_EQ(ReadFileText("logfile.txt"), "kept\r\n");
}

// The handle comparison below must be able to fail: a handle left open is seen, and so is one
// left open while another one was closed, which leaves the count as it was.
TEST(HandleCount, SeesALeakedHandle) {
  HANDLE closedLater = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const HandleSet before = OpenHandles();
  HANDLE leaked = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const HandleSet after = OpenHandles();
  EXPECT_EQ(after.size(), before.size() + 1);
  EXPECT_NE(DescribeNewHandles(before, after).find("Event"), std::string::npos)
      << DescribeNewHandles(before, after);

  CloseHandle(closedLater);
  const HandleSet swapped = OpenHandles();
  EXPECT_EQ(swapped.size(), before.size());
  EXPECT_NE(swapped, before);
  CloseHandle(leaked);
  HandleSet restored = before;
  restored.erase(reinterpret_cast<std::uintptr_t>(closedLater));
  EXPECT_EQ(OpenHandles(), restored);
}

// Exchange times (first byte in, last reply byte out) of both tuners, in order of arrival.
std::vector<std::pair<long long, long long>> Exchanges(SimulatedTuner& a, SimulatedTuner& b) {
  std::vector<std::pair<long long, long long>> all;
  for (SimulatedTuner* tuner : {&a, &b}) {
    std::istringstream words(tuner->Control("exchanges"));
    for (std::string word; words >> word;) {
      all.emplace_back(std::stoll(word), std::stoll(word.substr(word.find(',') + 1)));
    }
  }
  std::sort(all.begin(), all.end());
  return all;
}

// Calls of a load run.
struct LoadRun {
  int calls = 0;
  int wrong = 0;
  std::string lastWrong;
};

// `threads` threads call all five functions on both tuners, and one on an index beyond them, for
// `ms` milliseconds; every result must be the specified one. With `tunerPerThread`, thread t
// keeps to tuner 1 + t % 2 instead of taking turns.
LoadRun RunLoad(int threads, DWORD ms, bool tunerPerThread = false) {
  std::atomic<int> calls{0}, wrong{0};
  std::vector<std::string> wrongResults(static_cast<size_t>(threads));
  const DWORD start = GetTickCount();
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      std::string& lastWrong = wrongResults[static_cast<size_t>(t)];
      for (int round = 0; GetTickCount() - start < ms; ++round) {
        const int index = 1 + (tunerPerThread ? t : t + round) % 2;
        int found = 0;
        const bool badCount = VARNEL_GetCount(&found) != 0 || found != 2;
        if (badCount) lastWrong = "GetCount";
        wrong += badCount;
        for (const PortCall& c : kPortCalls) {
          const bool bad = c.call(index) != 0;
          if (bad) lastWrong = c.name;
          wrong += bad;
        }
        const PortCall& beyond = kPortCalls[round % 4];
        const bool bad = beyond.call(3) != beyond.failure;
        if (bad) lastWrong = std::string(beyond.name) + " beyond the tuners";
        wrong += bad;
        calls += 6;
      }
    });
  }
  for (std::thread& thread : running) thread.join();
  LoadRun run;
  run.calls = calls;
  run.wrong = wrong;
  for (const std::string& last : wrongResults) run.lastWrong += last + " ";
  return run;
}

// How many of the exchanges the two tuners saw, in time order, began before the one before them
// had ended; *exchangeCount receives their number. Clears both tuners' records.
int Overlaps(SimulatedTuner& a, SimulatedTuner& b, size_t* exchangeCount) {
  const auto exchanges = Exchanges(a, b);
  *exchangeCount = exchanges.size();
  int overlaps = 0;
  for (size_t i = 1; i < exchanges.size(); ++i) {
    overlaps += exchanges[i - 1].second > exchanges[i].first;
  }
  a.Control("clear");
  b.Control("clear");
  return overlaps;
}

// Four threads call all five functions for a bounded time. Every result is the specified one,
// the tuners never see two exchanges at once, and the process holds the same handles afterwards
// as before. A short run first lets everything that is created once (a contended lock's
// semaphore, the thread runtime's reusable pieces) exist before the handles are counted.
TEST_F(VarnelFaults, LoadFromSeveralThreadsIsSerialisedAndLeavesNoHandle) {
  constexpr int kThreads = 4;
  constexpr DWORD kRunMs = 15000;
  EXPECT_EQ(RunLoad(kThreads, 1000).wrong, 0);
  tuner1.Control("clear");
  tuner2.Control("clear");
  const HandleSet handlesBefore = OpenHandles();

  const LoadRun run = RunLoad(kThreads, kRunMs);

  const HandleSet handlesAfter = OpenHandles();
  EXPECT_EQ(run.wrong, 0) << "last wrong results: " << run.lastWrong;
  EXPECT_GT(run.calls, 100);
  size_t exchanges = 0;
  EXPECT_EQ(Overlaps(tuner1, tuner2, &exchanges), 0) << "of " << exchanges << " exchanges";
  EXPECT_GT(exchanges, 100u);
  // The same handle values, not only as many: one leaked and one closed cannot cancel out.
  EXPECT_EQ(handlesAfter, handlesBefore)
      << "new: " << DescribeNewHandles(handlesBefore, handlesAfter)
      << " gone: " << DescribeNewHandles(handlesAfter, handlesBefore);
  std::printf(
      "load: %d calls from %d threads in %lu ms, %zu exchanges, none overlapping; "
      "open handles %zu before, %zu after, the same values\n",
      run.calls, kThreads, static_cast<unsigned long>(kRunMs), exchanges, handlesBefore.size(),
      handlesAfter.size());
}

// The overlap check of the load test must be able to fail: with varnel's library lock taken out
// (its critical-section calls in the DLL's import table pointed at functions that do nothing), the
// load of two threads, each at its own tuner, makes exchanges at the two tuners overlap, and the
// check sees it.
void WINAPI NoLock(LPCRITICAL_SECTION) {}

TEST_F(VarnelFaults, OverlapCheckSeesCallsWithoutTheLibraryLock) {
  HMODULE varnel = GetModuleHandleA("varnel.dll");
  ASSERT_NE(varnel, nullptr);
  size_t exchanges = 0;
  Overlaps(tuner1, tuner2, &exchanges);
  RunLoad(2, 3000, true);
  EXPECT_EQ(Overlaps(tuner1, tuner2, &exchanges), 0)
      << "with the lock, " << exchanges << " exchanges";
  int overlaps = 0;
  {
    ImportPatch enter(varnel, "kernel32.dll", "EnterCriticalSection",
                      reinterpret_cast<void*>(&NoLock));
    ImportPatch leave(varnel, "kernel32.dll", "LeaveCriticalSection",
                      reinterpret_cast<void*>(&NoLock));
    ASSERT_TRUE(enter.patched() && leave.patched()) << "varnel.dll imports no critical section";
    RunLoad(2, 3000, true);
    overlaps = Overlaps(tuner1, tuner2, &exchanges);
  }
  EXPECT_GT(overlaps, 0) << "none of " << exchanges << " exchanges overlapped without the lock";
  std::printf("without the library lock: %d of %zu exchanges overlap the one before\n", overlaps,
              exchanges);
}

}  // namespace
