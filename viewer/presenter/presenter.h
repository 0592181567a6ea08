#pragma once

#include <QObject>
#include <memory>

#include "viewer/presenter/compare.h"
#include "viewer/presenter/drawing_input.h"
#include "viewer/presenter/focus.h"
#include "viewer/presenter/presenter_actions.h"
#include "viewer/presenter/presenter_settings.h"
#include "viewer/presenter/tool_strip.h"
#include "viewer/presenter_tools.h"
#include "viewer/viewer.h"

namespace rd420::viewer {

// The presenter's tools over the viewer's main window: their actions and
// keys, the orientation of the shown picture, and the parts that draw on
// it. Made by the viewer program once the windows exist. GUI thread only.
class Presenter : public QObject, public PresenterTools {
  Q_OBJECT

 public:
  explicit Presenter(Viewer& viewer);
  ~Presenter() override;

  const PresenterActions& Actions() const { return actions_; }
  DrawingInput& DrawingPart() { return drawingInput_; }
  ToolStrip& Strip() { return *strip_; }
  PictureStage& Stage() { return viewer_.Main()->View()->Stage(); }
  const Focus& Spotlights() const { return focus_; }
  Compare& Comparison() { return compare_; }

  QImage AsShown(const QImage& still, bool withDrawing) const override;
  bool HasDrawing() const override;
  bool QuickSaveWithDrawing() const override;
  std::vector<QWidget*> Windows() const override;

  // The drawing a still takes when asked to: the presenter's own, or one
  // a test puts in its place (it must outlive the presenter's use).
  void SetDrawingLayer(const PictureLayer* drawing) { drawing_ = drawing; }

 private:
  void Turn(int quarterTurns, bool mirror);
  // Esc is the tools' while one it leaves is on, the viewer's otherwise.
  void UpdateLeave();

  Viewer& viewer_;
  PresenterActions actions_;
  StoredPresenterSettings settings_;
  DrawingInput drawingInput_;
  std::unique_ptr<ToolStrip> strip_;
  const PictureLayer* drawing_ = nullptr;
  // The tool strip and the compare strip: they end and take keys with the
  // viewer's windows.
  std::vector<QWidget*> windows_;
  Focus focus_;
  Compare compare_;
};

}  // namespace rd420::viewer
