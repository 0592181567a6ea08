#include "stills/page_setup_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <numeric>

#include "resources/viewer/position_pictures.h"

namespace rd420::stills {
namespace {

constexpr char kTitle[] = "Orvisto Print Page Setup";
constexpr int kSampleBox = 300;  // the sample page's long side, pixels: about 1 mm each
constexpr int kMaxMm = 9999;

constexpr QPageSize::PageSizeId kPapers[] = {
    QPageSize::A4, QPageSize::Letter, QPageSize::Legal,    QPageSize::A3,
    QPageSize::A5, QPageSize::B5,     QPageSize::Executive};

struct Source {
  const char* name;
  QPrinter::PaperSource source;
};
constexpr Source kSources[] = {{"Automatically Select", QPrinter::Auto},
                               {"Manual Feed", QPrinter::Manual},
                               {"Upper Tray", QPrinter::Upper},
                               {"Lower Tray", QPrinter::Lower}};

QString ControlName(int id) {
  return QStringLiteral("ctrl%1").arg(id);
}

template <typename Widget>
Widget* Named(Widget* widget, int id) {
  widget->setObjectName(ControlName(id));
  return widget;
}

// A position button: the pressed picture while held down or chosen, so the
// chosen place shows.
class PositionButton : public QAbstractButton {
 public:
  PositionButton(int position, QWidget* parent) : QAbstractButton(parent) {
    normal_ = QPixmap(QStringLiteral(":/viewer/%1.png").arg(kPositionPictures[position - 1][0]));
    pressed_ = QPixmap(QStringLiteral(":/viewer/%1.png").arg(kPositionPictures[position - 1][1]));
    setCheckable(true);
    setFixedSize(normal_.size().isEmpty() ? QSize(24, 24) : normal_.size());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawPixmap(0, 0, isDown() || isChecked() ? pressed_ : normal_);
  }

 private:
  QPixmap normal_;
  QPixmap pressed_;
};

}  // namespace

// The sample page with the picture drawn where it will print.
class PagePreview : public QWidget {
 public:
  explicit PagePreview(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSampleBox + 10, kSampleBox + 10);
  }
  // The preview area: the portrait sample page of this paper's shape.
  static QSize Area(const PrintSettings& settings) {
    const int shortMm = std::min(settings.paperWidth, settings.paperHeight);
    const int longMm = std::max(settings.paperWidth, settings.paperHeight);
    return longMm <= 0 ? QSize() : QSize(kSampleBox * shortMm / longMm, kSampleBox);
  }
  void Show(const PreviewLayout& layout, const QImage& picture) {
    layout_ = layout;
    picture_ = picture;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPoint origin((width() - layout_.page.width()) / 2,
                        (height() - layout_.page.height()) / 2);
    painter.fillRect(layout_.page.translated(origin).translated(3, 3), Qt::darkGray);
    painter.fillRect(layout_.page.translated(origin), Qt::white);
    if (layout_.picture.width() > 0 && layout_.picture.height() > 0) {
      painter.drawImage(layout_.picture.translated(origin), picture_);
    }
  }

 private:
  QImage picture_;
  PreviewLayout layout_;
};

PageSetupDialog::PageSetupDialog(const QImage& picture, QPageSize::PageSizeId paper,
                                 QWidget* parent, const QImage& drawn)
    : QDialog(parent), picture_(picture), drawn_(drawn) {
  // The picture keeps its own proportion: 4:3 or 16:9, or 3:4 and 9:16
  // turned a quarter. Without one, the camera's 4:3.
  if (!picture.isNull()) {
    const int common = std::gcd(picture.width(), picture.height());
    result_.settings.aspectWidth = picture.width() / common;
    result_.settings.aspectHeight = picture.height() / common;
  }
  setWindowTitle(QString::fromLatin1(kTitle));
  setFont(QFont(QStringLiteral("Arial"), 8));
  auto* grid = new QGridLayout(this);
  BuildPaperAndMargins(*grid);
  BuildSizeAndPosition(*grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Named(buttons->button(QDialogButtonBox::Ok), 1);
  Named(buttons->button(QDialogButtonBox::Cancel), 2);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (!drawn_.isNull()) {
    withDrawing_ = Named(new QCheckBox(QString::fromUtf8(kWithDrawingLabel), this), kIdWithDrawing);
    withDrawing_->setToolTip(QStringLiteral("Print the still with the drawing burnt in"));
    withDrawing_->setChecked(true);
    connect(withDrawing_, &QCheckBox::toggled, this, &PageSetupDialog::Relayout);
    grid->addWidget(withDrawing_, 4, 0, 1, 2);
  }
  grid->addWidget(buttons, 5, 0, 1, 2);

  const auto known = std::find(std::begin(kPapers), std::end(kPapers), paper);
  paper_->setCurrentIndex(
      known == std::end(kPapers) ? 0 : static_cast<int>(known - std::begin(kPapers)));
  Relayout();
}

void PageSetupDialog::BuildPaperAndMargins(QGridLayout& grid) {
  preview_ = Named(new PagePreview(this), kIdSample);
  grid.addWidget(preview_, 0, 0, 3, 1, Qt::AlignCenter);

  auto* paperBox = new QGroupBox(QStringLiteral("Paper"), this);
  auto* paperGrid = new QGridLayout(paperBox);
  paper_ = Named(new QComboBox(paperBox), kIdPaperSize);
  for (const QPageSize::PageSizeId id : kPapers) {
    paper_->addItem(QPageSize::name(id));
  }
  source_ = Named(new QComboBox(paperBox), kIdPaperSource);
  for (const Source& source : kSources) {
    source_->addItem(QString::fromLatin1(source.name));
  }
  auto* sizeLabel = new QLabel(QStringLiteral("Si&ze:"), paperBox);
  sizeLabel->setBuddy(paper_);
  auto* sourceLabel = new QLabel(QStringLiteral("&Source:"), paperBox);
  sourceLabel->setBuddy(source_);
  paperGrid->addWidget(sizeLabel, 0, 0);
  paperGrid->addWidget(paper_, 0, 1);
  paperGrid->addWidget(sourceLabel, 1, 0);
  paperGrid->addWidget(source_, 1, 1);
  connect(paper_, &QComboBox::currentIndexChanged, this, &PageSetupDialog::Relayout);
  grid.addWidget(paperBox, 0, 1);

  auto* orientationBox = new QGroupBox(QStringLiteral("Orientation"), this);
  auto* orientationGrid = new QGridLayout(orientationBox);
  auto* portrait =
      Named(new QRadioButton(QStringLiteral("P&ortrait"), orientationBox), kIdPortrait);
  landscape_ = Named(new QRadioButton(QStringLiteral("L&andscape"), orientationBox), kIdLandscape);
  portrait->setChecked(true);
  orientationGrid->addWidget(portrait, 0, 0);
  orientationGrid->addWidget(landscape_, 1, 0);
  connect(landscape_, &QRadioButton::toggled, this, &PageSetupDialog::Relayout);
  grid.addWidget(orientationBox, 1, 1);

  auto* marginBox = new QGroupBox(QStringLiteral("Margins (millimeters)"), this);
  auto* marginGrid = new QGridLayout(marginBox);
  const struct {
    const char* label;
    int id;
    int row, column;
  } kMargins[] = {{"&Left:", kIdMarginLeft, 0, 0},
                  {"&Top:", kIdMarginTop, 1, 0},
                  {"&Right:", kIdMarginRight, 0, 2},
                  {"&Bottom:", kIdMarginBottom, 1, 2}};
  for (int i = 0; i < 4; ++i) {
    margins_[i] = NumberEdit(kMargins[i].id, 5);
    auto* label = new QLabel(QString::fromLatin1(kMargins[i].label), marginBox);
    label->setBuddy(margins_[i]);
    marginGrid->addWidget(label, kMargins[i].row, kMargins[i].column);
    marginGrid->addWidget(margins_[i], kMargins[i].row, kMargins[i].column + 1);
    connect(margins_[i], &QLineEdit::textEdited, this, &PageSetupDialog::Relayout);
  }
  grid.addWidget(marginBox, 2, 1);
}

void PageSetupDialog::BuildSizeAndPosition(QGridLayout& grid) {
  auto* sizeBox = new QGroupBox(QStringLiteral("Size"), this);
  auto* sizeGrid = new QGridLayout(sizeBox);
  fitToPage_ = Named(new QRadioButton(QStringLiteral("Fit To Page"), sizeBox), kIdFitToPage);
  auto* specified =
      Named(new QRadioButton(QStringLiteral("Specified Size (mm)"), sizeBox), kIdSpecifiedSize);
  keepProportion_ =
      Named(new QCheckBox(QStringLiteral("&Maintain aspect ratio"), sizeBox), kIdMaintainAspect);
  // 180 x 135 for 4:3: the long side 180, the other in the picture's
  // proportion, so a turned picture has the sides swapped.
  const PrintSettings& shape = result_.settings;
  const bool upright = shape.aspectHeight > shape.aspectWidth;
  width_ = NumberEdit(kIdWidthMm, upright ? 180 * shape.aspectWidth / shape.aspectHeight : 180);
  height_ = NumberEdit(kIdHeightMm, upright ? 180 : 180 * shape.aspectHeight / shape.aspectWidth);
  fitToPage_->setChecked(true);
  keepProportion_->setChecked(true);
  width_->setEnabled(false);
  height_->setEnabled(false);
  sizeGrid->addWidget(fitToPage_, 0, 0, 1, 4);
  sizeGrid->addWidget(specified, 1, 0, 1, 4);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Width"), sizeBox), 2, 0);
  sizeGrid->addWidget(width_, 2, 1);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Height"), sizeBox), 2, 2);
  sizeGrid->addWidget(height_, 2, 3);
  sizeGrid->addWidget(keepProportion_, 3, 0, 1, 4);
  connect(fitToPage_, &QRadioButton::toggled, this, [this](bool fit) {
    width_->setEnabled(!fit);
    height_->setEnabled(!fit);
    Relayout();
  });
  connect(keepProportion_, &QCheckBox::toggled, this, &PageSetupDialog::Relayout);
  connect(width_, &QLineEdit::textEdited, this, [this] { SizeEdited(true); });
  connect(height_, &QLineEdit::textEdited, this, [this] { SizeEdited(false); });
  grid.addWidget(sizeBox, 3, 0);

  auto* positionBox = new QGroupBox(QStringLiteral("Position"), this);
  auto* positionGrid = new QGridLayout(positionBox);
  positions_ = new QButtonGroup(this);
  for (int position = 1; position <= 9; ++position) {
    auto* button =
        Named(new PositionButton(position, positionBox), kIdPositionFirst + position - 1);
    positions_->addButton(button, position);
    positionGrid->addWidget(button, (position - 1) / 3, (position - 1) % 3);
  }
  positions_->button(5)->setChecked(true);
  connect(positions_, &QButtonGroup::idClicked, this, &PageSetupDialog::Relayout);
  grid.addWidget(positionBox, 3, 1);
}

QLineEdit* PageSetupDialog::NumberEdit(int id, int value) {
  auto* edit = Named(new QLineEdit(QString::number(value), this), id);
  edit->setValidator(new QIntValidator(0, kMaxMm, edit));
  edit->setMaximumWidth(48);
  return edit;
}

void PageSetupDialog::SizeEdited(bool width) {
  // Only the user's typing keeps the proportion: the rewrite itself does
  // not come back here (textEdited is not sent for setText).
  const PrintSettings& settings = result_.settings;
  if (keepProportion_->isChecked()) {
    if (width) {
      height_->setText(
          QString::number(width_->text().toInt() * settings.aspectHeight / settings.aspectWidth));
    } else {
      width_->setText(
          QString::number(height_->text().toInt() * settings.aspectWidth / settings.aspectHeight));
    }
  }
  Relayout();
}

void PageSetupDialog::Relayout() {
  PrintSettings& settings = result_.settings;
  const QSizeF paper =
      QPageSize(kPapers[std::max(0, paper_->currentIndex())]).size(QPageSize::Millimeter);
  const int shortSide = static_cast<int>(std::min(paper.width(), paper.height()) * 100 + 0.5);
  const int longSide = static_cast<int>(std::max(paper.width(), paper.height()) * 100 + 0.5);
  const bool landscape = landscape_->isChecked();
  settings.paperWidth = landscape ? longSide : shortSide;
  settings.paperHeight = landscape ? shortSide : longSide;
  int* margins[4] = {&settings.marginLeftMm, &settings.marginTopMm, &settings.marginRightMm,
                     &settings.marginBottomMm};
  for (int i = 0; i < 4; ++i) {
    *margins[i] = margins_[i]->text().toInt();
  }
  settings.fitToPage = fitToPage_->isChecked();
  settings.keepProportion = keepProportion_->isChecked();
  settings.widthMm = width_->text().toInt();
  settings.heightMm = height_->text().toInt();
  settings.position = std::max(1, positions_->checkedId());
  const PreviewLayout layout = LayOutPreview(settings, PagePreview::Area(settings));
  result_.printedWidthMm = layout.printedWidthMm;
  result_.printedHeightMm = layout.printedHeightMm;
  result_.withDrawing = withDrawing_ != nullptr && withDrawing_->isChecked();
  preview_->Show(layout, result_.withDrawing ? drawn_ : picture_);
}

void PageSetupDialog::ApplyTo(QPrinter& printer) const {
  printer.setPageSize(QPageSize(kPapers[std::max(0, paper_->currentIndex())]));
  printer.setPageOrientation(landscape_->isChecked() ? QPageLayout::Landscape
                                                     : QPageLayout::Portrait);
  printer.setPaperSource(kSources[std::max(0, source_->currentIndex())].source);
}

}  // namespace rd420::stills
