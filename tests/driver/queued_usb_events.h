#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "driver/usb_api.h"

namespace rd420::fake {

// The event handling of a fake bus: transfer completions and hot-plug
// notices queued from any thread run only on the thread in HandleEvents,
// as libusb delivers them.
class QueuedUsbEvents : public UsbApi {
 public:
  void HandleEvents(int timeoutMs) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !events_.empty() || interrupted_; });
    interrupted_ = false;
    std::deque<std::function<void()>> events;
    events.swap(events_);
    lock.unlock();
    for (const auto& event : events) {
      event();
    }
  }
  void Interrupt() override {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
  }

 protected:
  // The caller holds mutex_.
  void PostLocked(std::function<void()> event) {
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;

 private:
  std::deque<std::function<void()>> events_;
  bool interrupted_ = false;
};

}  // namespace rd420::fake
