#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

namespace rd420 {

namespace {

// Nice values stand in for the original priority classes; an unprivileged
// process may only lower its priority, so "highest" usually stays at 0.
int NiceFor(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::kHighest:
      return -10;
    case ThreadPriority::kNormal:
      return 0;
    case ThreadPriority::kLowest:
      return 10;
    case ThreadPriority::kIdle:
      return 19;
  }
  return 0;
}

}  // namespace

bool SetCurrentThreadPriority(ThreadPriority priority) {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  if (priority == ThreadPriority::kIdle) {
    sched_param param{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0) {
      return true;
    }
  }
  return setpriority(PRIO_PROCESS, tid, NiceFor(priority)) == 0;
}

std::thread StartThread(ThreadPriority priority, std::function<void()> body) {
  return std::thread([priority, body = std::move(body)] {
    SetCurrentThreadPriority(priority);
    body();
  });
}

bool SleepUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, duration, [] { return false; });
  return !stop.stop_requested();
}

}  // namespace rd420
