#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakeClock.h"
#include "WaitNotice.h"

namespace {

struct Case {
  const char* what;
  bool enabled;
  long long callMs;
  int notices;
};

TEST(WaitNotice, SpeaksOnceWhenTheCallOutlastsTwoSecondsAtATerminal) {
  const Case cases[] = {
      {"short call", true, 1999, 0},
      {"call of exactly two seconds", true, 2000, 1},
      {"35 s time-out", true, 35000, 1},
      {"not a terminal", false, 35000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    std::atomic<int> said{0};
    tunerctl::WaitNotice notice(clock, c.enabled, [&] { ++said; });
    const int result = notice.Run([&] {
      clock.Advance(c.callMs / 2);  // the watcher looks half-way too
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      clock.Advance(c.callMs - c.callMs / 2);
      if (c.notices > 0) {
        EXPECT_TRUE(BecameNonZeroWithin5s(said));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // room for a second notice
      return -7;
    });
    EXPECT_EQ(result, -7);
    EXPECT_EQ(said.load(), c.notices);
  }
}

TEST(WaitNotice, RealClockWatcherIsWokenWhenTheCallEnds) {
  tunerctl::SteadyClock clock;
  int said = 0;
  // Were the watcher left to sleep out its delay, the run would take an hour.
  tunerctl::WaitNotice notice(
      clock, true, [&] { ++said; }, std::chrono::hours(1));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(notice.Run([] { return 0; }), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(5));
  EXPECT_EQ(said, 0);
}

}  // namespace
