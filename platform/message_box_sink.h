#pragma once

namespace rd420 {

// Shows the program's messages as modal boxes on the GUI thread. A worker
// thread waits until the user has answered, unless the program is ending
// (the GUI thread may then be waiting for that worker), when the message
// goes to standard error instead. Install on the GUI thread after the
// QApplication exists.
void InstallMessageBoxSink();
// True from the start of the program's ending; a program that starts
// again sets it back to false.
void SetMessageBoxesEnding(bool ending);

}  // namespace rd420
