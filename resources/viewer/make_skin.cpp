// Draws every viewer skin bitmap as <number>.png into the directory given as argv[1].
// The normal build compiles it (target make_skin) so it keeps building; scripts/make-skin
// runs it, and the PNGs it writes are checked in, so the viewer never depends on font
// rendering at run time.
#include <QDir>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "resources/skin_style.h"
#include "resources/viewer/position_pictures.h"

using rd420::kPositionPictures;

namespace {

using namespace rd420::skin;

enum class State { kNormal, kPressed, kDisabled };
// kSave marks the preset-store buttons so they cannot be mistaken for recall; kHeld is the
// amber look of the capture button while a picture is held.
enum class Look { kPlain, kSave, kHeld };
enum class Glyph {
  kText,
  kCross,
  kCorners,
  kSliders,
  kDisk,
  kGear,
  kMinimise,
  kShutter,
  kPause,
  kPen
};

struct Button {
  int w, h;
  const char* label;
  Glyph glyph;
  Look look;
  int normal, pressed, disabled;  // -1 where the viewer has no such picture
};

// clang-format off
constexpr Button kButtons[] = {
    // Main window column, on a black window.
    {17, 17, "",    Glyph::kCross,    Look::kPlain, 235, 236, -1},
    {17, 17, "",    Glyph::kCorners,  Look::kPlain, 237, 238, 340},
    {17, 17, "1:1", Glyph::kText,     Look::kPlain, 231, 232, 339},
    {17, 17, "",    Glyph::kSliders,  Look::kPlain, 233, 234, 401},
    {17, 17, "W",   Glyph::kText,     Look::kPlain, 444, 446, 445},
    {17, 17, "T",   Glyph::kText,     Look::kPlain, 441, 443, 442},
    {17, 17, "",    Glyph::kDisk,     Look::kPlain, 450, 452, 451},
    {17, 17, "A",   Glyph::kText,     Look::kPlain, 432, 434, 433},
    {17, 17, "",    Glyph::kMinimise, Look::kPlain, 407, 408, -1},
    {17, 17, "i",   Glyph::kText,     Look::kPlain, 420, 421, -1},
    {17, 17, "",    Glyph::kGear,     Look::kPlain, 424, 426, -1},
    {17, 17, "",    Glyph::kPen,      Look::kPlain, 480, 481, 482},
    // Control panel.
    {34, 16, "TELE",  Glyph::kText, Look::kPlain, 132, 135, 341},
    {34, 16, "WIDE",  Glyph::kText, Look::kPlain, 133, 134, 342},
    {34, 16, "IRIS-", Glyph::kText, Look::kPlain, 136, 137, 343},
    {34, 16, "IRIS+", Glyph::kText, Look::kPlain, 138, 139, 344},
    {34, 16, "AF",    Glyph::kText, Look::kPlain, 141, 174, 336},
    {34, 16, "AWC",   Glyph::kText, Look::kPlain, 142, 175, 335},
    {34, 16, "NEAR",  Glyph::kText, Look::kPlain, 143, 177, 346},
    {34, 16, "FAR",   Glyph::kText, Look::kPlain, 144, 176, 345},
    {34, 16, "B-",    Glyph::kText, Look::kPlain, 145, 178, 348},
    {34, 16, "B+",    Glyph::kText, Look::kPlain, 146, 179, 347},
    {34, 16, "R-",    Glyph::kText, Look::kPlain, 147, 181, 350},
    {34, 16, "R+",    Glyph::kText, Look::kPlain, 148, 180, 349},
    {34, 16, "TEXT",  Glyph::kText, Look::kPlain, 152, 185, 354},
    {34, 16, "INT",   Glyph::kText, Look::kPlain, 155, 187, 355},
    {34, 16, "LAMP",  Glyph::kText, Look::kPlain, 469, 471, 470},
    {34, 16, "FRZ",   Glyph::kText, Look::kPlain, 153, 186, 353},
    {34, 16, "SAVE",  Glyph::kText, Look::kPlain, 219, 221, 222},
    {34, 16, "PRINT", Glyph::kText, Look::kPlain, 220, 223, 224},
    {73, 16, "ACTIVE",      Glyph::kText, Look::kPlain, 466, 468, 467},
    {73, 16, "AVI CAPTURE", Glyph::kText, Look::kPlain, 475, 477, 476},
    {18, 16, "1", Glyph::kText, Look::kSave,  208, 200, 166},
    {18, 16, "2", Glyph::kText, Look::kSave,  209, 201, 167},
    {18, 16, "3", Glyph::kText, Look::kSave,  210, 202, 168},
    {18, 16, "4", Glyph::kText, Look::kSave,  211, 203, 169},
    {18, 16, "1", Glyph::kText, Look::kPlain, 212, 204, 170},
    {18, 16, "2", Glyph::kText, Look::kPlain, 213, 205, 171},
    {18, 16, "3", Glyph::kText, Look::kPlain, 214, 206, 172},
    {18, 16, "4", Glyph::kText, Look::kPlain, 215, 207, 173},
    {34, 34, "CAP",  Glyph::kShutter, Look::kPlain, 216, 217, 218},
    {34, 34, "HELD", Glyph::kPause,   Look::kHeld,  333, 334, -1},
    {35, 11, "HALF", Glyph::kText,  Look::kPlain, 366, 368, 367},
    {11, 11, "",     Glyph::kCross, Look::kPlain, 405, 406, 417},
};

// Status indicators come in pairs sharing one place; the colour tells them apart at a glance.
struct Indicator {
  int number;
  const char* label;
  bool lit;
  QRgb colour;
};
constexpr Indicator kIndicators[] = {
    {307, "FREEZE", false, 0xff4fc3f7}, {312, "FREEZE", true, 0xff4fc3f7},
    {313, "APER",   true,  0xff7bd88f}, {308, "APER",   false, 0xff7bd88f},
    {309, "INTERNAL", true, 0xff5fd3c4}, {314, "EXTERNAL", true, 0xfff0a830},
    {310, "LAMP",   true,  0xfff5d443}, {315, "LAMP",   false, 0xfff5d443},
};

struct Group {
  QRect area;
  const char* caption;
};
const Group kGroups[] = {
    {{60, 20, 90, 92}, "ZOOM / IRIS / COLOR"},
    {{220, 20, 85, 92}, "CAPTURE / FOCUS"},
    {{378, 20, 84, 92}, "MODE"},
    {{488, 66, 132, 46}, "STATUS"},
    {{534, 20, 82, 47}, "PRESET"},  // ends on STATUS's top line, so the two share it
};
// clang-format on

const QColor kAmber(0xd9, 0x93, 0x1f);

struct Palette {
  QColor body, border, ink;
};

Palette paletteFor(State state, Look look) {
  if (state == State::kDisabled)
    return {QColor(0x20, 0x23, 0x29), QColor(0x31, 0x35, 0x3c), QColor(0x5a, 0x60, 0x6a)};
  if (look == Look::kHeld)
    return state == State::kPressed
               ? Palette{kAmber.darker(160), kAmber, QColor(0xff, 0xe7, 0xb8)}
               : Palette{kAmber, kAmber.lighter(130), QColor(0x1b, 0x1d, 0x21)};
  if (state == State::kPressed)
    return {kAccent, kAccent.lighter(140), Qt::white};
  return {kCharcoal, QColor(0x4b, 0x52, 0x5d), kInk};
}

// Largest bold font up to `px` whose rendering of `text` fits in `width`.
QFont fittedFont(const QString& text, qreal width, int px) {
  for (; px > 7; --px)
    if (QFontMetricsF(uiFont(px)).horizontalAdvance(text) <= width)
      break;
  return uiFont(px);
}

// Centres capitals on `box` by their cap height; centring the full line box would put
// caps-only labels visibly high.
void drawLabel(QPainter& p, const QRectF& box, const QString& text, const QFont& font) {
  const QFontMetricsF fm(font);
  const qreal x = box.center().x() - fm.horizontalAdvance(text) / 2;
  const qreal y = box.center().y() + fm.capHeight() / 2;
  p.setFont(font);
  p.drawText(QPointF(qRound(x), qRound(y)), text);
}

void drawBody(QPainter& p, const QRectF& r, const Palette& c, State state, qreal radius) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  // A pressed key is lit from below, the raised ones from above.
  g.setColorAt(0, state == State::kPressed ? c.body.darker(115) : c.body.lighter(118));
  g.setColorAt(1, state == State::kPressed ? c.body.lighter(110) : c.body.darker(110));
  p.setPen(QPen(c.border, 1));
  p.setBrush(g);
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// Glyphs are drawn in a square `b`, so the same code serves 17x17, 11x11 and 34x34.
void drawGlyph(QPainter& p, Glyph glyph, const QRectF& b, const QColor& ink) {
  const qreal u = b.width() / 9.0;  // one unit of the 9x9 design grid
  auto at = [&](qreal x, qreal y) { return QPointF(b.left() + x * u, b.top() + y * u); };
  p.setPen(QPen(ink, qMax(1.0, 1.3 * u), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  switch (glyph) {
    case Glyph::kCross:
      p.setPen(QPen(ink, 1.6 * u, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(at(0.5, 0.5), at(8.5, 8.5));
      p.drawLine(at(8.5, 0.5), at(0.5, 8.5));
      break;
    case Glyph::kCorners:
      for (const QPointF& c : {at(0.5, 0.5), at(8.5, 0.5), at(8.5, 8.5), at(0.5, 8.5)}) {
        const qreal sx = c.x() < b.center().x() ? 3 * u : -3 * u;
        const qreal sy = c.y() < b.center().y() ? 3 * u : -3 * u;
        p.drawPolyline(QPolygonF({c + QPointF(sx, 0), c, c + QPointF(0, sy)}));
      }
      break;
    case Glyph::kSliders:
      p.setPen(QPen(ink, u));
      for (int i = 0; i < 3; ++i)
        p.drawLine(at(0, 1.5 + 3 * i), at(9, 1.5 + 3 * i));
      p.setBrush(ink);
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 3; ++i) {
        const qreal knob[] = {1.5, 5.5, 3};  // staggered, like faders at work
        p.drawRect(QRectF(at(knob[i], 3 * i), QSizeF(2 * u, 3 * u)));
      }
      break;
    case Glyph::kDisk:
      p.setPen(QPen(ink, u));
      p.drawPolygon(QPolygonF({at(0.5, 0.5), at(7, 0.5), at(8.5, 2), at(8.5, 8.5), at(0.5, 8.5)}));
      p.setBrush(ink);
      p.drawRect(QRectF(at(2.5, 0.5), at(6, 3)));  // shutter
      p.drawRect(QRectF(at(2, 5.5), at(7, 8.5)));  // label
      break;
    case Glyph::kGear:  // eight teeth round an open ring
      p.setPen(QPen(ink, 1.6 * u, Qt::SolidLine, Qt::FlatCap));
      for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(b.center());
        p.rotate(45 * i);
        p.drawLine(QPointF(2.5 * u, 0), QPointF(4.6 * u, 0));
        p.drawLine(QPointF(-2.5 * u, 0), QPointF(-4.6 * u, 0));
        p.restore();
      }
      p.setPen(QPen(ink, 1.5 * u));
      p.drawEllipse(b.center(), 2.6 * u, 2.6 * u);
      break;
    case Glyph::kMinimise:
      p.fillRect(QRectF(at(1, 7), at(8, 8.5)), ink);
      break;
    case Glyph::kShutter:
      p.setPen(QPen(ink, u));
      p.drawRoundedRect(QRectF(at(0.5, 2), at(8.5, 8)), u, u);
      p.drawRect(QRectF(at(2.5, 0.8), at(5, 2)));
      p.drawEllipse(at(4.5, 5), 1.8 * u, 1.8 * u);
      break;
    case Glyph::kPause:
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawRect(QRectF(at(1.5, 1), at(3.8, 8)));
      p.drawRect(QRectF(at(5.2, 1), at(7.5, 8)));
      break;
    case Glyph::kPen:  // a pencil slanting down to the left, over the line it drew
      p.setPen(QPen(ink, 1.8 * u, Qt::SolidLine, Qt::FlatCap));
      p.drawLine(at(7.8, 1.2), at(2.6, 6.4));
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawPolygon(QPolygonF({at(1.9, 5.7), at(3.3, 7.1), at(0.8, 8.2)}));
      p.setPen(QPen(ink, 0.8 * u));
      p.drawLine(at(4.5, 8.5), at(8.5, 8.5));
      break;
    case Glyph::kText:
      break;
  }
}

QImage newImage(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

QImage drawButton(const Button& b, State state) {
  QImage img = newImage(b.w, b.h);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const Palette c = paletteFor(state, b.look);
  const QRectF r(0, 0, b.w, b.h);
  drawBody(p, r, c, state, b.h >= 16 ? 2.5 : 1.5);
  if (state == State::kPressed)
    p.translate(1, 1);  // the face sinks under the finger
  p.setPen(c.ink);
  const QString label = QString::fromUtf8(b.label);
  if (b.h == 34) {  // capture: glyph above, word below
    drawGlyph(p, b.glyph, QRectF(11, 5, 12, 12), c.ink);
    p.setPen(c.ink);
    drawLabel(p, QRectF(0, 20, b.w, 10), label, fittedFont(label, b.w - 4, 10));
  } else if (b.glyph != Glyph::kText) {
    const qreal side = b.w >= 17 ? 9 : 5;
    const qreal o = (b.w - side) / 2;
    drawGlyph(p, b.glyph, QRectF(o, o, side, side), c.ink);
  } else if (b.look == Look::kSave) {
    drawLabel(p, r.adjusted(0, 0, 0, -3), label, uiFont(10));
    const QColor mark = state == State::kDisabled ? c.ink : kAmber.lighter(120);
    p.fillRect(QRectF(b.w / 2 - 4, b.h - 4, 8, 2), mark);
  } else {
    const int px = b.h <= 11 ? 9 : b.w == 17 ? (label.size() > 1 ? 9 : 11) : 10;
    drawLabel(p, r, label, fittedFont(label, b.w - 4, px));
  }
  return img;
}

QImage drawIndicator(const Indicator& ind) {
  QImage img = newImage(60, 18);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = QColor::fromRgb(ind.colour);
  const QColor body = QColor(0x1f, 0x22, 0x27);
  QColor fill = body;
  if (ind.lit)  // a dark wash of the lamp colour over the charcoal
    fill = QColor((body.red() * 3 + colour.red()) / 4, (body.green() * 3 + colour.green()) / 4,
                  (body.blue() * 3 + colour.blue()) / 4);
  p.setPen(ind.lit ? colour.darker(130) : QColor(0x33, 0x37, 0x3e));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, 59, 17), 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(ind.lit ? colour : QColor(0x3a, 0x3f, 0x47));
  p.drawEllipse(QPointF(7, 9), 2.5, 2.5);
  const QString label = QString::fromUtf8(ind.label);
  p.setPen(ind.lit ? colour.lighter(125) : QColor(0x6a, 0x70, 0x7a));
  drawLabel(p, QRectF(11, 0, 48, 18), label, fittedFont(label, 46, 10));
  return img;
}

void drawGroup(QPainter& p, const Group& g, const QColor& line, const QColor& text,
               const QColor& behind) {
  p.setPen(QPen(line, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(g.area).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  const QString caption = QString::fromUtf8(g.caption);
  const QFont font = fittedFont(caption, g.area.width() - 10, 8);
  const qreal w = QFontMetricsF(font).horizontalAdvance(caption);
  // Break the frame line behind the caption, as a group box does.
  p.fillRect(QRectF(g.area.left() + 4, g.area.top(), w + 4, 1), behind);
  p.setPen(text);
  drawLabel(p, QRectF(g.area.left() + 6, g.area.top() - 3.5, w, 8), caption, font);
}

QImage drawPanel(bool variant) {
  QImage img = newImage(642, 130);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // The variant model is told apart by a slightly greener tint and a teal title rule.
  const QColor base = variant ? QColor(0x23, 0x29, 0x29) : QColor(0x23, 0x27, 0x2d);
  const QColor rule = variant ? QColor(0x2a, 0xa5, 0x98) : kAccent;
  QLinearGradient g(0, 0, 0, 130);
  g.setColorAt(0, base.lighter(110));
  g.setColorAt(1, base.darker(110));
  p.fillRect(img.rect(), g);
  p.fillRect(QRect(0, 0, 642, 12), base.lighter(135));  // title strip: the drag handle
  p.fillRect(QRect(0, 11, 642, 1), rule);
  p.setPen(QColor(0x9a, 0xa3, 0xae));
  p.setFont(uiFont(9));
  p.drawText(QPointF(6, 9), "Control Panel");
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x6a, 0x72, 0x7d));  // grip dots say "drag here"
  for (int i = 0; i < 6; ++i)
    p.drawEllipse(QPointF(600 + 5 * i, 6), 1, 1);
  const QColor line(0x3e, 0x44, 0x4e), text(0x84, 0x8c, 0x98);
  for (const Group& grp : kGroups)
    drawGroup(p, grp, line, text, base);
  p.setPen(QColor(0x3a, 0x3f, 0x48));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, 641, 129));
  return img;
}

QImage drawSplash() {
  QImage img = newImage(502, 283);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  fillBackdrop(p, img.rect());
  QFont title = uiFont(56);
  title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
  // Centre icon and name together; letter spacing also pads after the last letter.
  const qreal titleWidth = QFontMetricsF(title).horizontalAdvance("TORVELA") - 4;
  const int left = qRound((502 - (96 + 22 + titleWidth)) / 2);
  const int text = left + 96 + 22;
  drawCamera(p, QRectF(left, 80, 96, 96));
  p.setFont(title);
  p.setPen(QColor(0xf0, 0xf2, 0xf5));
  p.drawText(QPointF(text, 144), "TORVELA");
  p.fillRect(QRectF(text + 2, 156, titleWidth - 2, 2), kAccent);
  p.setFont(uiFont(18, false));
  p.setPen(QColor(0xa9, 0xb1, 0xbc));
  p.drawText(QPointF(text + 2, 184), "RD-420 Document Camera");
  p.setFont(uiFont(11, false));
  p.setPen(QColor(0x7d, 0x85, 0x91));
  p.drawText(QPointF(16, 266), "Starting...");
  p.setPen(QColor(0x3a, 0x40, 0x4a));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, 501, 282));
  return img;
}

}  // namespace

// The page-setup dialog's nine position buttons: a sheet with the picture
// in its place; pressed is the same sheet inverted.

QImage drawPosition(int position, bool pressed) {
  QImage img = newImage(24, 24);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor sheet = pressed ? kCharcoal : kInk;
  const QColor mark = pressed ? kAmber : kAccent;
  p.setPen(QPen(pressed ? kAmber : kCharcoal, 1));
  p.setBrush(sheet);
  p.drawRect(QRectF(3.5, 1.5, 17, 21));
  const int column = (position - 1) % 3;
  const int row = (position - 1) / 3;
  p.setPen(Qt::NoPen);
  p.setBrush(mark);
  p.drawRect(QRectF(5 + column * 5, 3.5 + row * 6, 4, 5));
  return img;
}

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_skin OUTPUT_DIR\n");
    return 2;
  }
  // Another font would silently change every bitmap; refuse rather than drift.
  const QString family = QFontInfo(uiFont(10)).family();
  if (family != "Liberation Sans") {
    std::fprintf(stderr, "make_skin: Liberation Sans not found (got %s)\n", qPrintable(family));
    return 1;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath("."))
    return 1;
  int written = 0;
  bool ok = true;
  auto save = [&](int number, const QImage& img) {
    if (number < 0)
      return;
    ok = img.save(out.filePath(QString::number(number) + ".png"), "PNG") && ok;
    ++written;
  };
  for (const Button& b : kButtons) {
    save(b.normal, drawButton(b, State::kNormal));
    save(b.pressed, drawButton(b, State::kPressed));
    save(b.disabled, drawButton(b, State::kDisabled));
  }
  for (const Indicator& ind : kIndicators)
    save(ind.number, drawIndicator(ind));
  save(131, drawPanel(false));
  save(478, drawPanel(true));
  save(306, drawSplash());
  QImage icon = newImage(48, 48);
  {
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    drawCamera(p, QRectF(0, 0, 48, 48));
  }
  save(239, icon);
  for (int position = 1; position <= 9; ++position) {
    save(kPositionPictures[position - 1][0], drawPosition(position, false));
    save(kPositionPictures[position - 1][1], drawPosition(position, true));
  }
  std::printf("make_skin: %d bitmaps in %s\n", written, qPrintable(out.absolutePath()));
  return ok ? 0 : 1;
}
