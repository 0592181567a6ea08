#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <utility>

#include "driver/camera_backend.h"
#include "wire/command_words.h"

namespace rd420 {

// What the server knows of each client process's bulk reads and frame-size
// words on one camera, so a frame-size change from one process is refused
// while another streams, or has just asked for its size and not yet read.
// Thread-bound: the server's loop thread.
class ProcessReads {
 public:
  using Clock = std::chrono::steady_clock;

  // False for a size word that would switch the frame size while another
  // process streams; such a word never reaches the camera.
  bool MaySend(const ClientContext& client, uint32_t word, Clock::time_point now) {
    return !IsSizeWord(word) || !frameSize_ || frameSize_->first != client.generation ||
           frameSize_->second == (word == kCmdFullResolution) ||
           !OtherProcessStreams(client.process, now);
  }
  // The camera took `word`: a size word makes the size its process's from
  // then until its first read, as if it streamed.
  void Sent(const ClientContext& client, uint32_t word, Clock::time_point now) {
    if (IsSizeWord(word)) {
      frameSize_.emplace(client.generation, word == kCmdFullResolution);
      reads_[client.process].sizeAsked = now;
    }
  }
  void ReadStarted(pid_t process) { ++reads_[process].pending; }
  void ReadEnded(pid_t process, bool delivered, Clock::time_point now) {
    Reads& reads = reads_[process];
    --reads.pending;
    if (delivered) {
      reads.lastFrame = now;
    }
  }

 private:
  struct Reads {
    int pending = 0;
    Clock::time_point lastFrame{};
    Clock::time_point sizeAsked{};
  };

  static bool IsSizeWord(uint32_t word) {
    return word == kCmdFullResolution || word == kCmdHalfResolution;
  }

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

  static constexpr auto kStreamingWindow = std::chrono::seconds(1);
  std::map<pid_t, Reads> reads_;
  // The size the last size word the camera took chose (true: full), with
  // the camera's plug generation then: a camera plugged in anew chose its
  // own, so it is unknown again.
  std::optional<std::pair<uint64_t, bool>> frameSize_;
};

}  // namespace rd420
