#include "viewer/control_panel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QWindow>

#include "viewer/control_ids.h"

namespace rd420::viewer {
namespace {

// A static picture control.
QLabel* Picture(QWidget* parent, int id, int bitmap, QRect geometry) {
  auto* label = new QLabel(parent);
  label->setObjectName(ControlName(id));
  label->setPixmap(SkinPicture(bitmap));
  label->setGeometry(geometry);
  return label;
}

}  // namespace

ControlPanel::ControlPanel(bool modelVariant, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
  setWindowTitle(QStringLiteral("Control Panel"));
  setFixedSize(642, 130);
  Picture(this, modelVariant ? kIdPanelBackgroundVariant : kIdPanelBackground,
          modelVariant ? kBitmapPanelVariant : kBitmapPanel, rect());

  // Indicator pairs share a place; the status handler shows one of each.
  const struct {
    int id;
    int bitmap;
    int x, y;
  } indicators[] = {
      {kIdFreezeDim, 307, 495, 72},   {kIdFreezeLit, 312, 495, 72}, {kIdApertureDim, 308, 555, 72},
      {kIdApertureLit, 313, 555, 72}, {kIdInternal, 309, 495, 90},  {kIdExternal, 314, 495, 90},
      {kIdLampLit, 310, 555, 90},     {kIdLampDim, 315, 555, 90},
  };
  for (const auto& indicator : indicators) {
    Picture(this, indicator.id, indicator.bitmap, {indicator.x, indicator.y, 60, 18});
  }
  findChild<QLabel*>(ControlName(kIdFreezeLit))->hide();

  for (const ButtonSpec& spec : PanelButtons()) {
    new SkinButton(spec, this);
  }
  if (modelVariant) {
    Button(kIdActivate)->hide();
  }
  Button(kIdHalf)->setEnabled(false);
  Button(kIdHalf)->hide();
}

void ControlPanel::mousePressEvent(QMouseEvent* event) {
  // The top 12 rows are the panel's title bar.
  if (event->button() == Qt::LeftButton && event->position().y() < 12 && windowHandle()) {
    windowHandle()->startSystemMove();
  }
}

void ControlPanel::showEvent(QShowEvent*) {
  emit shown();
}

}  // namespace rd420::viewer
