#include "platform/event.h"

#include <chrono>

namespace rd420 {

void Event::Set() {
  // Notified under the lock: a waiter that sees the signal may free the
  // event at once, so nothing may touch it after the lock is released.
  std::lock_guard lock(mutex_);
  signalled_ = true;
  if (manual_) {
    changed_.notify_all();
  } else {
    changed_.notify_one();
  }
}

void Event::ResetSignal() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  auto isSignalled = [this] { return signalled_; };
  if (timeoutMs == kWaitInfinite) {
    changed_.wait(lock, isSignalled);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSignalled)) {
    return false;
  }
  if (!manual_) {
    signalled_ = false;
  }
  return true;
}

}  // namespace rd420
