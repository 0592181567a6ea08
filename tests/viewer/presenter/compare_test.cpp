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

// The mean colour of `part` of `image`.
QColor Mean(const QImage& image, const QRect& part) {
  qint64 red = 0;
  qint64 green = 0;
  qint64 blue = 0;
  for (int y = part.top(); y <= part.bottom(); ++y) {
    for (int x = part.left(); x <= part.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      red += qRed(pixel);
      green += qGreen(pixel);
      blue += qBlue(pixel);
    }
  }
  const qint64 count = static_cast<qint64>(part.width()) * part.height();
  return QColor(static_cast<int>(red / count), static_cast<int>(green / count),
                static_cast<int>(blue / count));
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
  QWidget* Strip() { return Tools().Windows().at(0); }
  QToolButton* Thumbnail(int index) {
    return Strip()->findChild<QToolButton*>(
        QStringLiteral("presenter.compare_still_%1").arg(index));
  }
  // The live picture's rectangle in the main window.
  QRectF LiveCell() {
    const NewestFrame::Entry frame = Main().View()->Newest().Newest();
    return PictureToWindow().mapRect(QRectF(QPointF(0, 0), PictureSize(frame.picture.size())));
  }
  // The middle quarter of `cell` (main-window coordinates) as shown looks
  // like the middle quarter of `still`.
  void ExpectShows(const QImage& shown, const QRectF& cell, const QImage& still,
                   const QImage& other) {
    const QRect middle =
        QRectF(cell.center() - QPointF(cell.width(), cell.height()) / 4, cell.size() / 2)
            .toRect()
            .translated(-ShownAt());
    const QRect stillMiddle(still.width() / 4, still.height() / 4, still.width() / 2,
                            still.height() / 2);
    const QColor seen = Mean(shown, middle);
    const QColor taken = Mean(still, stillMiddle);
    ASSERT_GT(std::abs(Mean(other, stillMiddle).green() - taken.green()), 10)
        << "stills too alike to tell apart";
    EXPECT_NEAR(seen.red(), taken.red(), 4);
    EXPECT_NEAR(seen.green(), taken.green(), 4);
    EXPECT_NEAR(seen.blue(), taken.blue(), 4);
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

// The mean difference per channel between `shown` and `expected`, same size.
double MeanDifference(const QImage& shown, const QImage& expected) {
  qint64 sum = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb a = shown.pixel(x, y);
      const QRgb b = expected.pixel(x, y);
      sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
             std::abs(qBlue(a) - qBlue(b));
    }
  }
  return static_cast<double>(sum) / (3.0 * shown.width() * shown.height());
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
  const QRect stillCell =
      QRectF(QPointF(area.left() + area.width() / 2, top), size).toRect().translated(-ShownAt());
  const QImage shown = Main().View()->Picture().copy(stillCell);
  const auto turned = [&](int quarterTurns) {
    return Oriented(stills_[0], Orientation{quarterTurns, false})
        .scaled(stillCell.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  };
  EXPECT_LT(MeanDifference(shown, turned(1)), 8);
  EXPECT_GT(MeanDifference(shown, turned(3)), 20) << "the scene looks alike turned either way";
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
