#pragma once

#include <QWidget>

#include "viewer/skin_button.h"

namespace rd420::viewer {

// The control panel (dialog 130): the camera buttons, the capture, save
// and print buttons and the four status indicator pairs, in a 642 x 130
// window of its own that is dragged by its top 12 rows. GUI thread only.
class ControlPanel : public QWidget {
  Q_OBJECT

 public:
  ControlPanel(bool modelVariant, QWidget* owner);

  SkinButton* Button(int id) const { return FindButton(this, id); }

 signals:
  // The panel became visible or was hidden by its close button.
  void shown();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
};

}  // namespace rd420::viewer
