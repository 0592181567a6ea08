#include "viewer/presenter/presenter.h"

namespace rd420::viewer {

using enum PresenterAction;

Presenter::Presenter(Viewer& viewer)
    : viewer_(viewer),
      actions_(this, viewer.Main()),
      settings_(viewer.SettingsFile(), *viewer.OptionsDialog()),
      drawingInput_(*viewer.Main(), actions_),
      strip_(std::make_unique<ToolStrip>(*viewer.Main(), actions_)),
      focus_(*viewer.Main(), actions_),
      compare_(*viewer.Main(), actions_) {
  Stage().SetOrientation(settings_.Current().orientation);
  SetDrawingLayer(&drawingInput_.Marks());
  Stage().AddLayer(&drawingInput_.Marks());
  connect(actions_[kRotate], &QAction::triggered, this, [this] { Turn(1, false); });
  connect(actions_[kMirror], &QAction::triggered, this, [this] { Turn(0, true); });
  connect(&focus_, &Focus::activeChanged, this, &Presenter::UpdateLeave);
  connect(&compare_, &Compare::activeChanged, this, &Presenter::UpdateLeave);
  connect(&viewer, &Viewer::stillHeld, &compare_, &Compare::Keep);
  windows_ = {strip_.get(), compare_.Strip()};
}

Presenter::~Presenter() {
  // The picture control outlives the parts it paints.
  Stage().Clear();
}

void Presenter::Turn(int quarterTurns, bool mirror) {
  Orientation orientation = Stage().GetOrientation();
  // A turn of the shown picture: mirrored, it runs the other way round.
  orientation.quarterTurns += orientation.mirrored ? -quarterTurns : quarterTurns;
  orientation.mirrored = orientation.mirrored != mirror;
  Stage().SetOrientation(orientation);
  settings_.SetOrientation(Stage().GetOrientation());
}

QImage Presenter::AsShown(const QImage& still, bool withDrawing) const {
  const Orientation orientation = viewer_.Main()->View()->Stage().GetOrientation();
  const bool drawn = withDrawing && HasDrawing();
  if (orientation == Orientation{} && !drawn) {
    return {};  // the still as taken: no copy
  }
  QImage shown = Oriented(still, orientation);
  if (drawn) {
    shown = shown.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&shown);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF whole(shown.rect());
    drawing_->Paint(painter, PictureToView(PictureSize(still.size()), orientation, whole), whole);
  }
  return shown;
}

bool Presenter::HasDrawing() const {
  return drawing_ != nullptr && !drawing_->Empty();
}

bool Presenter::QuickSaveWithDrawing() const {
  return settings_.Current().QuickSaveDrawing;
}

std::vector<QWidget*> Presenter::Windows() const {
  return windows_;
}

void Presenter::UpdateLeave() {
  actions_[kLeave]->setEnabled(focus_.Active() || compare_.Active());
}

}  // namespace rd420::viewer
