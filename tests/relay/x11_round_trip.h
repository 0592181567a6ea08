#pragma once

#include <xcb/xcb.h>

#include <cstdlib>

namespace rd420::relay::test {

// A round trip to the X server: every request sent before it has been
// carried out, and every event it caused has arrived, once it returns.
inline void RoundTrip(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace rd420::relay::test
