#include "viewer/presenter/presenter.h"

namespace rd420::viewer {

using enum PresenterAction;

Presenter::Presenter(Viewer& viewer) : viewer_(viewer), actions_(this, viewer.Main()) {
  connect(actions_[kRotate], &QAction::triggered, this, [this] { Turn(1, false); });
  connect(actions_[kMirror], &QAction::triggered, this, [this] { Turn(0, true); });
}

Presenter::~Presenter() = default;

void Presenter::Turn(int quarterTurns, bool mirror) {
  Orientation orientation = Stage().GetOrientation();
  // A turn of the shown picture: mirrored, it runs the other way round.
  orientation.quarterTurns += orientation.mirrored ? -quarterTurns : quarterTurns;
  orientation.mirrored = orientation.mirrored != mirror;
  Stage().SetOrientation(orientation);
}

QImage Presenter::AsShown(const QImage& still, bool) const {
  return Oriented(still, viewer_.Main()->View()->Stage().GetOrientation());
}

bool Presenter::HasDrawing() const {
  return false;
}

bool Presenter::QuickSaveWithDrawing() const {
  return true;
}

std::vector<QWidget*> Presenter::Windows() const {
  return {};
}

}  // namespace rd420::viewer
