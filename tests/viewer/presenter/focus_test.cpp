// Spotlight and mask over the viewer's picture, headless, against
// rd420d --simulate.
#include <cmath>

#include "viewer/presenter/presenter_fixture.h"

namespace rd420::viewer::test {
namespace {

using enum PresenterAction;

const QRgb kPaper = qRgb(0xdc, 0xdc, 0xd7);

class FocusTest : public PresenterTest {
 protected:
  const Focus& Shapes() { return Tools().Spotlights(); }
  // Holds the picture, so that it stays as it is.
  void Hold() {
    viewer_->CaptureToggle();
    ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  }
  // `shaded` is `live` darkened to about 30 %.
  static void ExpectShaded(QRgb shaded, QRgb live) {
    ASSERT_GT(qGray(live), 60) << "a point too dark to tell";
    EXPECT_NEAR(qGray(shaded), qGray(live) * 0.3, 4);
  }
  // A left-button drag on `widget`: the picture control in half mode,
  // the main window in the large modes.
  static void Drag(QWidget* widget, QPoint from, QPoint to) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
  }
};

// Catches: a spotlight that shades its own shape, leaves the rest bright,
// is not round when asked to be, or is far from 70 % black.
TEST_F(FocusTest, SpotlightShadesAllButItsShape) {
  Hold();
  const QImage live = Main().View()->Picture();
  Action(kSpotlightEllipse)->trigger();
  const QRectF shape = Shapes().Spotlight().value();
  const QImage round = Main().View()->Picture();
  const QPointF nearCorner = shape.topLeft() + QPointF(0.01, 0.01);  // outside the ellipse
  for (QPointF inside : {shape.center(), QPointF(shape.left() + 0.01, shape.center().y())}) {
    EXPECT_EQ(PixelAt(round, inside), PixelAt(live, inside));
  }
  for (QPointF outside : {nearCorner, QPointF(0.05, 0.05)}) {
    ExpectShaded(PixelAt(round, outside), PixelAt(live, outside));
  }

  Action(kSpotlightRectangle)->trigger();  // square, in the same place
  EXPECT_EQ(Shapes().Spotlight(), shape);
  const QImage square = Main().View()->Picture();
  EXPECT_EQ(PixelAt(square, nearCorner), PixelAt(live, nearCorner));
  ExpectShaded(PixelAt(square, QPointF(0.05, 0.05)), PixelAt(live, QPointF(0.05, 0.05)));
  EXPECT_FALSE(Action(kSpotlightEllipse)->isChecked());
  EXPECT_TRUE(Action(kLeave)->isEnabled());
}

// Catches: a mask that lets the picture through or covers more than its
// rectangle.
TEST_F(FocusTest, MaskCoversItsRectangle) {
  Hold();
  const QImage live = Main().View()->Picture();
  Action(kMask)->trigger();
  const QRectF shape = Shapes().Mask().value();
  const QImage masked = Main().View()->Picture();
  const QPointF margin(0.01, 0.01);
  for (QPointF inside : {shape.center(), shape.topLeft() + margin, shape.bottomRight() - margin}) {
    EXPECT_EQ(PixelAt(masked, inside), kPaper);
  }
  for (QPointF outside : {shape.topLeft() - margin, shape.bottomRight() + margin}) {
    EXPECT_EQ(PixelAt(masked, outside), PixelAt(live, outside));
  }
}

// Catches: shapes kept in window coordinates, so that they stay put or
// keep their shape when the picture is shown larger or turned, and the
// same action again not leaving.
TEST_F(FocusTest, SpotlightAndMaskFollowThePictureIntoFullScreenAndTurned) {
  Action(kSpotlightEllipse)->trigger();
  Action(kMask)->trigger();
  const QRectF spotlight = Shapes().Spotlight().value();
  const QRectF mask = Shapes().Mask().value();
  viewer_->Modes().RequestFullScreen();
  ASSERT_TRUE(WaitFor([&] { return viewer_->Flags().g_Display_Mode == kModeFullScreen; }));
  ASSERT_TRUE(WaitForPictures(2));
  Action(kRotate)->trigger();
  Hold();
  EXPECT_EQ(Shapes().Spotlight(), spotlight);
  EXPECT_EQ(Shapes().Mask(), mask);

  const QPointF margin(0.01, 0.01);
  const QImage covered = Main().View()->Picture();
  EXPECT_EQ(PixelAt(covered, mask.topLeft() + margin), kPaper);
  EXPECT_EQ(PixelAt(covered, mask.bottomRight() - margin), kPaper);
  EXPECT_NE(PixelAt(covered, mask.bottomRight() + margin), kPaper);

  Action(kMask)->trigger();  // the same again: off
  EXPECT_FALSE(Shapes().Mask());
  const QImage lit = Main().View()->Picture();
  Action(kSpotlightEllipse)->trigger();
  EXPECT_FALSE(Shapes().Spotlight());
  EXPECT_FALSE(Action(kLeave)->isEnabled());
  const QImage live = Main().View()->Picture();
  const QPointF inside(spotlight.left() + 0.02, spotlight.center().y());
  EXPECT_EQ(PixelAt(lit, inside), PixelAt(live, inside));
  ExpectShaded(PixelAt(lit, QPointF(0.05, 0.05)), PixelAt(live, QPointF(0.05, 0.05)));
}

// Catches: a drag that moves the window instead of the shape, moves by
// the wrong amount, or resizes from the wrong edge.
TEST_F(FocusTest, DraggingMovesAndResizesTheShape) {
  Action(kSpotlightRectangle)->trigger();
  const int& windowDrags = CountWindowDrags();
  const QTransform toWindow = PictureToWindow();
  const qreal pixelsPerUnit = toWindow.m11();
  const QRectF start = Shapes().Spotlight().value();

  const QPoint from = toWindow.map(start.center()).toPoint();
  Drag(Main().View(), from, from + QPoint(64, 32));
  const QRectF moved = Shapes().Spotlight().value();
  EXPECT_NEAR(moved.left(), start.left() + 64 / pixelsPerUnit, 1e-9);
  EXPECT_NEAR(moved.top(), start.top() + 32 / pixelsPerUnit, 1e-9);
  EXPECT_NEAR(moved.width(), start.width(), 1e-9);
  EXPECT_NEAR(moved.height(), start.height(), 1e-9);

  const QPoint corner = toWindow.map(moved.bottomRight()).toPoint() - QPoint(2, 2);
  Drag(Main().View(), corner, corner + QPoint(40, -20));
  const QRectF resized = Shapes().Spotlight().value();
  EXPECT_NEAR(resized.left(), moved.left(), 1e-9);
  EXPECT_NEAR(resized.top(), moved.top(), 1e-9);
  EXPECT_NEAR(resized.width(), moved.width() + 40 / pixelsPerUnit, 1e-9);
  EXPECT_NEAR(resized.height(), moved.height() - 20 / pixelsPerUnit, 1e-9);
  EXPECT_EQ(windowDrags, 0);
}

// Catches: a drag in full screen (where the main window takes the input)
// not taken, or moving the shape another way than the pointer when the
// picture is turned.
TEST_F(FocusTest, DraggingTheTurnedPictureInFullScreenFollowsThePointer) {
  viewer_->Modes().RequestFullScreen();
  ASSERT_TRUE(WaitFor([&] { return viewer_->Flags().g_Display_Mode == kModeFullScreen; }));
  ASSERT_TRUE(WaitForPictures(2));
  Action(kRotate)->trigger();  // a quarter clockwise: the picture's top is on the right
  Action(kMask)->trigger();
  const QTransform toWindow = PictureToWindow();
  const qreal pixelsPerUnit = std::hypot(toWindow.m11(), toWindow.m12());
  const QRectF start = Shapes().Mask().value();
  const QPoint from = toWindow.map(start.center()).toPoint();
  Drag(&Main(), from, from + QPoint(60, 0));
  const QRectF moved = Shapes().Mask().value();
  EXPECT_NEAR(moved.left(), start.left(), 1e-9);
  EXPECT_NEAR(moved.top(), start.top() - 60 / pixelsPerUnit, 1e-9);
  EXPECT_NEAR(moved.height(), start.height(), 1e-9);
}

// Catches: a finger on the picture moving the window instead of the mask,
// whether the picture takes touch events (a drawing does) or Qt turns them
// into mouse events.
TEST_F(FocusTest, ATouchDragMovesTheMask) {
  Action(kMask)->trigger();
  const QTransform toWindow = PictureToWindow();
  QPointingDevice* screen = TouchScreen();
  for (bool takesTouch : {false, true}) {
    Main().setAttribute(Qt::WA_AcceptTouchEvents, takesTouch);
    Main().View()->setAttribute(Qt::WA_AcceptTouchEvents, takesTouch);
    const QRectF start = Shapes().Mask().value();
    const QPoint from = toWindow.map(start.center()).toPoint();
    QTest::touchEvent(&Main(), screen).press(0, from);
    QTest::touchEvent(&Main(), screen).move(0, from + QPoint(-50, 20));
    QTest::touchEvent(&Main(), screen).release(0, from + QPoint(-50, 20));
    const QRectF moved = Shapes().Mask().value();
    EXPECT_NEAR(moved.left(), start.left() - 50 / toWindow.m11(), 1e-9) << takesTouch;
    EXPECT_NEAR(moved.top(), start.top() + 20 / toWindow.m11(), 1e-9) << takesTouch;
  }
}

}  // namespace
}  // namespace rd420::viewer::test
