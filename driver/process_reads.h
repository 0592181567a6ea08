#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <iterator>
#include <map>

namespace rd420 {

// What a camera back-end knows of each client process's bulk reads and
// frame-size words, so a frame-size change from one process is refused
// while another streams, or has just asked for its size and not yet read.
// Guarded by the back-end's own lock.
class ProcessReads {
 public:
  using Clock = std::chrono::steady_clock;
  struct Reads {
    uint64_t abortEpoch = 0;  // raised by the process's own abort
    int pending = 0;
    Clock::time_point lastFrame{};
    // The size word it last had accepted: the frame size is its from then
    // until its first read, as if it streamed.
    Clock::time_point sizeAsked{};
  };

  Reads& operator[](pid_t process) { return reads_[process]; }

  // Whether a process other than `process` reads now, or read a frame or
  // asked for the frame size within the last second. Forgets the processes
  // that stopped.
  bool OtherProcessStreams(pid_t process, Clock::time_point now) {
    bool streams = false;
    for (auto it = reads_.begin(); it != reads_.end();) {
      const Reads& reads = it->second;
      // A program that has ended streams no more, however recent its frame
      // (rd420ctl stream, then a snapshot at the other size).
      const bool recent = now - std::max(reads.lastFrame, reads.sizeAsked) < kStreamingWindow;
      const bool active =
          reads.pending > 0 || (recent && !(::kill(it->first, 0) != 0 && errno == ESRCH));
      streams = streams || (active && it->first != process);
      it = active ? std::next(it) : reads_.erase(it);
    }
    return streams;
  }

 private:
  static constexpr auto kStreamingWindow = std::chrono::seconds(1);
  std::map<pid_t, Reads> reads_;
};

}  // namespace rd420
