#include "driver/control_command.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "wire/command_words.h"

namespace rd420::sim {

namespace {

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(" \t\r", at);
    if (start == std::string_view::npos) {
      break;
    }
    const size_t end = line.find_first_of(" \t\r", start);
    tokens.push_back(line.substr(start, end - start));
    at = end == std::string_view::npos ? line.size() : end;
  }
  return tokens;
}

}  // namespace

std::optional<int> ParseCount(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ParseFrameRate(std::string_view text) {
  // std::from_chars for double is in libstdc++ 11 and later. It also reads
  // "nan" and "inf", which are no rate.
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      !(value == 0 || (value >= kMinFrameRate && value <= kMaxFrameRate))) {
    return std::nullopt;
  }
  return value;
}

std::optional<ControlCommand> ParseControlCommand(std::string_view line) {
  std::vector<std::string_view> tokens = Split(line);
  std::optional<int> camera;
  if (!tokens.empty() && tokens.back().starts_with("camera=")) {
    camera = ParseCount(tokens.back().substr(7));
    if (!camera) {
      return std::nullopt;
    }
    tokens.pop_back();
  }
  if (tokens.empty()) {
    return std::nullopt;
  }
  using Kind = ControlCommand::Kind;
  const std::string_view name = tokens[0];
  const std::string_view argument = tokens.size() > 1 ? tokens[1] : std::string_view();
  ControlCommand command;
  command.kind = Kind::kState;
  command.camera = camera;

  struct Plain {
    std::string_view name;
    Kind kind;
  };
  static constexpr Plain kPlain[] = {
      {"unplug", Kind::kUnplug},
      {"plug", Kind::kPlug},
      {"stall", Kind::kStall},
      {"reset-counts", Kind::kResetCounts},
      {"state", Kind::kState},
      {"history", Kind::kHistory},
      {"wrong-size-frame", Kind::kWrongSizeFrame},
  };
  for (const Plain& plain : kPlain) {
    if (name == plain.name) {
      if (tokens.size() != 1) {
        return std::nullopt;
      }
      command.kind = plain.kind;
      return command;
    }
  }
  if (tokens.size() != 2) {
    return std::nullopt;
  }
  // A number, or "off" (0); `all` (-1) where the command takes it.
  const auto countOrOff = [&](Kind kind, bool allowsAll) -> std::optional<ControlCommand> {
    command.kind = kind;
    if (argument == "off") {
      command.count = 0;
    } else if (allowsAll && argument == "all") {
      command.count = -1;
    } else if (auto count = ParseCount(argument)) {
      command.count = *count;
    } else {
      return std::nullopt;
    }
    return command;
  };
  if (name == "drop-commands") {
    return countOrOff(Kind::kDropCommands, true);
  }
  if (name == "short-frames") {
    return countOrOff(Kind::kShortFrames, false);
  }
  if (name == "slow-status") {
    return countOrOff(Kind::kSlowStatus, false);
  }
  if (name == "stuck-bit") {
    std::optional<ControlCommand> stuck = countOrOff(Kind::kStuckBit, false);
    if (stuck && argument == "off") {
      stuck->count = -1;
    }
    return stuck && stuck->count < 32 ? stuck : std::nullopt;
  }
  if (name == "fail-vendor") {
    return countOrOff(Kind::kFailVendor, true);
  }
  if (name == "aspect") {
    if (argument != "4:3" && argument != "16:9") {
      return std::nullopt;
    }
    command.kind = Kind::kAspect;
    command.flag = argument == "16:9";
    return command;
  }
  if (name == "busy-polls") {
    const std::optional<int> count = ParseCount(argument);
    if (!count) {
      return std::nullopt;
    }
    command.kind = Kind::kBusyPolls;
    command.count = *count;
    return command;
  }
  if (name == "force-status") {
    command.kind = Kind::kForceStatus;
    if (argument != "off") {
      command.word = ParseWord(argument);
      if (!command.word) {
        return std::nullopt;
      }
    }
    return command;
  }
  if (name == "fps") {
    const std::optional<double> fps =
        argument == "default" ? std::optional<double>(-1.0) : ParseFrameRate(argument);
    if (!fps) {
      return std::nullopt;
    }
    command.kind = Kind::kFps;
    command.fps = *fps;
    return command;
  }
  return std::nullopt;
}

}  // namespace rd420::sim
