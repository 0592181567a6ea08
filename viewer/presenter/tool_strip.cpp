#include "viewer/presenter/tool_strip.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "viewer/control_ids.h"
#include "viewer/presenter/presenter_style.h"

namespace rd420::viewer {
namespace {

using enum PresenterAction;

constexpr ButtonSpec kColumnButton{kIdPresenter,     641, 111, 17, 17, 480, 481, 482,
                                   "그리기 도구(F3)"};
constexpr int kRowStep = 18;  // the column's buttons stand 18 rows apart
constexpr int kGap = 4;       // between the main window and the strip

QIcon Swatch(const QColor& colour) {
  QPixmap pixmap(14, 14);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(0x4b, 0x52, 0x5d));
  painter.setBrush(colour);
  painter.drawRect(QRectF(0.5, 0.5, 13, 13));
  return QIcon(pixmap);
}

}  // namespace

ToolStrip::ToolStrip(MainWindow& main, const PresenterActions& actions)
    : QWidget(&main, Qt::Tool | Qt::FramelessWindowHint),
      main_(main),
      actions_(actions),
      above_(main.Button(kIdAbout)),
      columnButton_(new SkinButton(kColumnButton, &main)) {
  setObjectName(QStringLiteral("presenterStrip"));
  setWindowTitle(actions_[kStrip]->text());
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(QString::fromLatin1(kPresenterStyle));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 6);
  layout->setSpacing(3);
  auto* title = new QLabel(actions_[kStrip]->text(), this);
  title->setToolTip(actions_[kStrip]->toolTip());
  layout->addWidget(title);
  AddGroup("그리기", {kPen, kHighlighter, kLine, kArrow, kRectangle, kEllipse, kText, kEraser}, 4);
  AddGroup("색", {kRed, kBlue, kGreen, kYellow, kBlack, kWhite}, 6);
  AddGroup("굵기", {kThin, kMedium, kThick}, 3);
  AddGroup("편집", {kUndo, kRedo, kClear}, 3);
  AddGroup("가리기", {kSpotlightEllipse, kSpotlightRectangle, kMask, kLeave}, 2);
  AddGroup("비교", {kCompare, kCompareFour}, 2);
  AddGroup("돌리기", {kRotate, kMirror}, 2);
  // The keys work while the strip is the active window too.
  for (int i = 0; i < static_cast<int>(kCount); ++i) {
    QAction* action = actions_[static_cast<PresenterAction>(i)];
    if (!action->shortcut().isEmpty()) {
      addAction(action);
    }
  }

  connect(actions_[kStrip], &QAction::toggled, this, [this](bool on) {
    if (on) {
      Place();
    }
    setVisible(on);
  });
  connect(columnButton_, &QAbstractButton::clicked, actions_[kStrip], &QAction::toggle);
  connect(&main_, &MainWindow::moved, this, [this] {
    if (isVisible()) {
      Place();
    }
  });
  if (above_ != nullptr) {
    above_->installEventFilter(this);
  }
  FollowAbove();
}

ToolStrip::~ToolStrip() {
  delete columnButton_;
}

void ToolStrip::AddGroup(const char* caption, std::initializer_list<PresenterAction> ids,
                         int perRow) {
  auto* label = new QLabel(QString::fromUtf8(caption), this);
  layout()->addWidget(label);
  auto* grid = new QGridLayout;
  grid->setSpacing(2);
  int at = 0;
  for (const PresenterAction id : ids) {
    QAction* action = actions_[id];
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setObjectName(action->objectName());
    if (action->data().typeId() == QMetaType::QColor) {
      action->setIcon(Swatch(action->data().value<QColor>()));
      button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
      button->setToolButtonStyle(Qt::ToolButtonTextOnly);
      button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    grid->addWidget(button, at / perRow, at % perRow);
    ++at;
  }
  static_cast<QVBoxLayout*>(layout())->addLayout(grid);
}

void ToolStrip::Place() {
  adjustSize();
  const QRect window = main_.frameGeometry();
  QScreen* screen = QGuiApplication::screenAt(window.center());
  if (screen == nullptr) {
    screen = main_.screen();
  }
  const QRect monitor = screen->availableGeometry();
  const QSize size = frameGeometry().size().expandedTo(sizeHint());
  int x = window.right() + 1 + kGap;
  if (x + size.width() > monitor.right() + 1) {
    x = window.left() - kGap - size.width();
    if (x < monitor.left()) {
      x = monitor.right() + 1 - size.width();
    }
  }
  const int y = std::clamp(window.top(), monitor.top(),
                           std::max(monitor.top(), monitor.bottom() + 1 - size.height()));
  move(x, y);
}

void ToolStrip::FollowAbove() {
  if (above_ == nullptr) {
    return;
  }
  columnButton_->move(above_->pos() + QPoint(0, kRowStep));
  columnButton_->setVisible(!above_->isHidden());
}

bool ToolStrip::eventFilter(QObject* watched, QEvent* event) {
  // The display modes place the column by id: the button keeps under the
  // one above it wherever that goes.
  if (watched == above_ && (event->type() == QEvent::Move || event->type() == QEvent::Show ||
                            event->type() == QEvent::Hide)) {
    FollowAbove();
  }
  return false;
}

void ToolStrip::hideEvent(QHideEvent* event) {
  if (event->spontaneous()) {
    return;  // minimised with the main window: still open
  }
  actions_[kStrip]->setChecked(false);
  // The mouse moves the window again; the drawing stays shown.
  for (const PresenterAction tool : kDrawingTools) {
    actions_[tool]->setChecked(false);
  }
}

void ToolStrip::mousePressEvent(QMouseEvent* event) {
  // Captionless: a press on the strip's background moves it.
  if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
    windowHandle()->startSystemMove();
  }
}

}  // namespace rd420::viewer
