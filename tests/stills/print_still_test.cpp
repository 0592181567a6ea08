// Printing the held still to a PDF file through the dialogs' seam, read
// back with poppler's tools as a user's viewer would show it.
#include "stills/print_still.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "platform/message.h"
#include "stills/held_still_actions.h"
#include "support/fake_still_dialogs.h"

namespace rd420::stills {
namespace {

constexpr int kRenderDpi = 50;

// A 640 x 480 still, red in its top half and blue below: rows are stored
// bottom-up, so the first half of the rows is the blue bottom.
FrameBitmap TwoColourStill() {
  FrameBitmap still(FrameBitmap::kStillPelsPerMeter);
  EXPECT_TRUE(still.Allocate(FrameGeometryFor(true, Resolution::kHalf)));
  const int stride = (640 * 3 + 3) & ~3;
  auto pixels = still.Pixels();
  for (int row = 0; row < 480; ++row) {
    for (int x = 0; x < 640; ++x) {
      uint8_t* pixel = &pixels[static_cast<size_t>(row) * stride + x * 3];
      pixel[0] = row < 240 ? 255 : 0;
      pixel[2] = row < 240 ? 0 : 255;
    }
  }
  return still;
}

int PdfPages(const QString& pdf) {
  QProcess info;
  info.start(QStringLiteral("pdfinfo"), {pdf});
  info.waitForFinished();
  const QString text = QString::fromLatin1(info.readAllStandardOutput());
  const qsizetype at = text.indexOf(QStringLiteral("Pages:"));
  return at < 0 ? -1 : text.mid(at + 6).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
}

QImage RenderFirstPage(const QString& pdf, const QString& prefix) {
  QProcess::execute(
      QStringLiteral("pdftoppm"),
      {QStringLiteral("-r"), QString::number(kRenderDpi), QStringLiteral("-f"), QStringLiteral("1"),
       QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, prefix});
  return QImage(prefix + QStringLiteral(".ppm"));
}

class PrintToPdf : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-v")}) < 0) {
      GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    }
    dialogs_.pdfPath = folder_.filePath(QStringLiteral("printed.pdf"));
    HeldStillEnvironment environment;
    environment.gui = &gui_;
    environment.owner = [] { return nullptr; };
    environment.dialogs = &dialogs_;
    environment.stillHeld = [this] { return held_; };
    actions_ = std::make_unique<HeldStillActions>(std::move(environment));
  }

  QTemporaryDir folder_;
  QObject gui_;
  test::FakeStillDialogs dialogs_;
  std::unique_ptr<HeldStillActions> actions_;
  MessageRecorder messages_;
  bool held_ = true;
};

// Catches: a picture printed elsewhere than the geometry says, turned or
// colour-swapped, copies folded into one page, or the sample page shown a
// picture other than the still.
TEST_F(PrintToPdf, ThePictureLandsWhereTheGeometrySaysOnEveryCopy) {
  const struct {
    bool landscape;
    bool fit;
    int position;
  } cases[] = {{false, false, 1}, {false, true, 5}, {true, false, 9}, {false, false, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "landscape " << c.landscape << " position " << c.position);
    PrintSettings& s = dialogs_.settings;
    s = PrintSettings();
    s.paperWidth = c.landscape ? 29700 : 21000;
    s.paperHeight = c.landscape ? 21000 : 29700;
    s.fitToPage = c.fit;
    s.widthMm = 100;
    s.heightMm = 75;
    s.marginLeftMm = 15;
    s.marginBottomMm = 25;
    s.position = c.position;
    dialogs_.previewArea = QSize(212, 300);
    dialogs_.copies = 3;
    QFile::remove(dialogs_.pdfPath);

    actions_->PrintStill(TwoColourStill(), 2);
    ASSERT_TRUE(messages_.Messages().empty()) << messages_.Captions()[0];
    EXPECT_EQ(dialogs_.picture.size(), QSize(640, 480));
    EXPECT_EQ(dialogs_.picture.pixelColor(0, 0), QColor(Qt::red)) << "the sample is upright";
    EXPECT_EQ(PdfPages(dialogs_.pdfPath), 3);

    const QImage page = RenderFirstPage(dialogs_.pdfPath, folder_.filePath(QStringLiteral("page")));
    ASSERT_FALSE(page.isNull());
    const double pxPerMm = kRenderDpi / 25.4;
    EXPECT_NEAR(page.width(), s.paperWidth / 100.0 * pxPerMm, 1.5);
    // Where the picture should be, in rendered pixels: the placement on a
    // sheet of 1/10 mm, scaled.
    const PreviewLayout layout = LayOutPreview(s, dialogs_.previewArea);
    const QRect place = PlaceOnPage(s, layout.printedWidthMm, layout.printedHeightMm,
                                    QSize(s.paperWidth / 10, s.paperHeight / 10));
    QRect found;
    for (int y = 0; y < page.height(); ++y) {
      for (int x = 0; x < page.width(); ++x) {
        if (page.pixelColor(x, y).lightness() < 200) {
          found = found.united(QRect(x, y, 1, 1));
        }
      }
    }
    const double scale = pxPerMm / 10;
    EXPECT_NEAR(found.left(), place.left() * scale, 1.5);
    EXPECT_NEAR(found.top(), place.top() * scale, 1.5);
    EXPECT_NEAR(found.width(), place.width() * scale, 2);
    EXPECT_NEAR(found.height(), place.height() * scale, 2);
    const QColor top = page.pixelColor(found.center().x(), found.top() + 3);
    const QColor bottom = page.pixelColor(found.center().x(), found.bottom() - 3);
    EXPECT_GT(top.red(), 200);
    EXPECT_LT(top.blue(), 60);
    EXPECT_GT(bottom.blue(), 200);
  }
}

// Catches: printing, or a message, after either dialog was cancelled.
TEST_F(PrintToPdf, CancellingEitherDialogPrintsAndShowsNothing) {
  dialogs_.acceptPageSetup = false;
  actions_->PrintStill(TwoColourStill(), 2);
  EXPECT_EQ(dialogs_.printerDialogs, 0);
  dialogs_.acceptPageSetup = true;
  dialogs_.acceptPrinter = false;
  actions_->PrintStill(TwoColourStill(), 2);
  EXPECT_EQ(dialogs_.pageSetups, 2);
  EXPECT_EQ(dialogs_.printerDialogs, 1);
  EXPECT_FALSE(QFile::exists(dialogs_.pdfPath));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a save or page setup dialog opening after live view resumed,
// while the next run waits for the still thread that asked for it.
TEST_F(PrintToPdf, NoDialogOpensOnceLiveViewResumed) {
  held_ = false;
  dialogs_.savePath = folder_.filePath(QStringLiteral("still.bmp"));
  actions_->SaveStill(ImagingBitmap(), 2, false);
  actions_->PrintStill(TwoColourStill(), 2);
  EXPECT_FALSE(QFile::exists(dialogs_.savePath));
  EXPECT_EQ(dialogs_.pageSetups, 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a document that cannot start reported as printed.
TEST_F(PrintToPdf, AnUnwritableOutputGivesApt00001) {
  dialogs_.pdfPath = folder_.filePath(QStringLiteral("missing/printed.pdf"));
  actions_->PrintStill(TwoColourStill(), 2);
  EXPECT_EQ(messages_.Captions(), std::vector<std::string>{"Error (APT00001)"});
}

}  // namespace
}  // namespace rd420::stills
