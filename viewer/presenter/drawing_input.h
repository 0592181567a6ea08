#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <optional>

#include "viewer/main_window.h"
#include "viewer/presenter/drawing.h"
#include "viewer/presenter/presenter_actions.h"

namespace rd420::viewer {

// Draws on the picture while a drawing tool is checked: the mouse, a pen
// tablet and the first touch point, on the picture control (half mode) or
// the main window (1:1 and full screen, where it paints the picture
// itself), mapped back to picture coordinates. A press in the picture then
// draws instead of moving the window. Also runs undo, redo and clear, and
// keeps them enabled only when they can act. Thread-bound: the GUI thread.
class DrawingInput : public QObject {
 public:
  DrawingInput(MainWindow& main, const PresenterActions& actions);

  Drawing& Marks() { return drawing_; }
  // The text tool's line edit while it is open; null otherwise.
  QLineEdit* Label() const { return label_.data(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Phase { kBegin, kContinue, kEnd };
  // False when the event is not the tools' (no tool, outside the picture).
  bool Handle(Phase phase, QPointF atWindow);
  // Picture coordinates of a point of the main window; nullopt before the
  // first frame, or with `inside` when it lies off the picture.
  std::optional<QPointF> ToPicture(QPointF atWindow, bool inside) const;
  void EraseTo(QPointF at);
  void OpenLabel(QPointF atWindow, QPointF anchor);
  void CloseLabel(bool commit);
  bool LabelKey(QObject* watched, QEvent* event);
  void UpdateActions();

  MainWindow& main_;
  const PresenterActions& actions_;
  Drawing drawing_;
  bool active_ = false;  // a gesture started in the picture goes on
  std::optional<Mark> stroke_;
  std::optional<QPointF> eraserAt_;
  bool erasedInGesture_ = false;
  QPointer<QLineEdit> label_;
  QPointF labelAnchor_;
  // Sees the keys before the viewer's own filter, which takes Return, Esc
  // and Space from its windows, while the label is open.
  std::unique_ptr<QObject> labelKeys_;
};

}  // namespace rd420::viewer
