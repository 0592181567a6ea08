#include "viewer/skin_button.h"

#include <QPainter>

namespace rd420::viewer {

QString ControlName(int id) {
  return QStringLiteral("ctrl%1").arg(id);
}

SkinButton* FindButton(const QWidget* window, int id) {
  for (SkinButton* button : window->findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
    if (button->Spec().id == id) {
      return button;
    }
  }
  return nullptr;
}

QPixmap SkinPicture(int number) {
  if (number == 0) {
    return {};
  }
  // Not through QPixmap's cache: that belongs to the first GUI thread of
  // the process, and the data source may run a later one of its own.
  return QPixmap::fromImage(QImage(QStringLiteral(":/viewer/%1.png").arg(number)));
}

SkinButton::SkinButton(const ButtonSpec& spec, QWidget* parent)
    : QAbstractButton(parent), spec_(spec) {
  setObjectName(ControlName(spec.id));
  setGeometry(spec.x, spec.y, spec.width, spec.height);
  setToolTip(QString::fromUtf8(spec.tooltip));
  setFocusPolicy(Qt::NoFocus);
  SetPictures(spec.normal, spec.pressed, spec.disabled);
}

void SkinButton::SetPictures(int normal, int pressed, int disabled) {
  normalNumber_ = normal;
  normal_ = SkinPicture(normal);
  pressed_ = SkinPicture(pressed);
  disabled_ = SkinPicture(disabled);
  update();
}

void SkinButton::paintEvent(QPaintEvent*) {
  const QPixmap& picture = !isEnabled() ? disabled_ : (isDown() ? pressed_ : normal_);
  if (!picture.isNull()) {
    QPainter(this).drawPixmap(rect(), picture);
  }
}

}  // namespace rd420::viewer
