#pragma once

#include <QImage>
#include <QPointingDevice>
#include <QTransform>
#include <memory>

#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {

// The viewer with the presenter's tools, streaming.
class PresenterTest : public ViewerTest {
 protected:
  void SetUp() override {
    withPresenter_ = true;
    ASSERT_TRUE(StartViewer());
    ASSERT_TRUE(WaitForPictures(2));
  }
  Presenter& Tools() { return static_cast<Presenter&>(*viewer_->Tools()); }
  QAction* Action(PresenterAction id) { return Tools().Actions()[id]; }
  QTransform PictureToWindow() { return Main().View()->PictureToWindow().value_or(QTransform()); }
  // The display mode's rectangle and the part of it shown, in the main
  // window's coordinates.
  QRectF Area() { return QRectF(Main().View()->Newest().Newest().placement.target); }
  QPoint ShownAt() { return Main().View()->Newest().Newest().placement.shown.topLeft(); }
  // The pixel of `picture` (from Picture()) at a point of the main window.
  QRgb PixelAtWindow(const QImage& picture, QPointF at) {
    return picture.pixel(at.toPoint() - ShownAt());
  }
  // How often a press reached the main window's own handling, which moves
  // the window; counted from here on.
  const int& CountWindowDrags() {
    windowDrags_ = 0;
    Main().dragArea = [this, ask = Main().dragArea](QPoint at) {
      ++windowDrags_;
      return ask(at);
    };
    return windowDrags_;
  }
  // A touch screen for QTest::touchEvent, gone with the test.
  QPointingDevice* TouchScreen() {
    touchScreen_.reset(QTest::createTouchDevice());
    return touchScreen_.get();
  }
  QRgb PixelAt(const QImage& picture, QPointF pictureAt) {
    return PixelAtWindow(picture, PictureToWindow().map(pictureAt));
  }

 private:
  int windowDrags_ = 0;
  std::unique_ptr<QPointingDevice> touchScreen_;
};

}  // namespace rd420::viewer::test
