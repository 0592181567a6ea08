#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

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

// What the view window may ask of the data source, from any of its
// threads: the still hand-over, ResumeFlag and the close request.
struct SourcePort {
  std::function<void(std::span<const std::uint8_t> pixels, int width, int height)> handOverStill;
  std::function<bool()> resumeFlag;
  std::function<void()> requestClose;
};

// The seam where the data source's view window plugs in. DS_Entry calls it
// on the application's thread. The view window implements it and, when the
// user takes a still, calls DataSource::HandOverStill on its still thread.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // Called once by the data source that owns the window.
  virtual void Connect(SourcePort) {}
  // MSG_ENABLEDS: create the window owned by `parent` (and so open the
  // camera); show it when `showUi`. TWCC_SUCCESS once it is open, else
  // the condition code of the failure: TWCC_LOWMEMORY when it cannot be
  // created, TWCC_OPERATIONERROR when a hidden window has no picture to
  // offer (no camera to be reached); the window is then gone.
  virtual TW_UINT16 Open(TW_HANDLE parent, bool showUi) = 0;
  // MSG_DISABLEDS and MSG_CLOSEDS: destroy the window and stop the camera.
  // Returns only when its threads have ended.
  virtual void Close() = 0;
  // MSG_PROCESSEVENT: true when the event belonged to the window.
  virtual bool ProcessEvent(TW_EVENT& event) = 0;
  virtual ImageGeometry Geometry() const = 0;
  // A transfer that finds no still handed over (a hidden window): one fresh
  // still at the current geometry's size, bottom-up BGR rows. False when
  // the camera cannot deliver one.
  virtual bool TakeStill(std::vector<std::uint8_t>&, int&, int&) { return false; }
  // MSG_CLOSEDS and unloading, after Close: nothing of the window may keep
  // running (a GUI thread of its own).
  virtual void Release() {}
};

// Stands in where the source is built without Qt, and for tests of the
// triplets: enabling succeeds with nothing to show, no event is the source's, and the geometry is
// the view window's first-start default (4:3 camera, half window, always-full off).
class WindowlessView final : public ViewHost {
 public:
  TW_UINT16 Open(TW_HANDLE, bool) override { return TWCC_SUCCESS; }
  void Close() override {}
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override { return {}; }
};

}  // namespace rd420::twain
