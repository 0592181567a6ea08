// Stills held up beside the live picture: the cells, the strip, and Esc
// back to the live picture alone.
#include <QToolButton>

#include "viewer/presenter/presenter_fixture.h"

namespace rd420::viewer::test {
namespace {

using enum PresenterAction;

struct CellsCase {
  const char* name;
  CompareLayout layout;
  QSizeF shown;  // the proportion of the picture as shown
  std::vector<QRectF> cells;
};

// Catches: cells that stretch the picture, leave it off centre, or put the
// live picture anywhere but first (left, top left).
TEST(CompareCells, ShareTheAreaAtThePicturesProportion) {
  const QRectF area(1, 1, 640, 480);
  const CellsCase cases[] = {
      {"side by side",
       CompareLayout::kSideBySide,
       {4, 3},
       {{1, 121, 320, 240}, {321, 121, 320, 240}}},
      {"2 x 2",
       CompareLayout::kFour,
       {4, 3},
       {{1, 1, 320, 240}, {321, 1, 320, 240}, {1, 241, 320, 240}, {321, 241, 320, 240}}},
      {"turned, side by side",
       CompareLayout::kSideBySide,
       {3, 4},
       {{1, 1 + 80.0 / 3, 320, 1280.0 / 3}, {321, 1 + 80.0 / 3, 320, 1280.0 / 3}}},
      {"turned, 2 x 2",
       CompareLayout::kFour,
       {3, 4},
       {{71, 1, 180, 240}, {391, 1, 180, 240}, {71, 241, 180, 240}, {391, 241, 180, 240}}},
  };
  for (const CellsCase& c : cases) {
    const std::vector<QRectF> cells = CompareCells(area, c.shown, c.layout);
    ASSERT_EQ(cells.size(), c.cells.size()) << c.name;
    for (size_t index = 0; index < cells.size(); ++index) {
      EXPECT_NEAR(cells[index].x(), c.cells[index].x(), 1e-9) << c.name << " " << index;
      EXPECT_NEAR(cells[index].y(), c.cells[index].y(), 1e-9) << c.name << " " << index;
      EXPECT_NEAR(cells[index].width(), c.cells[index].width(), 1e-9) << c.name << " " << index;
      EXPECT_NEAR(cells[index].height(), c.cells[index].height(), 1e-9) << c.name << " " << index;
    }
  }
}

// How far `cell` (main-window coordinates) of `shown`, which starts at
// `shownAt`, is from `still` turned a number of quarters and scaled to it:
// the mean difference per channel, 0 to 255.
double Distance(const QImage& shown, QPoint shownAt, const QRectF& cell, const QImage& still,
                int quarterTurns = 0) {
  const QRect part = cell.toRect().translated(-shownAt);
  const QImage expected = Oriented(still, Orientation{quarterTurns, false})
                              .scaled(part.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  qint64 sum = 0;
  for (int y = 0; y < part.height(); ++y) {
    for (int x = 0; x < part.width(); ++x) {
      const QRgb a = shown.pixel(part.topLeft() + QPoint(x, y));
      const QRgb b = expected.pixel(x, y);
      sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
             std::abs(qBlue(a) - qBlue(b));
    }
  }
  return static_cast<double>(sum) / (3.0 * part.width() * part.height());
}

class CompareTest : public PresenterTest {
 protected:
  void SetUp() override {
    PresenterTest::SetUp();
    QObject::connect(viewer_.get(), &Viewer::stillHeld,
                     [this](const QImage& still) { stills_.push_back(still); });
  }
  // Holds a still (the picture stays held).
  void Hold() {
    const size_t before = stills_.size();
    viewer_->CaptureToggle();
    ASSERT_TRUE(WaitFor([&] { return stills_.size() > before; }));
  }
  void HoldAndResume() {
    Hold();
    viewer_->CaptureToggle();
    ASSERT_TRUE(WaitForPictures(2));
  }
  // The lamp lights the scene brighter: stills held with it on and off
  // tell apart.
  void SetLamp(bool on) {
    Click(Panel().Button(kIdLamp));
    const std::string lit = on ? "lamp=1" : "lamp=0";
    ASSERT_TRUE(
        WaitFor([&] { return simulator_->Control("state").find(lit) != std::string::npos; }));
    ASSERT_TRUE(WaitForPictures(3));
  }
  // Three stills, the middle one with the lamp on.
  void HoldThree() {
    HoldAndResume();
    SetLamp(true);
    HoldAndResume();
    SetLamp(false);
    HoldAndResume();
  }
  QWidget* Strip() { return Tools().Comparison().Strip(); }
  QToolButton* Thumbnail(int index) {
    return Strip()->findChild<QToolButton*>(
        QStringLiteral("presenter.compare_still_%1").arg(index));
  }
  // The live picture's rectangle in the main window.
  QRectF LiveCell() {
    const NewestFrame::Entry frame = Main().View()->Newest().Newest();
    return PictureToWindow().mapRect(QRectF(QPointF(0, 0), PictureSize(frame.picture.size())));
  }
  // `cell` of `shown` shows `still`, not `other`.
  void ExpectShows(const QImage& shown, const QRectF& cell, const QImage& still,
                   const QImage& other) {
    const double near = Distance(shown, ShownAt(), cell, still);
    EXPECT_LT(near, 8);
    EXPECT_GT(Distance(shown, ShownAt(), cell, other), near + 8) << "the stills look alike";
  }

  std::vector<QImage> stills_;
};

// Catches: no still kept from a hold, the still's cell anywhere but right
// of the live picture, or the live picture not moved into its half.
TEST_F(CompareTest, OneStillSitsBesideTheLivePicture) {
  HoldAndResume();
  SetLamp(true);
  HoldAndResume();
  Action(kCompare)->trigger();
  ASSERT_TRUE(Strip()->isVisible());
  ASSERT_TRUE(Thumbnail(1)->isVisible());
  EXPECT_FALSE(Thumbnail(2)->isVisible());
  Thumbnail(0)->click();

  const QRectF area = Area();
  const QSizeF half = area.size() / 2;
  EXPECT_EQ(LiveCell(), QRectF(area.topLeft() + QPointF(0, area.height() / 4), half));
  const QRectF stillCell(area.topLeft() + QPointF(area.width() / 2, area.height() / 4), half);
  const QImage shown = Main().View()->Picture();
  ExpectShows(shown, stillCell, stills_[0], stills_[1]);
  // Black above it: the cell starts where it should.
  EXPECT_EQ(PixelAtWindow(shown, QPointF(stillCell.center().x(), stillCell.top() - 3)),
            qRgb(0, 0, 0));
  EXPECT_NE(PixelAtWindow(shown, QPointF(stillCell.center().x(), stillCell.top() + 3)),
            qRgb(0, 0, 0));
  EXPECT_TRUE(Thumbnail(0)->isChecked());
  EXPECT_FALSE(Thumbnail(1)->isChecked());
}

// Catches: a second and third still not turning the area into 2 x 2, or
// a still in the wrong cell.
TEST_F(CompareTest, ThreeStillsShareTwoByTwoWithTheLivePicture) {
  HoldThree();
  Action(kCompare)->trigger();
  // Brought in: the lit still first, to the top right.
  const int order[] = {1, 0, 2};
  for (int index : order) {
    Thumbnail(index)->click();
  }
  const QRectF area = Area();
  const QSizeF quarter = area.size() / 2;
  EXPECT_EQ(LiveCell(), QRectF(area.topLeft(), quarter));
  const QImage shown = Main().View()->Picture();
  const QPointF corners[] = {{1, 0}, {0, 1}, {1, 1}};
  for (int cell : {0, 1, 2}) {
    const QPointF at(corners[cell].x() * quarter.width(), corners[cell].y() * quarter.height());
    const int still = order[cell];
    ExpectShows(shown, QRectF(area.topLeft() + at, quarter), stills_[still],
                stills_[still == 1 ? 0 : 1]);
  }
}

// Catches: a still drawn upright beside a turned live picture, or cells
// that keep the upright proportion.
TEST_F(CompareTest, AStillIsTurnedAsTheLivePicture) {
  HoldAndResume();
  Action(kCompare)->trigger();
  Thumbnail(0)->click();
  Action(kRotate)->trigger();
  const QRectF area = Area();
  // Each half holds the picture stood on its side, fitted and centred.
  const QSizeF size(area.width() / 2, area.width() / 2 * area.width() / area.height());
  const qreal top = area.top() + (area.height() - size.height()) / 2;
  EXPECT_EQ(LiveCell(), QRectF(QPointF(area.left(), top), size));
  const QRectF stillCell(QPointF(area.left() + area.width() / 2, top), size);
  const QImage shown = Main().View()->Picture();
  const double near = Distance(shown, ShownAt(), stillCell, stills_[0], 1);
  EXPECT_LT(near, 8);
  EXPECT_GT(Distance(shown, ShownAt(), stillCell, stills_[0], 3), near + 8)
      << "the scene looks alike turned either way";
}

// Catches: Esc leaving the stills or the spotlight on, the strip left
// open, or Esc kept from the viewer afterwards (the held picture resumes
// with the next one).
TEST_F(CompareTest, EscReturnsToTheLivePictureAlone) {
  HoldAndResume();
  Hold();
  Action(kCompare)->trigger();
  Thumbnail(0)->click();
  Action(kSpotlightEllipse)->trigger();
  ASSERT_NE(LiveCell(), Area());

  QTest::keyClick(&Main(), Qt::Key_Escape);
  EXPECT_EQ(LiveCell(), Area());
  EXPECT_EQ(Main().View()->Stage().Arrangement(), nullptr);
  EXPECT_FALSE(Strip()->isVisible());
  EXPECT_FALSE(Tools().Spotlights().Active());
  EXPECT_FALSE(Action(kLeave)->isEnabled());
  EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 1u) << "the first Esc is the tools'";

  QTest::keyClick(&Main(), Qt::Key_Escape);
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 0u);
}

}  // namespace
}  // namespace rd420::viewer::test
