#pragma once

namespace rd420::avicap {

// Shows the program's messages as modal boxes on the GUI thread; a worker
// waits until the user has answered (the GUI thread serves events whenever
// it waits for a worker). Install on the GUI thread after the QApplication
// exists.
void InstallMessageBoxSink();

}  // namespace rd420::avicap
