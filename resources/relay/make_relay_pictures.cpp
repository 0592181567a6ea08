// Draws the relay's two pictures, 550 x 180 at 24 bits, as <number>.png into
// the directory given as argv[1]: 103 the hand-over from the viewer to the
// capture program, 104 the way back. The look, and the viewer's icon, are
// the viewer skin's (resources/skin_style.h). scripts/make-skin runs it;
// the normal build compiles it.
#include <QDir>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>

#include "resources/skin_style.h"

namespace {

using namespace rd420::skin;

constexpr int kWidth = 550;
constexpr int kHeight = 180;
const QColor kRecord(0xe0, 0x3a, 0x32);

// The capture program: a film frame with the record lamp of its icon (128).
void drawCaptureIcon(QPainter& p, const QRectF& box) {
  p.save();
  p.translate(box.topLeft());
  p.scale(box.width() / 48, box.height() / 48);
  drawIconTile(p);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x9a, 0xa3, 0xae));
  p.drawRoundedRect(QRectF(8, 12, 32, 24), 2, 2);
  p.setBrush(QColor(0x22, 0x26, 0x2c));
  for (int i = 0; i < 5; ++i) {  // the film's sprocket holes
    p.drawRect(QRectF(10 + 6 * i, 13.5, 3, 2.5));
    p.drawRect(QRectF(10 + 6 * i, 32, 3, 2.5));
  }
  p.drawRect(QRectF(10, 17.5, 28, 13));
  p.setBrush(kRecord);
  p.drawEllipse(QPointF(24, 24), 4.5, 4.5);
  p.restore();
}

void drawLabel(QPainter& p, qreal centreX, qreal baseline, const QString& text) {
  const QFont font = uiFont(17);
  p.setFont(font);
  p.setPen(kInk);
  const qreal width = QFontMetricsF(font).horizontalAdvance(text);
  p.drawText(QPointF(qRound(centreX - width / 2), baseline), text);
}

// Two arrows from the program letting go towards the one taking over, the
// first one dimmer: the hand-over moves on.
void drawArrows(QPainter& p) {
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 2; ++i) {
    const qreal left = 200 + 80 * i;
    QColor fill = kAccent;
    if (i == 0) {
      fill = fill.darker(150);
    }
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({QPointF(left, 62), QPointF(left + 36, 62), QPointF(left + 36, 50),
                             QPointF(left + 70, 80), QPointF(left + 36, 110),
                             QPointF(left + 36, 98), QPointF(left, 98)}));
  }
}

QImage drawPicture(bool toCapture) {
  QImage img(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  fillBackdrop(p, img.rect());
  const QRectF from(62, 22, 96, 96);
  const QRectF to(392, 22, 96, 96);
  if (toCapture) {
    drawCamera(p, from);
    drawCaptureIcon(p, to);
  } else {
    drawCaptureIcon(p, from);
    drawCamera(p, to);
  }
  drawLabel(p, from.center().x(), 150, toCapture ? "VAD IZIVID" : "AVI CAPTURE");
  drawLabel(p, to.center().x(), 150, toCapture ? "AVI CAPTURE" : "VAD IZIVID");
  drawArrows(p);
  // The thin border of the window without a caption.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(0x5a, 0x62, 0x6e));
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, kWidth - 1, kHeight - 1);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_relay_pictures OUTPUT_DIR\n");
    return 2;
  }
  // Another font would silently change the labels; refuse rather than drift.
  const QString family = QFontInfo(uiFont(17)).family();
  if (family != "Liberation Sans") {
    std::fprintf(stderr, "make_relay_pictures: Liberation Sans not found (got %s)\n",
                 qPrintable(family));
    return 1;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const bool ok = out.mkpath(".") && drawPicture(true).save(out.filePath("103.png"), "PNG") &&
                  drawPicture(false).save(out.filePath("104.png"), "PNG");
  return ok ? 0 : 1;
}
