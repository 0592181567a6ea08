#pragma once

#include <QImage>
#include <QWidget>
#include <vector>

namespace rd420::viewer {

// The presenter's tools over the live picture (drawing, spotlight and
// mask, compare, rotate and mirror), as the viewer sees them. The viewer
// program makes them once the windows are built; the data source has none.
// GUI thread only.
class PresenterTools {
 public:
  virtual ~PresenterTools() = default;
  // `still` (upright, as the camera took it) as the picture is shown now:
  // turned and mirrored, and with the drawing burnt in when `withDrawing`;
  // null when that is the still itself.
  virtual QImage AsShown(const QImage& still, bool withDrawing) const = 0;
  // There is a drawing to burn in.
  virtual bool HasDrawing() const = 0;
  // Quick saves burn the drawing in (the settings' choice).
  virtual bool QuickSaveWithDrawing() const = 0;
  // The tools' own windows, which end and take keys with the viewer's.
  virtual std::vector<QWidget*> Windows() const = 0;
};

}  // namespace rd420::viewer
