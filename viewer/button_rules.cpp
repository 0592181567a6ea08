#include "viewer/button_rules.h"

#include "viewer/button_table.h"
#include "viewer/control_ids.h"
#include "wire/status_word.h"

namespace rd420::viewer {
namespace {

using Window = ControlChange::Window;
using What = ControlChange::What;

void Enable(ControlChanges& changes, Window window, int id, bool on) {
  changes.push_back({window, id, What::kEnable, on});
}
void Show(ControlChanges& changes, int panelId, bool on) {
  changes.push_back({Window::kPanel, panelId, What::kShow, on});
}

template <typename Ids>
void EnableAll(ControlChanges& changes, Window window, const Ids& ids, bool on) {
  for (const int id : ids) {
    Enable(changes, window, id, on);
  }
}

void EnableListA(ControlChanges& changes, bool on) {
  EnableAll(changes, Window::kPanel, kListAPanel, on);
  EnableAll(changes, Window::kMain, kListAMain, on);
}

// Shows `ifSet` and hides `ifClear` when the bit is set, else the reverse.
void ShowPair(ControlChanges& changes, bool set, int ifSet, int ifClear) {
  Show(changes, set ? ifSet : ifClear, true);
  Show(changes, set ? ifClear : ifSet, false);
}

}  // namespace

StatusOutcome HandleStatusWord(const StatusInputs& in, std::atomic<uint32_t>& previousStatus) {
  StatusOutcome outcome;
  const uint32_t status = in.status;
  if (AspectChanged(in.aspect43, status)) {
    outcome.formatChanged = true;
    outcome.changes = StopRoutine(in.largeMode);
  }
  if (IsValidStatus(status) && (status & 0xFFFF) != (previousStatus & 0xFFFF)) {
    ControlChanges& changes = outcome.changes;
    const ControlChanges enable = EnableRoutine((status & kStatusFunctions) != 0);
    changes.insert(changes.end(), enable.begin(), enable.end());
    ShowPair(changes, (status & kStatusApertureOff) != 0, kIdApertureDim, kIdApertureLit);
    ShowPair(changes, (status & kStatusExternal) != 0, kIdExternal, kIdInternal);
    ShowPair(changes, (status & kStatusLamp) != 0, kIdLampLit, kIdLampDim);
    ShowPair(changes, (status & kStatusFreeze) != 0, kIdFreezeLit, kIdFreezeDim);
    if (!in.modelVariant && (status & kStatusFreeze) != 0) {
      EnableAll(changes, Window::kPanel, kFreezeLockPanel, false);
      EnableAll(changes, Window::kMain, kFreezeLockMain, false);
    }
  }
  if (IsValidStatus(status)) {
    previousStatus = status;
  }
  // Last, so that the enable routine above cannot switch it back on for a
  // frame pair on a monitor too small for the 1:1 window.
  if (!in.monitorFitsOneToOne) {
    Enable(outcome.changes, Window::kMain, kIdOneToOne, false);
  }
  return outcome;
}

ControlChanges EnableRoutine(bool functionsActive) {
  ControlChanges changes;
  Enable(changes, Window::kPanel, kIdCapture, functionsActive);
  EnableListA(changes, functionsActive);
  Enable(changes, Window::kPanel, kIdActivate, !functionsActive);
  return changes;
}

ControlChanges ButtonsEnteringCapture(bool largeMode) {
  ControlChanges changes;
  Enable(changes, Window::kPanel, kIdCapture, false);
  EnableListA(changes, false);
  if (largeMode) {
    Enable(changes, Window::kPanel, kIdPanelClose, false);
  }
  return changes;
}

ControlChanges ButtonsResumingLive(bool largeMode) {
  ControlChanges changes;
  Enable(changes, Window::kPanel, kIdSave, false);
  Enable(changes, Window::kPanel, kIdPrint, false);
  if (largeMode) {
    Enable(changes, Window::kPanel, kIdPanelClose, true);
  }
  Enable(changes, Window::kPanel, kIdCapture, true);
  EnableListA(changes, true);
  return changes;
}

ControlChanges StopRoutine(bool largeMode) {
  ControlChanges changes;
  EnableListA(changes, false);
  if (largeMode) {
    Enable(changes, Window::kPanel, kIdPanelClose, false);
  }
  Enable(changes, Window::kPanel, kIdCapture, false);
  Enable(changes, Window::kPanel, kIdSave, false);
  Enable(changes, Window::kPanel, kIdPrint, false);
  return changes;
}

ControlChanges FirstButtonStates(uint32_t status) {
  ControlChanges changes;
  for (const ButtonSpec& spec : PanelButtons()) {
    if (spec.action != ButtonAction::kLocal || spec.id == kIdCaptureProgram) {
      Enable(changes, Window::kPanel, spec.id, true);
    }
  }
  Enable(changes, Window::kPanel, kIdActivate, false);
  Enable(changes, Window::kPanel, kIdFreeze, (status & 0x0C00) != 0);
  const bool active = (status & kStatusFunctions) != 0;
  for (const int id :
       {kIdFullScreen, kIdMainZoomOut, kIdMainZoomIn, kIdQuickSave, kIdMainAutoFocus}) {
    Enable(changes, Window::kMain, id, active);
  }
  Enable(changes, Window::kPanel, kIdCapture, active);
  if (!active) {
    Enable(changes, Window::kMain, kIdOneToOne, false);
  }
  return changes;
}

}  // namespace rd420::viewer
