// The notice of a long call: a library call that is still running two seconds after it began
// says so once, so that a user at a terminal knows it has not hung (a tuner that does not answer
// costs 35 seconds an exchange; a programme name takes up to ten attempts).
#ifndef TUNERCTL_WAIT_NOTICE_H
#define TUNERCTL_WAIT_NOTICE_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace tunerctl {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;
  // Waits on `wake` until `deadline` or a notification; may return early.
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                         TimePoint deadline) = 0;
};

// The system's monotonic clock.
class SteadyClock : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                 TimePoint deadline) override {
    wake.wait_until(lock, deadline);
  }
};

constexpr std::chrono::milliseconds kNoticeDelay{2000};

class WaitNotice {
 public:
  // `say` runs at most once, on a watcher thread, while the call is still running; never when
  // `enabled` is false (standard error is not a terminal).
  WaitNotice(Clock& clock, bool enabled, std::function<void()> say,
             std::chrono::milliseconds delay = kNoticeDelay)
      : clock_(clock), enabled_(enabled), say_(std::move(say)), delay_(delay) {}

  // Runs `call` on this thread and returns its result.
  int Run(const std::function<int()>& call);

 private:
  Clock& clock_;
  bool enabled_;
  std::function<void()> say_;
  std::chrono::milliseconds delay_;
};

}  // namespace tunerctl

#endif  // TUNERCTL_WAIT_NOTICE_H
