#include "viewer/presenter/presenter_actions.h"

#include <QActionGroup>
#include <QWidget>

namespace rd420::viewer {
namespace {

using enum PresenterAction;

// kToggle: checkable on its own; the others exclude each other.
enum class Group { kNone, kTool, kColour, kWidth, kToggle };

struct ActionSpec {
  PresenterAction id;
  const char* name;
  const char* label;    // Korean, as the viewer's other texts
  const char* tooltip;  // English
  const char* shortcut;
  Group group = Group::kNone;
  QRgb colour = 0;
};

// clang-format off
constexpr ActionSpec kSpecs[] = {
    {kPen, "pen", "펜", "Pen", "", Group::kTool},
    {kHighlighter, "highlighter", "형광펜", "Highlighter", "", Group::kTool},
    {kLine, "line", "직선", "Straight line", "", Group::kTool},
    {kArrow, "arrow", "화살표", "Arrow", "", Group::kTool},
    {kRectangle, "rectangle", "사각형", "Rectangle", "", Group::kTool},
    {kEllipse, "ellipse", "타원", "Ellipse", "", Group::kTool},
    {kText, "text", "글자", "Text label", "", Group::kTool},
    {kEraser, "eraser", "지우개", "Eraser", "", Group::kTool},
    {kUndo, "undo", "실행 취소", "Undo (Ctrl+Z)", "Ctrl+Z"},
    {kRedo, "redo", "다시 실행", "Redo (Ctrl+Y)", "Ctrl+Y"},
    {kClear, "clear", "모두 지우기", "Clear the drawing", ""},
    {kRed, "red", "빨강", "Red", "", Group::kColour, 0xffe53935},
    {kBlue, "blue", "파랑", "Blue", "", Group::kColour, 0xff1e88e5},
    {kGreen, "green", "초록", "Green", "", Group::kColour, 0xff43a047},
    {kYellow, "yellow", "노랑", "Yellow", "", Group::kColour, 0xfffdd835},
    {kBlack, "black", "검정", "Black", "", Group::kColour, 0xff000000},
    {kWhite, "white", "흰색", "White", "", Group::kColour, 0xffffffff},
    {kThin, "thin", "가늘게", "Thin", "", Group::kWidth},
    {kMedium, "medium", "보통", "Medium", "", Group::kWidth},
    {kThick, "thick", "굵게", "Thick", "", Group::kWidth},
    {kSpotlightEllipse, "spotlight_ellipse", "스포트라이트(원)", "Spotlight, round", "", Group::kToggle},
    {kSpotlightRectangle, "spotlight_rectangle", "스포트라이트(사각)", "Spotlight, square", "", Group::kToggle},
    {kMask, "mask", "가리개", "Mask", "", Group::kToggle},
    {kCompare, "compare", "비교", "Compare stills with the live picture", "", Group::kToggle},
    {kCompareFour, "compare_four", "2x2 비교", "Compare in 2 x 2", "", Group::kToggle},
    {kRotate, "rotate", "회전", "Rotate 90 degrees clockwise", ""},
    {kMirror, "mirror", "좌우 반전", "Mirror left-right", ""},
    {kLeave, "leave", "나가기", "Back to the live picture only (Esc)", "Esc"},
    {kStrip, "strip", "그리기 도구", "Presenter tools (F3)", "F3", Group::kToggle},
};
// clang-format on
static_assert(std::size(kSpecs) == static_cast<size_t>(kCount));

}  // namespace

PresenterActions::PresenterActions(QObject* owner, QWidget* window) {
  QActionGroup* groups[] = {nullptr, new QActionGroup(owner), new QActionGroup(owner),
                            new QActionGroup(owner), nullptr};
  for (const ActionSpec& spec : kSpecs) {
    auto* action = new QAction(QString::fromUtf8(spec.label), owner);
    action->setObjectName(QStringLiteral("presenter.") + QString::fromLatin1(spec.name));
    action->setToolTip(QString::fromUtf8(spec.tooltip));
    if (*spec.shortcut != '\0') {
      action->setShortcut(QKeySequence(QString::fromLatin1(spec.shortcut)));
      action->setShortcutContext(Qt::WindowShortcut);
      window->addAction(action);
    }
    if (spec.group != Group::kNone) {
      action->setCheckable(true);
    }
    if (QActionGroup* group = groups[static_cast<int>(spec.group)]) {
      group->addAction(action);
    }
    if (spec.colour != 0) {
      action->setData(QColor::fromRgba(spec.colour));
    }
    actions_[static_cast<int>(spec.id)] = action;
  }
  // A second click on the drawing tool puts it down: the mouse moves the
  // window again.
  groups[static_cast<int>(Group::kTool)]->setExclusionPolicy(
      QActionGroup::ExclusionPolicy::ExclusiveOptional);
  (*this)[kRed]->setChecked(true);
  (*this)[kMedium]->setChecked(true);
  (*this)[kLeave]->setEnabled(false);  // Esc is the viewer's until a tool holds it
}

QColor PresenterActions::Colour() const {
  for (PresenterAction id : {kRed, kBlue, kGreen, kYellow, kBlack, kWhite}) {
    if ((*this)[id]->isChecked()) {
      return (*this)[id]->data().value<QColor>();
    }
  }
  return Qt::red;
}

bool PresenterActions::ToolInHand() const {
  for (PresenterAction id : kDrawingTools) {
    if ((*this)[id]->isChecked()) {
      return true;
    }
  }
  return false;
}

int PresenterActions::WidthStep() const {
  return (*this)[kThin]->isChecked() ? 0 : (*this)[kThick]->isChecked() ? 2 : 1;
}

}  // namespace rd420::viewer
