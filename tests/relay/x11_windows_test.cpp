// The relay's window look-up against windows made here through X11
// itself, as a window manager and other programs leave them.
#include "relay/x11_windows.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <string>

#include "relay/x11_round_trip.h"

namespace rd420::relay::test {
namespace {

class X11WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection_), 0);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    lookup_ = X11Windows::Connect();
    ASSERT_TRUE(lookup_);
  }
  void TearDown() override {
    xcb_delete_property(connection_, root_, Atom("_NET_CLIENT_LIST"));
    xcb_disconnect(connection_);  // its windows go with it
  }

  xcb_atom_t Atom(const char* name) { return InternAtom(connection_, name); }
  xcb_window_t Window(xcb_window_t parent) {
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    return window;
  }
  void Name(xcb_window_t window, const char* property, const char* type, const std::string& text) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, Atom(property), Atom(type), 8,
                        text.size(), text.data());
  }
  bool Exists(const char* title) {
    RoundTrip(connection_);
    return lookup_->TopLevelExists(title);
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  std::unique_ptr<X11Windows> lookup_;
};

// Catches: a title matched by prefix or without case, or one property of
// the two not read.
TEST_F(X11WindowsTest, MatchesEitherTitleExactly) {
  Name(Window(root_), "_NET_WM_NAME", "UTF8_STRING", "TORVELA View Panel");
  Name(Window(root_), "WM_NAME", "STRING", "TORVELA VAV Eduruzu");
  Name(Window(root_), "WM_NAME", "STRING", "TORVELA View Panel 2");
  Name(Window(root_), "_NET_WM_NAME", "UTF8_STRING", "torvela view pane");
  EXPECT_TRUE(Exists("TORVELA View Panel"));
  EXPECT_TRUE(Exists("TORVELA VAV Eduruzu"));
  EXPECT_FALSE(Exists("TORVELA View Pane"));
  EXPECT_FALSE(Exists("torvela view panel"));
  EXPECT_FALSE(Exists("TORVELA VAV"));
}

// Catches: only the root's children looked at, which under a reparenting
// window manager are its frames, not the programs' windows.
TEST_F(X11WindowsTest, FindsWindowsInTheWindowManagersClientList) {
  const xcb_window_t frame = Window(root_);
  const xcb_window_t client = Window(frame);
  Name(client, "_NET_WM_NAME", "UTF8_STRING", "TORVELA VAV Eduruzu");
  EXPECT_FALSE(Exists("TORVELA VAV Eduruzu"));  // a child window is no top-level one
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, Atom("_NET_CLIENT_LIST"),
                      XCB_ATOM_WINDOW, 32, 1, &client);
  EXPECT_TRUE(Exists("TORVELA VAV Eduruzu"));
  xcb_destroy_window(connection_, frame);
  EXPECT_FALSE(Exists("TORVELA VAV Eduruzu"));  // a stale list entry names no window
}

}  // namespace
}  // namespace rd420::relay::test
