#include "viewer/presenter/compare.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <algorithm>

#include "viewer/main_window.h"
#include "viewer/presenter/presenter_style.h"

namespace rd420::viewer {
namespace {

using enum PresenterAction;

constexpr int kThumbnailWidth = 96;

QRectF Fitted(const QRectF& part, QSizeF shown) {
  const QSizeF size = shown.scaled(part.size(), Qt::KeepAspectRatio);
  return QRectF(part.center() - QPointF(size.width(), size.height()) / 2, size);
}

}  // namespace

std::vector<QRectF> CompareCells(const QRectF& area, QSizeF shown, CompareLayout layout) {
  const qreal halfWidth = area.width() / 2;
  if (layout == CompareLayout::kSideBySide) {
    return {Fitted(QRectF(area.topLeft(), QSizeF(halfWidth, area.height())), shown),
            Fitted(QRectF(area.left() + halfWidth, area.top(), halfWidth, area.height()), shown)};
  }
  const QSizeF quarter = area.size() / 2;
  std::vector<QRectF> cells;
  for (QPointF corner : {QPointF(0, 0), QPointF(1, 0), QPointF(0, 1), QPointF(1, 1)}) {
    const QPointF origin(area.left() + corner.x() * quarter.width(),
                         area.top() + corner.y() * quarter.height());
    cells.push_back(Fitted(QRectF(origin, quarter), shown));
  }
  return cells;
}

Compare::Compare(MainWindow& main, const PresenterActions& actions)
    : main_(main), actions_(actions) {
  connect(actions_[kCompare], &QAction::triggered, this,
          [this](bool on) { on ? Open(false) : Leave(); });
  connect(actions_[kCompareFour], &QAction::triggered, this, [this](bool on) { Open(on); });
  connect(actions_[kLeave], &QAction::triggered, this, &Compare::Leave);
  BuildStrip();
}

Compare::~Compare() {
  // The stage may paint once more before the window goes.
  if (main_.View()->Stage().Arrangement() == this) {
    main_.View()->Stage().SetArrangement(nullptr);
  }
}

void Compare::BuildStrip() {
  strip_ = std::make_unique<QWidget>(&main_, Qt::Tool | Qt::FramelessWindowHint);
  strip_->setObjectName(QStringLiteral("presenterCompareStrip"));
  strip_->setAttribute(Qt::WA_ShowWithoutActivating);
  // The thumbnails show whole: no padding, the frame marks the one shown.
  strip_->setStyleSheet(QString::fromLatin1(kPresenterStyle) +
                        QStringLiteral("QToolButton { padding: 1px; border-width: 2px; }"));
  strip_->installEventFilter(this);
  auto* row = new QHBoxLayout(strip_.get());
  row->setContentsMargins(6, 6, 6, 6);
  auto* caption = new QLabel(QStringLiteral("비교"), strip_.get());
  caption->setToolTip(
      QStringLiteral("Stills of this session: click one to show it beside the "
                     "live picture, again to take it out"));
  row->addWidget(caption);
  empty_ = new QLabel(QStringLiteral("정지 화면을 찍으면 여기에 나타납니다"), strip_.get());
  empty_->setToolTip(QStringLiteral("The stills you hold appear here"));
  row->addWidget(empty_);
  for (size_t index = 0; index < kKept; ++index) {
    auto* button = new QToolButton(strip_.get());
    button->setObjectName(QStringLiteral("presenter.compare_still_%1").arg(index));
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
    connect(button, &QToolButton::clicked, this,
            [this, index] { Toggle(static_cast<int>(index)); });
    row->addWidget(button);
    thumbnails_[index] = button;
  }
  for (PresenterAction id : {kCompareFour, kLeave}) {
    auto* button = new QToolButton(strip_.get());
    button->setDefaultAction(actions_[id]);
    button->setFocusPolicy(Qt::NoFocus);
    row->addWidget(button);
  }
  // Esc works over the strip too.
  strip_->addAction(actions_[kLeave]);
}

void Compare::Keep(const QImage& still) {
  stills_.push_back(
      Still{still,
            nextSerial_++,
            QPixmap::fromImage(still.scaledToWidth(kThumbnailWidth, Qt::SmoothTransformation)),
            {},
            {}});
  if (stills_.size() > kKept) {
    std::erase(shown_, stills_.front().serial);
    stills_.pop_front();
  }
  Arrange();
}

void Compare::Toggle(int index) {
  if (index < 0 || static_cast<size_t>(index) >= stills_.size()) {
    return;
  }
  const int serial = stills_[index].serial;
  if (std::erase(shown_, serial) == 0) {
    if (shown_.size() == kMostShown) {
      shown_.erase(shown_.begin());  // the one brought in first makes room
    }
    shown_.push_back(serial);
  }
  Arrange();
}

void Compare::Open(bool four) {
  const bool wasOn = std::exchange(on_, true);
  four_ = four;
  if (!wasOn) {
    // Over the bottom of the picture, where side by side leaves a band.
    strip_->adjustSize();
    QRect picture = main_.View()->Newest().Newest().placement.target;
    if (picture.isEmpty()) {
      picture = main_.rect();
    }
    const QPoint place(picture.center().x() - strip_->width() / 2,
                       picture.bottom() - strip_->height() - 8);
    strip_->move(main_.mapToGlobal(place));
    strip_->show();
  }
  Arrange();
  if (!wasOn) {
    emit activeChanged();
  }
}

void Compare::Leave() {
  const bool wasOn = std::exchange(on_, false);
  four_ = false;
  shown_.clear();
  strip_->hide();
  Arrange();
  if (wasOn) {
    emit activeChanged();
  }
}

CompareLayout Compare::Layout() const {
  return four_ || shown_.size() > 1 ? CompareLayout::kFour : CompareLayout::kSideBySide;
}

std::vector<QRectF> Compare::Cells(const QRectF& area) const {
  // The area has the picture's proportion; turned a quarter, so is each
  // cell.
  const bool sideways = main_.View()->Stage().GetOrientation().quarterTurns % 2 != 0;
  return CompareCells(area, sideways ? area.size().transposed() : area.size(), Layout());
}

QRectF Compare::LiveCell(const QRectF& area) const {
  return Cells(area).front();
}

void Compare::Paint(QPainter& painter, const QRectF& area, Orientation orientation) const {
  const std::vector<QRectF> cells = Cells(area);
  for (size_t index = 0; index < shown_.size() && index + 1 < cells.size(); ++index) {
    const auto still = std::find_if(stills_.begin(), stills_.end(), [&](const Still& kept) {
      return kept.serial == shown_[index];
    });
    const QSizeF picture = PictureSize(still->picture.size());
    const QRect place = PictureToView(picture, orientation, cells[index + 1])
                            .mapRect(QRectF(QPointF(0, 0), picture))
                            .toRect();
    if (still->scaled.size() != place.size() || still->scaledFor != orientation) {
      still->scaled = Oriented(still->picture, orientation)
                          .scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      still->scaledFor = orientation;
    }
    painter.drawImage(place.topLeft(), still->scaled);
  }
}

void Compare::Arrange() {
  PictureStage& stage = main_.View()->Stage();
  const StageArrangement* arrangement = on_ && (four_ || !shown_.empty()) ? this : nullptr;
  stage.SetArrangement(arrangement);
  actions_[kCompare]->setChecked(on_);
  actions_[kCompareFour]->setChecked(on_ && four_);
  empty_->setVisible(stills_.empty());
  for (size_t index = 0; index < kKept; ++index) {
    QToolButton* button = thumbnails_[index];
    button->setVisible(index < stills_.size());
    if (index >= stills_.size()) {
      continue;
    }
    const Still& still = stills_[index];
    button->setIcon(still.thumbnail);
    button->setIconSize(still.thumbnail.size());
    button->setChecked(std::find(shown_.begin(), shown_.end(), still.serial) != shown_.end());
    button->setToolTip(QStringLiteral("Still %1 of %2: click to show it beside the live picture, "
                                      "again to take it out")
                           .arg(index + 1)
                           .arg(stills_.size()));
  }
  if (strip_->isVisible()) {
    strip_->adjustSize();
  }
}

bool Compare::eventFilter(QObject* watched, QEvent* event) {
  if (watched == strip_.get() && event->type() == QEvent::Close) {
    Leave();  // closed by the window manager: as Esc
  }
  return false;
}

}  // namespace rd420::viewer
