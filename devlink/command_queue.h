#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace rd420 {

// The one-slot queue of a camera command waiting for the next reader cycle.
// Written by the GUI thread, taken by the reader threads. The word and its
// pending flag share one atomic, so a word queued while a reader takes the
// slot is either taken whole or left pending, never torn.
class CommandQueue {
 public:
  // Stores the word, replacing a word not yet taken.
  void QueueCommand(uint32_t word) { slot_.store(kPendingFlag | word); }

  // Clears the slot and returns its word, or nothing when none was queued.
  std::optional<uint32_t> TakePending() {
    const uint64_t slot = slot_.exchange(0);
    if ((slot & kPendingFlag) == 0) {
      return std::nullopt;
    }
    return static_cast<uint32_t>(slot);
  }

  // g_Command_Pending.
  bool Pending() const { return (slot_.load() & kPendingFlag) != 0; }

 private:
  static constexpr uint64_t kPendingFlag = uint64_t{1} << 32;
  std::atomic<uint64_t> slot_{0};
};

}  // namespace rd420
