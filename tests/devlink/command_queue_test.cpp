#include "devlink/command_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace rd420 {
namespace {

// Catches: a second press within one frame sending both words.
TEST(CommandQueue, SecondQueueReplacesTheFirst) {
  CommandQueue queue;
  EXPECT_FALSE(queue.Pending());
  queue.QueueCommand(0x00030005);
  queue.QueueCommand(0x0003000A);
  EXPECT_TRUE(queue.Pending());
  EXPECT_EQ(queue.TakePending(), 0x0003000Au);
  EXPECT_FALSE(queue.Pending());
  EXPECT_FALSE(queue.TakePending().has_value());
}

// Catches: a zero word lost because it looks like an empty slot.
TEST(CommandQueue, ZeroWordIsStillAWord) {
  CommandQueue queue;
  queue.QueueCommand(0);
  EXPECT_EQ(queue.TakePending(), 0u);
}

// Catches: a word torn or duplicated while the GUI thread queues and two
// readers take at the same time.
TEST(CommandQueue, ConcurrentQueueAndTakeNeverTearsOrDuplicates) {
  CommandQueue queue;
  constexpr uint32_t kWords = 20000;
  std::atomic<bool> done{false};
  std::atomic<uint32_t> takenCount{0};
  std::atomic<int> torn{0};
  std::vector<std::atomic<int>> seen(kWords + 1);
  auto reader = [&] {
    while (!done || queue.Pending()) {
      if (auto word = queue.TakePending()) {
        const uint32_t id = *word & 0xFFFF;
        if ((*word >> 16) != id) {
          ++torn;
        } else {
          ++seen[id];
        }
        ++takenCount;
      }
    }
  };
  std::thread a(reader);
  std::thread b(reader);
  for (uint32_t id = 1; id <= kWords; ++id) {
    queue.QueueCommand((id << 16) | id);
  }
  done = true;
  a.join();
  b.join();
  EXPECT_EQ(torn, 0);
  int duplicated = 0;
  for (auto& count : seen) {
    duplicated += count > 1 ? 1 : 0;
  }
  EXPECT_EQ(duplicated, 0);
  // The last word is never lost: nothing queued after it replaces it.
  EXPECT_EQ(seen[kWords], 1);
}

}  // namespace
}  // namespace rd420
