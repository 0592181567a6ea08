#pragma once

#include <memory>

#include "twain/twain_protocol.h"

namespace rd420::twain {

// What decides the size of the picture handed to the application: the
// camera's aspect, the view window's display mode code (low four bits 1
// for the 1:1 window and full screen, 2 for half) and the always-full-
// resolution setting.
struct ImageGeometry {
  bool aspect43 = true;
  std::uint8_t displayMode = 2;
  bool alwaysFull = false;
};

// The seam where the data source's view window plugs in. DS_Entry calls it
// on the application's thread. The view window implements it and, when the
// user takes a still, calls DataSource::HandOverStill on its still thread.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // MSG_ENABLEDS: create the window owned by `parent` (and so open the
  // camera); show it when `showUi`. False when it cannot be created.
  virtual bool Open(TW_HANDLE parent, bool showUi) = 0;
  // MSG_DISABLEDS and MSG_CLOSEDS: destroy the window and stop the camera.
  // Returns only when its threads have ended.
  virtual void Close() = 0;
  // MSG_PROCESSEVENT: true when the event belonged to the window.
  virtual bool ProcessEvent(TW_EVENT& event) = 0;
  virtual ImageGeometry Geometry() const = 0;
};

// Stands in until the view window exists: enabling succeeds with nothing to
// show, no event is the source's, and the geometry is the view window's
// first-start default (4:3 camera, half window, always-full off).
class WindowlessView final : public ViewHost {
 public:
  bool Open(TW_HANDLE, bool) override { return true; }
  void Close() override {}
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override { return {}; }
};

}  // namespace rd420::twain
