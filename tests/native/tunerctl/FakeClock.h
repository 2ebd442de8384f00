// A clock that moves only when a test says so. A waiter re-reads it every millisecond of real
// time, so that what it decides depends on the fake time alone.
#ifndef TUNERCTL_FAKE_CLOCK_H
#define TUNERCTL_FAKE_CLOCK_H

#include <atomic>
#include <chrono>
#include <thread>

#include "WaitNotice.h"

class FakeClock : public tunerctl::Clock {
 public:
  TimePoint Now() override { return TimePoint(std::chrono::milliseconds(now_.load())); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                 TimePoint) override {
    wake.wait_for(lock, std::chrono::milliseconds(1));
  }
  void Advance(long long ms) { now_ += ms; }

 private:
  std::atomic<long long> now_{1000000};
};

// Waits, in real time, up to five seconds for `value` to become non-zero (the watcher to have
// spoken); true when it did.
inline bool BecameNonZeroWithin5s(const std::atomic<int>& value) {
  for (int i = 0; i < 5000 && value.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return value.load() != 0;
}

#endif  // TUNERCTL_FAKE_CLOCK_H
