#include "driver/simulator_control.h"

#include "driver/control_command.h"
#include "wire/device_directory.h"

namespace rd420::sim {

namespace {

void InjectFault(const ControlCommand& command, InjectedFaults& faults, uint32_t status) {
  using Kind = ControlCommand::Kind;
  switch (command.kind) {
    case Kind::kShortFrames:
      faults.shortFrameBytes = static_cast<uint32_t>(command.count);
      break;
    case Kind::kWrongSizeFrame:
      faults.wrongSizeNext = true;
      break;
    case Kind::kDropCommands:
      faults.dropCommands = command.count;
      break;
    case Kind::kStuckBit:
      faults.stuckMask.reset();
      if (command.count >= 0) {
        // The bit keeps the value it has now.
        faults.stuckMask = uint32_t{1} << command.count;
        faults.stuckValue = status & *faults.stuckMask;
      }
      break;
    case Kind::kSlowStatus:
      faults.slowStatus = std::chrono::milliseconds(command.count);
      break;
    default:
      break;
  }
}

}  // namespace

std::string SimulatorControl::Execute(const std::string& line) {
  const std::optional<ControlCommand> command = ParseControlCommand(line);
  if (!command) {
    return "error unknown or malformed command: " + line;
  }
  int instance = command->camera.value_or(-1);
  if (instance < 0) {
    // Without camera=N the command goes to the camera discovery picks.
    instance = cameras_.empty() ? -1 : cameras_.rbegin()->first;
  }
  auto found = cameras_.find(instance);
  if (found == cameras_.end()) {
    return "error no camera " + std::to_string(instance);
  }
  SimulatedCamera& camera = *found->second;
  using Kind = ControlCommand::Kind;
  switch (command->kind) {
    case Kind::kUnplug:
      camera.Unplug();
      server_.SetNodePresent(instance, false);
      return "ok unplugged " + DeviceName(instance);
    case Kind::kPlug:
      if (!camera.Plugged()) {
        camera.Plug();
        if (!server_.SetNodePresent(instance, true)) {
          return "error cannot recreate " + DeviceName(instance);
        }
      }
      return "ok plugged " + DeviceName(instance);
    case Kind::kStall:
      camera.StallNextRead();
      return "ok next bulk read stalls";
    case Kind::kFailVendor:
      camera.FailVendorRequests(command->count);
      return "ok";
    case Kind::kAspect:
      camera.SetAspect169(command->flag);
      return "ok";
    case Kind::kBusyPolls:
      camera.SetBusyPolls(command->count);
      return "ok";
    case Kind::kForceStatus:
      camera.ForceStatus(command->word);
      return "ok";
    case Kind::kFps:
      camera.SetFps(command->fps);
      return "ok";
    case Kind::kResetCounts:
      camera.ResetCounters();
      return "ok";
    case Kind::kState:
      return "ok camera=" + std::to_string(instance) + " " + camera.StateLine();
    case Kind::kHistory:
      return "ok " + camera.HistoryLine();
    case Kind::kShortFrames:
    case Kind::kWrongSizeFrame:
    case Kind::kDropCommands:
    case Kind::kStuckBit:
    case Kind::kSlowStatus:
      camera.ChangeFaults(
          [&](InjectedFaults& faults, uint32_t status) { InjectFault(*command, faults, status); });
      return "ok";
  }
  return "error";
}

}  // namespace rd420::sim
