#pragma once

#include <functional>

#include "platform/message.h"

class QWidget;

namespace rd420 {

// Shows the program's messages as modal boxes on the GUI thread. A worker
// thread waits until the user has answered, unless the program is ending
// (the GUI thread may then be waiting for that worker), when the message
// goes to standard error instead. Install on the GUI thread after the
// QApplication exists.
void InstallMessageBoxSink();
// The same boxes, for a program that is a guest in another's application:
// `ownerOf` turns the owner a message names into a widget, or null when it
// is none of ours (it runs on the GUI thread). Once no application exists
// the messages go to standard error.
MessageSink MessageBoxSink(std::function<QWidget*(const void* owner)> ownerOf);
// True from the start of the program's ending; a program that starts
// again sets it back to false.
void SetMessageBoxesEnding(bool ending);

}  // namespace rd420
