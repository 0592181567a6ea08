#include "driver/process_reads.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace rd420 {
namespace {

using namespace std::chrono_literals;

// Catches: one program switching the frame size under another's stream, or
// between another's size word and its first read; a size held after its
// program stopped streaming, or against a camera plugged in anew (which
// chose its own size).
TEST(ProcessReads, FrameSizeHoldsWhileAnotherProgramStreams) {
  ProcessReads reads;
  // Two programs that run (the test and its parent): a recent frame or size
  // word holds only while its program lives.
  const ClientContext first{1, {}, getpid()};
  const ClientContext second{1, {}, getppid()};
  const ProcessReads::Clock::time_point t0 = ProcessReads::Clock::now();
  reads.Sent(first, kCmdFullResolution, t0);
  EXPECT_FALSE(reads.MaySend(second, kCmdHalfResolution, t0));
  EXPECT_TRUE(reads.MaySend(second, kCmdFullResolution, t0));
  EXPECT_TRUE(reads.MaySend(first, kCmdHalfResolution, t0));
  EXPECT_TRUE(reads.MaySend(second, kPollStatus, t0));
  reads.ReadStarted(first.process);
  EXPECT_FALSE(reads.MaySend(second, kCmdHalfResolution, t0 + 5s));  // a read pending
  reads.ReadEnded(first.process, true, t0 + 5s);
  EXPECT_FALSE(reads.MaySend(second, kCmdHalfResolution, t0 + 5500ms));
  EXPECT_TRUE(reads.MaySend(second, kCmdHalfResolution, t0 + 7s));
  reads.Sent(first, kCmdFullResolution, t0 + 7s);
  const ClientContext replugged{2, {}, getppid()};
  EXPECT_TRUE(reads.MaySend(replugged, kCmdHalfResolution, t0 + 7s));
}

}  // namespace
}  // namespace rd420
