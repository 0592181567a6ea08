#pragma once

#include <QAction>
#include <QObject>
#include <array>

namespace rd420::viewer {

// Everything the presenter's tool strip and keys can ask for.
enum class PresenterAction {
  kPen,
  kHighlighter,
  kLine,
  kArrow,
  kRectangle,
  kEllipse,
  kText,
  kEraser,
  kUndo,
  kRedo,
  kClear,
  kRed,
  kBlue,
  kGreen,
  kYellow,
  kBlack,
  kWhite,
  kThin,
  kMedium,
  kThick,
  kSpotlightEllipse,
  kSpotlightRectangle,
  kMask,
  kCompare,
  kCompareFour,
  kRotate,
  kMirror,
  kLeave,  // Esc: out of spotlight, mask and compare
  kStrip,  // F3: the tool strip shown
  kCount
};

// The drawing tools, of which one at most is in hand.
inline constexpr PresenterAction kDrawingTools[] = {
    PresenterAction::kPen,   PresenterAction::kHighlighter, PresenterAction::kLine,
    PresenterAction::kArrow, PresenterAction::kRectangle,   PresenterAction::kEllipse,
    PresenterAction::kText,  PresenterAction::kEraser};

// The actions, made once for the presenter: Korean label, English tooltip,
// shortcut (on the main window) and object name "presenter.<name>" for
// tests. The tools of one group (drawing tool, colour, width) exclude each
// other.
class PresenterActions {
 public:
  // `window`: where the shortcuts work.
  PresenterActions(QObject* owner, QWidget* window);

  QAction* operator[](PresenterAction id) const { return actions_[static_cast<int>(id)]; }
  QColor Colour() const;
  // A drawing tool (pen to eraser) is in hand.
  bool ToolInHand() const;
  // The width chosen, 0 (thin) to 2 (thick).
  int WidthStep() const;

 private:
  std::array<QAction*, static_cast<int>(PresenterAction::kCount)> actions_{};
};

}  // namespace rd420::viewer
