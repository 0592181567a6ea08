#pragma once

#include <QWidget>

#include "viewer/main_window.h"
#include "viewer/presenter/presenter_actions.h"

namespace rd420::viewer {

// The presenter's tool strip: a small frameless tool window in the
// viewer's skin with a button for every presenter action, standing beside
// the main window. F3 and the column button 2200, which it puts under the
// top group of the main window's column, open and close it. Closing it
// puts the drawing tool down; the drawing stays. Thread-bound: the GUI
// thread.
class ToolStrip : public QWidget {
 public:
  ToolStrip(MainWindow& main, const PresenterActions& actions);
  ~ToolStrip() override;

  SkinButton* ColumnButton() const { return columnButton_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void AddGroup(const char* caption, std::initializer_list<PresenterAction> ids, int perRow);
  // Beside the main window on its monitor: right of it, else left, else
  // inside the monitor's right edge.
  void Place();
  void FollowAbove();

  MainWindow& main_;
  const PresenterActions& actions_;
  SkinButton* above_;  // the last button of the column's top group
  SkinButton* columnButton_;
};

}  // namespace rd420::viewer
