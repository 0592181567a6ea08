#pragma once

#include <memory>

#include "devlink/still_capture.h"
#include "viewer/viewer.h"

namespace rd420::stills {
class StillDialogs;
}

namespace rd420::viewer {

// Save and print of the held still to files and printers, through the
// viewer's windows and settings; `dialogs` null: Qt's.
std::unique_ptr<StillActions> ProgramStillActions(Viewer& viewer,
                                                  stills::StillDialogs* dialogs = nullptr);

// The program: the single-instance lock, then the viewer until it ends.
// Returns the process's exit code, 0 in every case.
int RunViewerProgram(Viewer::Options options);

}  // namespace rd420::viewer
