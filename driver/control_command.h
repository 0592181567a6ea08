#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rd420::sim {

// One line of the simulator's control socket, parsed. Every command may end
// with "camera=N"; without it the command goes to the highest-numbered
// camera (the one discovery picks).
struct ControlCommand {
  enum class Kind {
    kUnplug,       // unplug
    kPlug,         // plug
    kStall,        // stall: the next bulk read never completes until aborted
    kFailVendor,   // fail-vendor N | all | off
    kAspect,       // aspect 4:3 | 16:9
    kBusyPolls,    // busy-polls N
    kForceStatus,  // force-status WORD | off
    kFps,          // fps F (0 = as fast as asked, "default" = the camera's rates)
    kResetCounts,  // reset-counts
    kState,        // state
    kHistory,      // history: the last command words other than polls
    // Faults of a misbehaving camera, for rd420ctl check to catch.
    kShortFrames,     // short-frames BYTES | off: every frame that many bytes short
    kWrongSizeFrame,  // wrong-size-frame: the next frame at the other size
    kDropCommands,    // drop-commands N | all | off: answered, not acted on
    kStuckBit,        // stuck-bit BIT | off: a status bit keeps its value
    kSlowStatus,      // slow-status MS | off: the status reply comes late
  };
  Kind kind = Kind::kState;
  std::optional<int> camera;
  // fail-vendor and drop-commands (-1 = all, 0 = off), busy-polls,
  // short-frames, stuck-bit (-1 = off), slow-status
  int count = 0;
  bool flag = false;             // aspect: true for 16:9
  std::optional<uint32_t> word;  // force-status; nothing = back to the model
  double fps = -1;
};

std::optional<ControlCommand> ParseControlCommand(std::string_view line);

// A whole number of zero or more.
std::optional<int> ParseCount(std::string_view text);

inline constexpr double kMinFrameRate = 0.1;
inline constexpr double kMaxFrameRate = 1000;

// A frame rate: 0 (as fast as asked) or kMinFrameRate .. kMaxFrameRate.
std::optional<double> ParseFrameRate(std::string_view text);

}  // namespace rd420::sim
