// The page-setup dialog, headless: its defaults, the proportion kept while
// typing, and what it hands to the printing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "stills/page_setup_dialog.h"

namespace rd420::stills {
namespace {

template <typename Widget>
Widget* Control(QWidget& dialog, int id) {
  return dialog.findChild<Widget*>(QStringLiteral("ctrl%1").arg(id));
}

// Radio buttons and check boxes take clicks on their mark and label only.
void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// Catches: defaults other than fit to page, kept proportion and 5 mm
// margins, or a printed size that does not follow the sample page.
TEST(PageSetupDialog, OpensWithTheDefaultsAndFillsA4) {
  PageSetupDialog dialog(QImage(640, 480, QImage::Format_RGB888), QPageSize::A4);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Orvisto Print Page Setup"));
  for (const int id : {kIdMarginLeft, kIdMarginTop, kIdMarginRight, kIdMarginBottom}) {
    EXPECT_EQ(Control<QLineEdit>(dialog, id)->text(), QStringLiteral("5")) << id;
  }
  EXPECT_TRUE(Control<QAbstractButton>(dialog, kIdFitToPage)->isChecked());
  EXPECT_TRUE(Control<QCheckBox>(dialog, kIdMaintainAspect)->isChecked());
  EXPECT_EQ(Control<QLineEdit>(dialog, kIdWidthMm)->text(), QStringLiteral("180"));
  EXPECT_EQ(Control<QLineEdit>(dialog, kIdHeightMm)->text(), QStringLiteral("135"));
  EXPECT_FALSE(Control<QLineEdit>(dialog, kIdWidthMm)->isEnabled());
  const PageSetup result = dialog.Result();
  EXPECT_EQ(result.settings.position, 5);
  EXPECT_EQ(result.settings.paperWidth, 21000);
  EXPECT_EQ(result.settings.paperHeight, 29700);
  EXPECT_NEAR(result.printedWidthMm, 200, 1);
  EXPECT_NEAR(result.printedHeightMm, 150, 1);
}

// Catches: the other edit not following while the user types, following
// with the proportion off, or the size, position and orientation chosen
// not reaching the printing.
TEST(PageSetupDialog, TypingAWidthKeepsTheProportionAndTheChoicesReachThePrinting) {
  PageSetupDialog dialog(QImage(640, 480, QImage::Format_RGB888), QPageSize::A4);
  dialog.show();
  Click(Control<QAbstractButton>(dialog, kIdSpecifiedSize));
  auto* width = Control<QLineEdit>(dialog, kIdWidthMm);
  auto* height = Control<QLineEdit>(dialog, kIdHeightMm);
  ASSERT_TRUE(width->isEnabled());
  Type(width, QStringLiteral("200"));
  EXPECT_EQ(height->text(), QStringLiteral("150"));
  Type(height, QStringLiteral("90"));
  EXPECT_EQ(width->text(), QStringLiteral("120"));
  Click(Control<QAbstractButton>(dialog, kIdPositionFirst + 8));
  PageSetup result = dialog.Result();
  EXPECT_FALSE(result.settings.fitToPage);
  EXPECT_EQ(result.settings.widthMm, 120);
  EXPECT_EQ(result.settings.position, 9);
  EXPECT_NEAR(result.printedWidthMm, 120, 1);

  Click(Control<QCheckBox>(dialog, kIdMaintainAspect));
  Type(width, QStringLiteral("100"));
  EXPECT_EQ(height->text(), QStringLiteral("90"));
  Type(Control<QLineEdit>(dialog, kIdMarginLeft), QStringLiteral("12"));
  Click(Control<QAbstractButton>(dialog, kIdLandscape));
  result = dialog.Result();
  EXPECT_EQ(result.settings.marginLeftMm, 12);
  EXPECT_EQ(result.settings.paperWidth, 29700);
  EXPECT_NEAR(result.printedWidthMm, 100, 2);
  EXPECT_NEAR(result.printedHeightMm, 90, 2);

  QPrinter printer;
  dialog.ApplyTo(printer);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A4);
}

struct ProportionCase {
  const char* name;
  QSize picture;
  const char* width;  // the specified size at first
  const char* height;
  const char* typedWidth;
  const char* keptHeight;
};

// Catches: a 16:9 picture squeezed into 4:3, or a picture turned a quarter
// (3:4) stretched to 4:3 or given the unturned sides, while its proportion
// is kept.
TEST(PageSetupDialog, ThePictureKeepsItsOwnProportion) {
  const ProportionCase cases[] = {
      {"16:9", {640, 360}, "180", "101", "160", "90"},
      {"4:3 turned", {480, 640}, "135", "180", "150", "200"},
  };
  for (const ProportionCase& c : cases) {
    PageSetupDialog dialog(QImage(c.picture, QImage::Format_RGB888), QPageSize::A4);
    dialog.show();
    EXPECT_EQ(Control<QLineEdit>(dialog, kIdWidthMm)->text(), c.width) << c.name;
    EXPECT_EQ(Control<QLineEdit>(dialog, kIdHeightMm)->text(), c.height) << c.name;
    Click(Control<QAbstractButton>(dialog, kIdSpecifiedSize));
    Type(Control<QLineEdit>(dialog, kIdWidthMm), QString::fromLatin1(c.typedWidth));
    EXPECT_EQ(Control<QLineEdit>(dialog, kIdHeightMm)->text(), c.keptHeight) << c.name;
    // The printed size follows the sample page, about a millimetre a pixel.
    EXPECT_NEAR(dialog.Result().printedHeightMm, QByteArray(c.keptHeight).toInt(), 2) << c.name;
  }
}

// Catches: the drawing offered without one, not ticked at first, the
// sample page not showing the choice, or the choice not reaching the
// printing.
TEST(PageSetupDialog, OffersTheDrawingOnlyWithOne) {
  QImage plain(640, 480, QImage::Format_RGB888);
  plain.fill(Qt::blue);
  PageSetupDialog without(plain, QPageSize::A4);
  EXPECT_EQ(Control<QCheckBox>(without, kIdWithDrawing), nullptr);
  QImage drawn = plain;
  drawn.fill(Qt::red);
  PageSetupDialog dialog(plain, QPageSize::A4, nullptr, drawn);
  dialog.show();
  auto* box = Control<QCheckBox>(dialog, kIdWithDrawing);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QString::fromUtf8("그림 포함"));
  EXPECT_TRUE(box->isChecked());
  const auto sampleCentre = [&] {
    QWidget* sample = Control<QWidget>(dialog, kIdSample);
    return sample->grab().toImage().pixel(sample->width() / 2, sample->height() / 2);
  };
  EXPECT_TRUE(dialog.Result().withDrawing);
  EXPECT_EQ(sampleCentre(), qRgb(255, 0, 0));
  Click(box);
  EXPECT_FALSE(dialog.Result().withDrawing);
  EXPECT_EQ(sampleCentre(), qRgb(0, 0, 255));
}

}  // namespace
}  // namespace rd420::stills
