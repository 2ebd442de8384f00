// A clock that moves only when a test says so. A waiter re-reads it every millisecond of real
// time, so that what it decides depends on the fake time alone.
#ifndef TUNERCTL_FAKE_CLOCK_H
#define TUNERCTL_FAKE_CLOCK_H

#include <atomic>
#include <chrono>

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

#endif  // TUNERCTL_FAKE_CLOCK_H
