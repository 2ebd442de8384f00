#include "WaitNotice.h"

#include <thread>

namespace tunerctl {

int WaitNotice::Run(const std::function<int()>& call) {
  if (!enabled_) return call();

  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  const Clock::TimePoint deadline = clock_.Now() + delay_;
  std::thread watcher([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (done) return;
      if (clock_.Now() >= deadline) break;
      clock_.WaitUntil(lock, wake, deadline);
    }
    lock.unlock();
    say_();
  });

  const int result = call();
  {
    std::lock_guard<std::mutex> guard(mutex);
    done = true;
  }
  wake.notify_all();
  watcher.join();  // a notice being written ends before the call's own output
  return result;
}

}  // namespace tunerctl
