#include "driver/simulator_control.h"

#include "devlink/device_directory.h"
#include "driver/control_command.h"

namespace rd420::sim {

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
  }
  return "error";
}

}  // namespace rd420::sim
