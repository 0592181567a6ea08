#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include "viewer/button_table.h"

namespace rd420::viewer {

// The object name a control is found by: "ctrl" and its id.
QString ControlName(int id);
// A skin button of `window` by the viewer's id for it (the data source
// shows some under ids of its own); null when there is none.
class SkinButton;
SkinButton* FindButton(const QWidget* window, int id);
// The skin picture of a bitmap number; null for 0 or a missing picture.
QPixmap SkinPicture(int number);

// A push button drawn from its skin pictures by the original's rule:
// disabled shows the disabled picture (nothing when there is none),
// pressed the pressed picture, otherwise the normal one. GUI thread only.
class SkinButton : public QAbstractButton {
  Q_OBJECT

 public:
  SkinButton(const ButtonSpec& spec, QWidget* parent);

  const ButtonSpec& Spec() const { return spec_; }
  // The capture button changes its pictures with the capture state.
  void SetPictures(int normal, int pressed, int disabled);
  int NormalPicture() const { return normalNumber_; }

  // A hold button's flag: set by the press, cleared by the release.
  bool held = false;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ButtonSpec spec_;
  int normalNumber_ = 0;
  QPixmap normal_;
  QPixmap pressed_;
  QPixmap disabled_;
};

}  // namespace rd420::viewer
