// The dialog's controls: one table of ids, kinds, texts and places in
// dialog units, converted to pixels with one pair of base units.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "avicap/capture_dialog.h"
#include "avicap/control_ids.h"

namespace rd420::avicap {
namespace {

// Arial 9 pt at 96 dpi gives base units of 7 x 15 pixels: 4 dialog units
// across and 8 down are one base unit. The 366-unit dialog is then 640
// pixels wide, the preview's width, and the controls start below it.
constexpr int kBaseX = 7;
constexpr int kBaseY = 15;
int PixelsX(int units) {
  return (units * kBaseX + 2) / 4;
}
int PixelsY(int units) {
  return (units * kBaseY + 4) / 8;
}

enum class Kind { kStatic, kButton, kGroup, kCheck, kEdit, kDigits, kRadio, kImage };

struct ControlEntry {
  int id;  // 0: the control has none
  Kind kind;
  const char* text;
  int left, top, width, height;  // dialog units
  bool visible;
};

constexpr ControlEntry kControls[] = {
    {kIdPreview, Kind::kStatic, "", 0, 0, 207, 119, true},
    {kIdCapture, Kind::kButton, "&Capture", 190, 353, 41, 23, true},
    {kIdStop, Kind::kButton, "&Stop", 287, 353, 34, 23, true},
    {kIdExit, Kind::kButton, "E&xit", 323, 353, 30, 23, true},
    {kIdVadizivid, Kind::kButton, "&VADIZIVID", 233, 353, 52, 23, true},
    {0, Kind::kGroup, " Time ", 13, 264, 120, 53, true},
    {kIdTimeLimit, Kind::kCheck, "Capture Time Limits", 26, 286, 88, 11, true},
    {kIdTimeLabel, Kind::kStatic, "Time:", 26, 302, 24, 9, true},
    {kIdMinutes, Kind::kDigits, "", 50, 301, 24, 12, true},
    {kIdMinutesLabel, Kind::kStatic, "Minutes", 77, 302, 26, 9, true},
    {kIdEstimate, Kind::kStatic, "Static", 25, 274, 84, 10, true},
    {0, Kind::kGroup, " Video ", 145, 264, 103, 53, true},
    {kIdVideoNone, Kind::kRadio, "No Compression", 158, 281, 67, 14, true},
    {kIdVideoXvid, Kind::kRadio, "MPEG-4 (Xvid)", 158, 297, 60, 12, true},
    {kIdVideoLowQuality, Kind::kRadio, "MPEG-4 (Low Quality)", 199, 248, 106, 15, false},
    {0, Kind::kGroup, " Audio ", 258, 264, 94, 53, true},
    {kIdAudioPcm, Kind::kRadio, "No Compression", 271, 281, 67, 14, true},
    {kIdAudioAdpcm, Kind::kRadio, "MS ADPCM", 271, 297, 60, 12, true},
    {kIdRotate, Kind::kCheck, "Rotate Image 180 dgrees", 12, 323, 129, 9, true},
    {kIdLocalTime, Kind::kCheck, "Display Local Time in AVI File", 12, 333, 112, 12, true},
    {kIdShowCaption, Kind::kCheck, "Display User Caption in AVI File", 12, 345, 143, 11, true},
    {kIdCaption, Kind::kEdit, "", 11, 360, 146, 12, true},
    {0, Kind::kStatic, "REC", 294, 321, 23, 8, true},
    {kIdIdleIndicator, Kind::kImage, "", 296, 330, 19, 18, true},
    {kIdRecordIndicator, Kind::kImage, "", 296, 330, 19, 18, true},
    {kIdElapsed, Kind::kStatic, "00:00:00", 323, 335, 29, 8, true},
    // The frame-rate controls are kept hidden; nothing reads them.
    {kIdFrameRateLabel, Kind::kStatic, "Frame Rate :", 197, 235, 40, 9, false},
    {kIdFrameRate, Kind::kDigits, "", 239, 234, 20, 12, false},
    {0, Kind::kStatic, "frame/sec (5~20)", 262, 235, 60, 9, false},
};

QWidget* MakeControl(const ControlEntry& entry, QWidget* parent) {
  const QString text = QString::fromUtf8(entry.text);
  switch (entry.kind) {
    case Kind::kButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);  // Enter with no button focused is the dialog's OK
      return button;
    }
    case Kind::kGroup:
      return new QGroupBox(text, parent);
    case Kind::kCheck:
      return new QCheckBox(text, parent);
    case Kind::kRadio:
      return new QRadioButton(text, parent);
    case Kind::kEdit:
      return new QLineEdit(text, parent);
    case Kind::kDigits: {
      auto* edit = new QLineEdit(text, parent);
      edit->setAlignment(Qt::AlignRight);
      edit->setMaxLength(4);
      edit->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
      return edit;
    }
    case Kind::kImage: {
      auto* label = new QLabel(parent);
      label->setPixmap(
          QPixmap(ResourcePath(entry.id == kIdIdleIndicator ? kBitmapIdle : kBitmapRecording)));
      return label;
    }
    case Kind::kStatic:
      break;
  }
  auto* label = new QLabel(text, parent);
  if (entry.id == kIdElapsed) {
    label->setAlignment(Qt::AlignCenter);
  }
  return label;
}

}  // namespace

PreviewArea::PreviewArea(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewArea::ShowNewest() {
  newest_.Served();
  ++picturesShown_;
  update();
}

void PreviewArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const NewestPicture<QPoint>::Entry newest = newest_.Newest();
  if (!newest.picture.isNull()) {
    painter.drawImage(newest.placement, newest.picture);
  }
}

void CaptureDlg::BuildControls() {
  setFont(QFont(QStringLiteral("Arial"), 9));
  setFixedSize(PixelsX(366), PixelsY(381));
  auto* video = new QButtonGroup(this);
  auto* audio = new QButtonGroup(this);
  for (const ControlEntry& entry : kControls) {
    QWidget* control = entry.id == kIdPreview ? new PreviewArea(this) : MakeControl(entry, this);
    if (entry.id != 0) {
      control->setObjectName(ControlName(entry.id));
    }
    control->setGeometry(PixelsX(entry.left), PixelsY(entry.top), PixelsX(entry.width),
                         PixelsY(entry.height));
    control->setVisible(entry.visible);
    if (entry.kind == Kind::kRadio) {
      const bool isVideo =
          entry.id == kIdVideoNone || entry.id == kIdVideoXvid || entry.id == kIdVideoLowQuality;
      (isVideo ? video : audio)->addButton(static_cast<QRadioButton*>(control), entry.id);
    }
  }
  preview_ = ControlAs<PreviewArea>(kIdPreview);
  // Moved to the pixel rectangle the pictures are painted in.
  preview_->setGeometry(0, 0, 640, 480);
  preview_->lower();
}

QWidget* CaptureDlg::Control(int id) const {
  return findChild<QWidget*>(ControlName(id));
}

}  // namespace rd420::avicap
