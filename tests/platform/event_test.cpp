#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace rd420 {
namespace {

using namespace std::chrono_literals;

// Catches: an auto-reset event that stays signalled after releasing a wait.
TEST(Event, AutoResetReleasesOneWaitThenFallsBack) {
  AutoResetEvent event(true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();  // signals do not add up
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

// Catches: a manual-reset event that resets itself or wakes only one waiter.
TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
  ManualResetEvent event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(kWaitInfinite)) {
        ++released;
      }
    });
  }
  event.Set();
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(released, 4);
  EXPECT_TRUE(event.Wait(0));
  event.ResetSignal();
  EXPECT_FALSE(event.Wait(0));
}

// Catches: a time-out that returns at once or never.
TEST(Event, TimedWaitGivesUpAfterItsTime) {
  AutoResetEvent event;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Wait(50));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

// Catches: auto-reset signals that release two waiters, or lose one. Each
// signal is consumed by exactly one of the competing threads.
TEST(Event, AutoResetHandsEachSignalToExactlyOneWaiter) {
  AutoResetEvent turn;
  std::atomic<int> taken{0};
  constexpr int kSignals = 2000;
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(StartThread(ThreadPriority::kNormal, [&] {
      while (turn.Wait(200)) {
        ++taken;
      }
    }));
  }
  for (int i = 0; i < kSignals; ++i) {
    turn.Set();
    while (taken < i + 1) {
      std::this_thread::yield();
    }
  }
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(taken, kSignals);
}

// Catches: a priority request that kills the thread or skips its body.
TEST(Thread, EveryPriorityRunsTheBody) {
  for (ThreadPriority priority : {ThreadPriority::kHighest, ThreadPriority::kNormal,
                                  ThreadPriority::kLowest, ThreadPriority::kIdle}) {
    std::atomic<bool> ran{false};
    StartThread(priority, [&] { ran = true; }).join();
    EXPECT_TRUE(ran);
  }
}

}  // namespace
}  // namespace rd420
