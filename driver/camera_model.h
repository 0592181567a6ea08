#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "driver/scene_renderer.h"

namespace rd420::sim {

using Clock = std::chrono::steady_clock;

// How a simulated camera starts.
struct CameraOptions {
  bool aspect169 = false;
  bool variant = false;            // status bit 12
  int busyPolls = 0;               // status polls answered with bit 21 set
  bool fullSpeed = false;          // bulk pipe packet size 64 instead of 512
  double fps = -1;                 // < 0: the rate for the frame size; 0: unthrottled
  bool functionsInactive = false;  // bit 13 clear until "Active" arrives
};

struct Preset {
  int zoom;
  int focus;
  int brightness;
};

// The camera's state machine: the status word, the effect of every command
// word, and the adjustments that run from a start word until the stop word.
// Not thread-safe; SimulatedCamera serialises it.
class CameraModel {
 public:
  explicit CameraModel(const CameraOptions& options);

  // Acts on one command word received at `now` and returns the reply word.
  uint32_t Command(uint32_t word, Clock::time_point now);

  // The status word as the next poll would see it, without counting a poll.
  uint32_t PeekStatus() const;

  // The picture state at `now` (adjustments move with time).
  SceneSettings Scene(Clock::time_point now) const;

  bool Aspect169() const { return aspect169_; }
  void SetAspect169(bool wide) { aspect169_ = wide; }
  void SetBusyPolls(int polls) { busyPolls_ = polls; }
  void ForceStatus(std::optional<uint32_t> word) { forcedStatus_ = word; }
  bool FullResolution() const { return fullResolution_; }
  bool Frozen() const { return freeze_; }
  bool FullSpeed() const { return fullSpeed_; }

  int Zoom(Clock::time_point now) const;
  int Brightness(Clock::time_point now) const;
  int Focus(Clock::time_point now) const;
  int RedGain(Clock::time_point now) const;
  int BlueGain(Clock::time_point now) const;
  bool Lamp() const { return lamp_; }
  bool ApertureOn() const { return apertureOn_; }
  bool External() const { return external_; }
  bool FunctionsActive() const { return functionsActive_; }
  const std::array<std::optional<Preset>, 4>& Presets() const { return presets_; }

 private:
  enum class Adjust : size_t { kNone, kBrightness, kRed, kBlue, kFocus, kZoom };

  struct Running {
    Adjust what = Adjust::kNone;
    int direction = 0;
    Clock::time_point since{};
  };

  int Value(Adjust what, Clock::time_point now) const;
  int& Stored(Adjust what);
  void CommitRunning(Clock::time_point now);
  void Start(Adjust what, int direction, Clock::time_point now);
  bool ActOnFunction(uint32_t word, Clock::time_point now);
  uint32_t NextStatus();

  bool aspect169_;
  bool variant_;
  bool fullSpeed_;
  int busyPolls_;
  std::optional<uint32_t> forcedStatus_;
  bool functionsActive_;
  bool freeze_ = false;
  bool apertureOn_ = true;
  bool external_ = false;
  bool lamp_ = false;
  bool fullResolution_ = true;
  std::array<int, 6> values_{};  // indexed by Adjust
  Running running_;
  std::array<std::optional<Preset>, 4> presets_;
};

}  // namespace rd420::sim
