#include "driver/camera_model.h"

#include <algorithm>

#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::sim {

namespace {

struct Range {
  int low;
  int high;
  int initial;
  int perSecond;  // how fast a held button moves the value
};

constexpr int kFocusSharp = 500;

// Indexed by CameraModel::Adjust.
constexpr Range kRanges[] = {
    {0, 0, 0, 0},                 // none
    {0, 255, 128, 60},            // brightness
    {-64, 64, 0, 40},             // red
    {-64, 64, 0, 40},             // blue
    {0, 1000, kFocusSharp, 300},  // focus
    {0, kZoomMax, 0, 600},        // zoom
};

}  // namespace

CameraModel::CameraModel(const CameraOptions& options)
    : aspect169_(options.aspect169),
      variant_(options.variant),
      fullSpeed_(options.fullSpeed),
      busyPolls_(options.busyPolls),
      functionsActive_(!options.functionsInactive) {
  for (size_t i = 0; i < values_.size(); ++i) {
    values_[i] = kRanges[i].initial;
  }
}

int CameraModel::Value(Adjust what, Clock::time_point now) const {
  const int stored = values_[static_cast<size_t>(what)];
  if (running_.what != what || what == Adjust::kNone) {
    return stored;
  }
  const Range& range = kRanges[static_cast<size_t>(what)];
  const auto elapsedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - running_.since).count();
  const long long moved = elapsedMs * range.perSecond / 1000;
  return static_cast<int>(
      std::clamp<long long>(stored + running_.direction * moved, range.low, range.high));
}

int& CameraModel::Stored(Adjust what) {
  return values_[static_cast<size_t>(what)];
}

void CameraModel::CommitRunning(Clock::time_point now) {
  if (running_.what != Adjust::kNone) {
    const int value = Value(running_.what, now);
    Stored(running_.what) = value;
  }
  running_ = {};
}

void CameraModel::Start(Adjust what, int direction, Clock::time_point now) {
  CommitRunning(now);
  running_ = {what, direction, now};
}

int CameraModel::Zoom(Clock::time_point now) const {
  return Value(Adjust::kZoom, now);
}
int CameraModel::Brightness(Clock::time_point now) const {
  return Value(Adjust::kBrightness, now);
}
int CameraModel::Focus(Clock::time_point now) const {
  return Value(Adjust::kFocus, now);
}
int CameraModel::RedGain(Clock::time_point now) const {
  return Value(Adjust::kRed, now);
}
int CameraModel::BlueGain(Clock::time_point now) const {
  return Value(Adjust::kBlue, now);
}

uint32_t CameraModel::PeekStatus() const {
  if (forcedStatus_) {
    return *forcedStatus_;
  }
  uint32_t word = kStatusValidMask;
  word |= aspect169_ ? kStatusWide : 0;
  word |= busyPolls_ > 0 ? kStatusStarting : 0;
  word |= functionsActive_ ? kStatusFunctions : 0;
  word |= variant_ ? kStatusVariant : 0;
  word |= freeze_ ? kStatusFreeze : 0;
  word |= apertureOn_ ? 0 : kStatusApertureOff;
  word |= external_ ? kStatusExternal : 0;
  word |= lamp_ ? kStatusLamp : 0;
  return word;
}

uint32_t CameraModel::NextStatus() {
  const uint32_t word = PeekStatus();
  if (busyPolls_ > 0) {
    --busyPolls_;
  }
  return word;
}

SceneSettings CameraModel::Scene(Clock::time_point now) const {
  SceneSettings scene;
  scene.width = fullResolution_ ? 1280 : 640;
  const int fullHeight = aspect169_ ? 720 : 960;
  scene.height = fullResolution_ ? fullHeight : fullHeight / 2;
  scene.zoom = Zoom(now);
  scene.brightness = Brightness(now);
  scene.redGain = RedGain(now);
  scene.blueGain = BlueGain(now);
  scene.focus = Focus(now);
  scene.lamp = lamp_;
  return scene;
}

// Returns false for a word that is not one of the camera's functions.
bool CameraModel::ActOnFunction(uint32_t word, Clock::time_point now) {
  const uint16_t argument = ArgumentOf(word);
  switch (FunctionOf(word)) {
    case FunctionOf(kCmdAutoWhite):
      CommitRunning(now);
      Stored(Adjust::kRed) = 0;
      Stored(Adjust::kBlue) = 0;
      return true;
    case FunctionOf(kCmdAutoFocus):
      CommitRunning(now);
      Stored(Adjust::kFocus) = kFocusSharp;
      return true;
    case FunctionOf(kCmdLampOn):
      lamp_ = word == kCmdLampOn;
      return true;
    case FunctionOf(kCmdInternal):
      external_ = word == kCmdExternal;
      return true;
    case FunctionOf(kCmdApertureOn):
      apertureOn_ = word == kCmdApertureOn;
      return true;
    case FunctionOf(kCmdFreezeOn):
      freeze_ = word == kCmdFreezeOn;
      return true;
    case FunctionOf(kCmdStorePreset):
      if (argument >= 1 && argument <= 4) {
        CommitRunning(now);
        presets_[argument - 1] =
            Preset{Stored(Adjust::kZoom), Stored(Adjust::kFocus), Stored(Adjust::kBrightness)};
      }
      return true;
    case FunctionOf(kCmdRecallPreset):
      if (argument >= 1 && argument <= 4 && presets_[argument - 1]) {
        running_ = {};
        const Preset& preset = *presets_[argument - 1];
        Stored(Adjust::kZoom) = preset.zoom;
        Stored(Adjust::kFocus) = preset.focus;
        Stored(Adjust::kBrightness) = preset.brightness;
      }
      return true;
    case FunctionOf(kCmdBrightnessUp):
      Start(Adjust::kBrightness, word == kCmdBrightnessUp ? 1 : -1, now);
      return true;
    case FunctionOf(kCmdRedUp):
      Start(Adjust::kRed, word == kCmdRedUp ? 1 : -1, now);
      return true;
    case FunctionOf(kCmdBlueUp):
      Start(Adjust::kBlue, word == kCmdBlueUp ? 1 : -1, now);
      return true;
    case FunctionOf(kCmdFocusFar):
      Start(Adjust::kFocus, word == kCmdFocusFar ? 1 : -1, now);
      return true;
    case FunctionOf(kCmdZoomTele):
      Start(Adjust::kZoom, word == kCmdZoomTele ? 1 : -1, now);
      return true;
    case FunctionOf(kCmdStopAdjustment):
      CommitRunning(now);
      return true;
    default:
      return false;
  }
}

uint32_t CameraModel::Command(uint32_t word, Clock::time_point now) {
  // A poll is answered with its function code in bits 16..23 (as in the
  // zoom reply 0x00690746) and the value in the low 16 bits; any other
  // word is acknowledged the same way with its argument.
  const uint32_t echo = (uint32_t{FunctionOf(word)} & 0xFF) << 16;
  switch (word) {
    case kPollStatus:
      return NextStatus();
    case kPollSecondary:
      return echo | kStatusValid;
    case kPollBrightness:
      return echo | static_cast<uint16_t>(Brightness(now));
    case kPollZoom:
      return echo | static_cast<uint16_t>(Zoom(now));
    case kCmdFullResolution:
    case kCmdHalfResolution:
      fullResolution_ = word == kCmdFullResolution;
      return echo | ArgumentOf(word);
    case kCmdActivateFunctions:
      functionsActive_ = true;
      return echo | ArgumentOf(word);
    case kCmdShutdown:
      CommitRunning(now);
      return echo | ArgumentOf(word);
    default:
      break;
  }
  // Function commands count only while the camera accepts them (bit 13).
  if (functionsActive_) {
    ActOnFunction(word, now);
  }
  return echo | ArgumentOf(word);
}

}  // namespace rd420::sim
