// Drawing on the live picture: where strokes land in each display mode,
// the history, the eraser, the text label, touch, and the tool strip.
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPointingDevice>
#include <QTabletEvent>

#include "viewer/presenter/presenter_fixture.h"

namespace rd420::viewer::test {
namespace {

using enum PresenterAction;

// The colour a drawing paints at `at` of a 400 x 400 picture.
QRgb PaintedAt(const Drawing& drawing, QPointF at) {
  QImage image(400, 400, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  drawing.Paint(painter, QTransform::fromScale(400, 400), QRectF(image.rect()));
  painter.end();
  return image.pixel((at * 400).toPoint()) & 0xffffff;
}

// Catches: a mark undone and then replaced by a new one that redo or a
// later undo brings back, a new mark lost in its place, or marks that a
// clear leaves counted.
TEST(DrawingHistory, NewMarkAfterUndoDropsTheUndoneOne) {
  const auto line = [](qreal x, QColor colour) {
    return Mark{MarkKind::kLine, colour, 2, {{x, 0.2}, {x, 0.8}}, {}};
  };
  Drawing drawing;
  drawing.Add(line(0.2, Qt::red));
  drawing.Add(line(0.5, Qt::blue));
  drawing.Undo();
  drawing.Add(line(0.8, Qt::green));
  EXPECT_FALSE(drawing.CanRedo());
  EXPECT_EQ(PaintedAt(drawing, {0.5, 0.5}), 0xffffffu);
  EXPECT_EQ(PaintedAt(drawing, {0.8, 0.5}), QColor(Qt::green).rgb() & 0xffffff);
  drawing.Undo();
  drawing.Undo();
  EXPECT_TRUE(drawing.Empty());
  drawing.Redo();
  drawing.Redo();
  EXPECT_EQ(drawing.Shown(), 2);
  EXPECT_EQ(PaintedAt(drawing, {0.2, 0.5}), QColor(Qt::red).rgb() & 0xffffff);
  EXPECT_EQ(PaintedAt(drawing, {0.5, 0.5}), 0xffffffu);
  EXPECT_EQ(PaintedAt(drawing, {0.8, 0.5}), QColor(Qt::green).rgb() & 0xffffff);
  // Cleared, the drawing is empty; drawn on again, it holds the new mark.
  drawing.Clear();
  EXPECT_TRUE(drawing.Empty());
  drawing.Add(line(0.5, Qt::blue));
  EXPECT_EQ(drawing.Shown(), 1);
}

class DrawingTest : public PresenterTest {
 protected:
  bool WaitForMode(uint8_t mode) {
    return WaitFor([&] { return viewer_->Flags().g_Display_Mode == mode; }) &&
           WaitFor([&] { return viewer_->Flags().g_Stream_Run != 0; }) && WaitForPictures(2);
  }
  // Picks the tool, green and thick, and drags the mouse through `points`
  // (the picture control's coordinates, half mode); returns them in
  // picture coordinates.
  std::vector<QPointF> Drag(PresenterAction tool, const std::vector<QPoint>& points) {
    Action(tool)->setChecked(true);
    Action(kGreen)->setChecked(true);
    Action(kThick)->setChecked(true);
    const QTransform toPicture = Main().View()->PictureToWindow()->inverted();
    QWidget* view = Main().View();
    QTest::mousePress(view, Qt::LeftButton, {}, points.front());
    for (size_t i = 1; i < points.size(); ++i) {
      QTest::mouseMove(view, points[i]);
    }
    QTest::mouseRelease(view, Qt::LeftButton, {}, points.back());
    std::vector<QPointF> inPicture;
    for (const QPoint& point : points) {
      inPicture.push_back(toPicture.map(QPointF(point)));
    }
    return inPicture;
  }
  // The shown picture's colour where the mode shows the picture place `at`.
  QRgb ShownAt(QPointF at) {
    const QImage picture = Main().View()->Picture();
    const QPoint shownAt = Main().View()->Newest().Newest().placement.shown.topLeft();
    const QPoint pixel = Main().View()->PictureToWindow()->map(at).toPoint() - shownAt;
    return picture.pixel(pixel) & 0xffffff;
  }
  // Every point of the polyline through `points` is drawn in green.
  bool Drawn(const std::vector<QPointF>& points) {
    for (size_t i = 0; i < points.size(); ++i) {
      const QPointF next = points[std::min(i + 1, points.size() - 1)];
      for (const QPointF& at : {points[i], (points[i] + next) / 2}) {
        if (ShownAt(at) != kGreenInk) {
          return false;
        }
      }
    }
    return true;
  }
  static constexpr QRgb kGreenInk = 0x43a047;
};

// Catches: strokes kept in window coordinates (they would slide off their
// place of the page, or vanish, when the mode changes) and a column
// button that does not follow the column the modes move and hide.
TEST_F(DrawingTest, StrokeStaysOnItsPlaceOfThePageInEveryMode) {
  const std::vector<QPointF> stroke = Drag(kPen, {{200, 150}, {300, 220}, {420, 160}});
  EXPECT_TRUE(Drawn(stroke));
  EXPECT_NE(ShownAt(QPointF(0.1, 0.6)), kGreenInk);  // not the whole picture
  SkinButton* column = Main().Button(kIdPresenter);
  ASSERT_NE(column, nullptr);
  EXPECT_EQ(column->pos(), Main().Button(kIdAbout)->pos() + QPoint(0, 18));

  Click(Main().Button(kIdOneToOne));
  ASSERT_TRUE(WaitForMode(kModeOneToOne));
  ASSERT_EQ(Main().View()->Picture().width(), 1280);
  EXPECT_TRUE(Drawn(stroke));
  EXPECT_EQ(column->pos(), Main().Button(kIdAbout)->pos() + QPoint(0, 18));
  EXPECT_TRUE(column->isVisible());

  viewer_->Modes().RequestFullScreen();
  ASSERT_TRUE(WaitForMode(kModeFullScreen));
  EXPECT_TRUE(Drawn(stroke));
  EXPECT_FALSE(column->isVisible());

  viewer_->Modes().RequestHalf(true);
  ASSERT_TRUE(WaitForMode(kModeHalf));
  EXPECT_TRUE(Drawn(stroke));
  EXPECT_TRUE(column->isVisible());
}

// Catches: a drawing lost or moved when the camera freezes its picture or
// the viewer holds a still, and after live view resumes.
TEST_F(DrawingTest, StrokeStaysThroughFreezeAndHold) {
  const std::vector<QPointF> stroke = Drag(kPen, {{200, 150}, {300, 220}});
  Click(Panel().Button(kIdFreeze));
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_TRUE(Drawn(stroke));
  Click(Panel().Button(kIdCapture));
  ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  EXPECT_TRUE(Drawn(stroke));
  QTest::keyClick(&Main(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return viewer_->Flags().g_Capture_Mode == 0; }));
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_TRUE(Drawn(stroke));
}

// Catches: undo or redo that loses the stroke or leaves it, and undo and
// redo offered when they cannot act.
TEST_F(DrawingTest, UndoTakesTheStrokeAwayAndRedoBringsItBack) {
  EXPECT_FALSE(Action(kUndo)->isEnabled());
  const std::vector<QPointF> stroke = Drag(kRectangle, {{150, 120}, {250, 200}});
  const std::vector<QPointF> edge = {stroke[0], QPointF(stroke[1].x(), stroke[0].y())};
  ASSERT_TRUE(Drawn(edge));
  EXPECT_TRUE(Action(kUndo)->isEnabled());
  EXPECT_FALSE(Action(kRedo)->isEnabled());

  QTest::keyClick(&Main(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_NE(ShownAt(edge[0]), kGreenInk);
  EXPECT_FALSE(Action(kUndo)->isEnabled());
  EXPECT_TRUE(Action(kRedo)->isEnabled());

  QTest::keyClick(&Main(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_TRUE(Drawn(edge));
  EXPECT_FALSE(Action(kRedo)->isEnabled());
}

// Catches: an eraser that removes nothing, or marks it never passed over,
// and an erase that undo cannot bring back.
TEST_F(DrawingTest, EraserRemovesOnlyTheMarksItPassesOver) {
  const std::vector<QPointF> left = Drag(kLine, {{100, 100}, {100, 300}});
  const std::vector<QPointF> right = Drag(kLine, {{400, 100}, {400, 300}});
  Drag(kEraser, {{60, 200}, {140, 200}});
  EXPECT_NE(ShownAt(left[0]), kGreenInk);
  EXPECT_TRUE(Drawn(right));
  Action(kUndo)->trigger();
  EXPECT_TRUE(Drawn(left));
}

// Catches: a label that Enter does not put on the picture, Space taken by
// the viewer's keys, and Esc that leaves a label behind.
TEST_F(DrawingTest, TextLabelGoesOnWithEnterAndAwayWithEsc) {
  Drag(kText, {{200, 200}});
  QLineEdit* label = Tools().DrawingPart().Label();
  ASSERT_NE(label, nullptr);
  QTest::keyClicks(label, QStringLiteral("A B"));
  EXPECT_EQ(label->text(), QStringLiteral("A B"));
  QTest::keyClick(label, Qt::Key_Return);
  EXPECT_EQ(Tools().DrawingPart().Label(), nullptr);
  // Some of the label's pixels show its colour.
  const QImage picture = Main().View()->Picture();
  int inked = 0;
  for (int y = 195; y < 240; ++y) {
    for (int x = 195; x < 260; ++x) {
      inked += (picture.pixel(x, y) & 0xffffff) == kGreenInk ? 1 : 0;
    }
  }
  EXPECT_GT(inked, 10);
  EXPECT_EQ(Tools().DrawingPart().Marks().Shown(), 1);

  Drag(kText, {{300, 300}});
  ASSERT_NE(Tools().DrawingPart().Label(), nullptr);
  QTest::keyClicks(Tools().DrawingPart().Label(), QStringLiteral("dropped"));
  QTest::keyClick(Tools().DrawingPart().Label(), Qt::Key_Escape);
  EXPECT_EQ(Tools().DrawingPart().Label(), nullptr);
  EXPECT_EQ(Tools().DrawingPart().Marks().Shown(), 1);
}

// Catches: a touch screen or a pen tablet that does not draw (Qt's
// mouse made up from touch is turned off, so the touch itself must) or
// that still moves the window.
TEST_F(DrawingTest, TouchAndPenTabletDraw) {
  Action(kPen)->setChecked(true);
  Action(kGreen)->setChecked(true);
  Action(kThick)->setChecked(true);
  QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, false);
  QPointingDevice* screen = TouchScreen();
  const int& windowDrags = CountWindowDrags();
  QTest::touchEvent(&Main(), screen).press(0, {150, 300});
  QTest::touchEvent(&Main(), screen).move(0, {350, 300});
  QTest::touchEvent(&Main(), screen).release(0, {350, 300});
  QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);

  const QPointingDevice pen(
      QStringLiteral("pen"), 1, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
      QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2);
  const std::pair<QEvent::Type, QPoint> penPath[] = {{QEvent::TabletPress, {150, 400}},
                                                     {QEvent::TabletMove, {350, 400}},
                                                     {QEvent::TabletRelease, {350, 400}}};
  for (const auto& [type, at] : penPath) {
    QTabletEvent event(type, &pen, at, Main().View()->mapToGlobal(QPointF(at)), 0.5, 0, 0, 0, 0, 0,
                       {}, Qt::LeftButton,
                       type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
    QApplication::sendEvent(Main().View(), &event);
  }

  const QTransform toPicture = Main().View()->PictureToWindow()->inverted();
  EXPECT_TRUE(Drawn({toPicture.map(QPointF(150, 300)), toPicture.map(QPointF(350, 300))}));
  EXPECT_TRUE(Drawn({toPicture.map(QPointF(150, 400)), toPicture.map(QPointF(350, 400))}));
  EXPECT_EQ(windowDrags, 0);
}

// Catches: a strip that the column button or F3 does not open and close,
// that opens over the main window, or that leaves the drawing tool
// checked (the mouse would keep drawing) when it closes.
TEST_F(DrawingTest, StripOpensBesideTheWindowAndClosingPutsTheToolDown) {
  ToolStrip& strip = Tools().Strip();
  Click(Main().Button(kIdPresenter));
  ASSERT_TRUE(strip.isVisible());
  EXPECT_GE(strip.x(), Main().frameGeometry().right());
  EXPECT_FALSE(strip.geometry().intersects(Main().frameGeometry()));
  Action(kPen)->setChecked(true);
  QTest::keyClick(&Main(), Qt::Key_F3);
  EXPECT_FALSE(strip.isVisible());
  EXPECT_FALSE(Action(kPen)->isChecked());
  EXPECT_FALSE(Action(kStrip)->isChecked());
}

}  // namespace
}  // namespace rd420::viewer::test
