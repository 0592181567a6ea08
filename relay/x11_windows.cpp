#include "relay/x11_windows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace rd420::relay {

namespace {

// Frees what xcb hands back with malloc.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

bool ValueIs(xcb_get_property_reply_t* reply, std::string_view text) {
  if (reply == nullptr || reply->format != 8 || reply->bytes_after != 0) {
    return false;
  }
  const auto length = static_cast<size_t>(xcb_get_property_value_length(reply));
  return length == text.size() &&
         std::memcmp(xcb_get_property_value(reply), text.data(), length) == 0;
}

}  // namespace

uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
  const auto reply = Owned(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr));
  return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

std::unique_ptr<X11Windows> X11Windows::Connect() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<X11Windows>(new X11Windows(connection));
}

X11Windows::X11Windows(xcb_connection_t* connection)
    : connection_(connection),
      clientList_(InternAtom(connection, "_NET_CLIENT_LIST")),
      netWmName_(InternAtom(connection, "_NET_WM_NAME")) {
}

X11Windows::~X11Windows() {
  xcb_disconnect(connection_);
}

bool X11Windows::TopLevelExists(std::string_view title) {
  std::vector<xcb_window_t> windows;
  for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection_)); roots.rem != 0;
       xcb_screen_next(&roots)) {
    const xcb_window_t root = roots.data->root;
    const auto clients = Owned(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root, clientList_, XCB_ATOM_WINDOW, 0, 65536),
        nullptr));
    if (clients && clients->format == 32) {
      const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(clients.get()));
      windows.insert(windows.end(), ids, ids + xcb_get_property_value_length(clients.get()) / 4);
    }
    const auto tree =
        Owned(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr));
    if (tree) {
      const xcb_window_t* children = xcb_query_tree_children(tree.get());
      windows.insert(windows.end(), children,
                     children + xcb_query_tree_children_length(tree.get()));
    }
  }
  // Every request first, then the replies: one round trip for all windows.
  // A title one byte longer than ours shows as bytes_after and fails too.
  const auto words = static_cast<uint32_t>(title.size() / 4 + 1);
  std::vector<xcb_get_property_cookie_t> cookies;
  cookies.reserve(windows.size() * 2);
  for (const xcb_window_t window : windows) {
    cookies.push_back(
        xcb_get_property(connection_, 0, window, netWmName_, XCB_GET_PROPERTY_TYPE_ANY, 0, words));
    cookies.push_back(xcb_get_property(connection_, 0, window, XCB_ATOM_WM_NAME,
                                       XCB_GET_PROPERTY_TYPE_ANY, 0, words));
  }
  bool found = false;
  for (const xcb_get_property_cookie_t cookie : cookies) {
    // A window that went away in between answers with an error: no title.
    // Taken here, an error does not pile up among the events nobody reads.
    xcb_generic_error_t* error = nullptr;
    const auto reply = Owned(xcb_get_property_reply(connection_, cookie, &error));
    std::free(error);
    found = found || ValueIs(reply.get(), title);
  }
  return found;
}

}  // namespace rd420::relay
