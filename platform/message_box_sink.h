#pragma once

#include <functional>
#include <memory>

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
// Boxes that hold no one up, for a guest in another program's application
// (the data source): a message shows a box that is not modal and returns at
// once, from any thread, so neither the application's call nor a worker
// waits for the user. Where boxes are not wanted the message is only
// traced, or written to standard error. Sink is thread-safe; the rest
// runs on the GUI thread, which the object lives on.
class ModelessMessageBoxes {
 public:
  enum class Route { kBox, kStandardError, kTrace };

  // `ownerOf` as for MessageBoxSink.
  explicit ModelessMessageBoxes(std::function<QWidget*(const void* owner)> ownerOf);
  // Closes the boxes still up; messages then go to standard error.
  ~ModelessMessageBoxes();
  ModelessMessageBoxes(const ModelessMessageBoxes&) = delete;
  ModelessMessageBoxes& operator=(const ModelessMessageBoxes&) = delete;

  MessageSink Sink() const;
  // Where the messages from now on go.
  void SetRoute(Route route);
  // Closes every box still up.
  void CloseAll();

 private:
  struct State;
  std::shared_ptr<State> state_;
};
// True from the start of the program's ending; a program that starts
// again sets it back to false.
void SetMessageBoxesEnding(bool ending);

}  // namespace rd420
