#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace rd420::viewer {

// One change to a control of the main window or the control panel.
struct ControlChange {
  enum class Window { kMain, kPanel };
  enum class What { kEnable, kShow };
  Window window;
  int id;
  What what;
  bool on;

  bool operator==(const ControlChange&) const = default;
};
using ControlChanges = std::vector<ControlChange>;

// What the status handler decided for one status word.
struct StatusOutcome {
  ControlChanges changes;
  // The camera's video format differs from the one at start-up: the
  // program stops streaming and ends.
  bool formatChanged = false;
};

// What the camera's state at the handler's run means for the buttons.
struct StatusInputs {
  uint32_t status = 0;
  bool aspect43 = true;
  bool modelVariant = false;
  bool monitorFitsOneToOne = true;  // at least 1280 x the frame height
  bool largeMode = false;
};

// The status handler's decisions for one displayed frame pair. Reads and
// updates `previousStatus` (g_Prev_Status); no widget is touched. Safe on
// the status thread.
StatusOutcome HandleStatusWord(const StatusInputs& inputs, std::atomic<uint32_t>& previousStatus);

// Bit 13 set: capture, list A on and Activate off; clear: the reverse.
ControlChanges EnableRoutine(bool functionsActive);
// The buttons when a picture is to be held, and when live view resumes.
ControlChanges ButtonsEnteringCapture(bool largeMode);
ControlChanges ButtonsResumingLive(bool largeMode);
// The video format has changed: everything but exit goes dark.
ControlChanges StopRoutine(bool largeMode);
// The first states at start-up, from the status word read then.
ControlChanges FirstButtonStates(uint32_t status);

}  // namespace rd420::viewer
