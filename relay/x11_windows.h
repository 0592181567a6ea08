#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

struct xcb_connection_t;

namespace rd420::relay {

// The atom named `name`, made if the server has none yet; XCB_ATOM_NONE
// (0) when the server does not answer.
uint32_t InternAtom(xcb_connection_t* connection, const char* name);

// A connection of our own to the X server, to find other programs'
// top-level windows by title. Used by one thread at a time.
class X11Windows {
 public:
  // nullptr when no X server answers at $DISPLAY.
  static std::unique_ptr<X11Windows> Connect();
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  // True while some top-level window's title (_NET_WM_NAME or WM_NAME) is
  // exactly `title`, shown or hidden. With a window manager its client list
  // names the windows it has framed; the root's own children are the
  // windows of a display without one, and the withdrawn ones.
  bool TopLevelExists(std::string_view title);

 private:
  explicit X11Windows(xcb_connection_t* connection);

  xcb_connection_t* connection_;
  uint32_t clientList_ = 0;
  uint32_t netWmName_ = 0;
};

}  // namespace rd420::relay
