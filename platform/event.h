#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace rd420 {

inline constexpr uint32_t kWaitInfinite = 0xFFFFFFFF;

// A signalled/non-signalled flag that threads wait on, with waits in
// milliseconds. Auto-reset events release one waiter and fall back to
// non-signalled; manual-reset events stay signalled until Reset.
// Safe from any thread.
class Event {
 public:
  enum class Reset { kAuto, kManual };

  explicit Event(Reset mode, bool initiallySignalled = false)
      : manual_(mode == Reset::kManual), signalled_(initiallySignalled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void ResetSignal();
  // Returns true when the event was signalled within timeoutMs
  // (kWaitInfinite waits for ever).
  bool Wait(uint32_t timeoutMs = kWaitInfinite);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const bool manual_;
  bool signalled_;
};

class AutoResetEvent : public Event {
 public:
  explicit AutoResetEvent(bool initiallySignalled = false)
      : Event(Reset::kAuto, initiallySignalled) {}
};

class ManualResetEvent : public Event {
 public:
  explicit ManualResetEvent(bool initiallySignalled = false)
      : Event(Reset::kManual, initiallySignalled) {}
};

}  // namespace rd420
