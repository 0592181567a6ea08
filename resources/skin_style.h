// The look the viewer's skin and the relay's pictures share: palette, font,
// backdrop and the viewer's icon. Only the generators (make_skin,
// make_relay_pictures) use it; the programs load the PNGs they write.
#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>

namespace rd420::skin {

inline const QColor kCharcoal(0x2b, 0x2f, 0x36);
inline const QColor kAccent(0x2f, 0x7f, 0xd0);
inline const QColor kInk(0xe8, 0xeb, 0xf0);

inline QFont uiFont(int px, bool bold = true) {
  QFont f;
  f.setFamilies({"Liberation Sans", "NanumGothic"});
  f.setPixelSize(px);
  f.setBold(bold);
  // Full hinting snaps stems to whole pixels; small labels stay sharp instead of blurry.
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

// The charcoal fading to near black behind the splash and the relay.
inline void fillBackdrop(QPainter& p, const QRect& area) {
  QLinearGradient g(0, 0, 0, area.height());
  g.setColorAt(0, kCharcoal.lighter(115));
  g.setColorAt(1, QColor(0x17, 0x1a, 0x1e));
  p.fillRect(area, g);
}

// The rounded tile an icon sits on, on its 48-unit grid.
inline void drawIconTile(QPainter& p) {
  QLinearGradient bg(0, 0, 0, 48);
  bg.setColorAt(0, QColor(0x3a, 0x40, 0x49));
  bg.setColorAt(1, QColor(0x22, 0x26, 0x2c));
  p.setPen(QPen(QColor(0x55, 0x5d, 0x69), 1));
  p.setBrush(bg);
  p.drawRoundedRect(QRectF(1.5, 1.5, 45, 45), 8, 8);
}

// The viewer's icon, a document camera from the side: base with a sheet, a
// post, and a head looking down; drawn on a 48-unit grid scaled to `box`.
inline void drawCamera(QPainter& p, const QRectF& box) {
  p.save();
  p.translate(box.topLeft());
  p.scale(box.width() / 48, box.height() / 48);
  drawIconTile(p);
  p.setPen(Qt::NoPen);
  QColor cone = kAccent.lighter(150);
  cone.setAlpha(70);
  p.setBrush(cone);  // the light on the page
  p.drawPolygon(QPolygonF({QPointF(29, 19), QPointF(33, 19), QPointF(39, 33), QPointF(20, 33)}));
  p.setBrush(QColor(0x9a, 0xa3, 0xae));
  p.drawRoundedRect(QRectF(7, 35, 35, 5), 1.5, 1.5);  // base
  p.drawRect(QRectF(10, 11, 4, 25));                  // post
  p.drawRect(QRectF(10, 10, 20, 3.5));                // arm
  p.setBrush(Qt::white);
  p.drawRect(QRectF(18, 32, 22, 3));  // the document
  p.setBrush(kAccent);
  p.drawRoundedRect(QRectF(26, 9, 10, 9), 2, 2);  // head
  p.setBrush(kInk);
  p.drawRect(QRectF(29, 18, 4, 2));  // lens
  p.restore();
}

}  // namespace rd420::skin
