#include "platform/display_check.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace rd420 {
namespace {

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// Whether Qt will use xcb and nothing else.
bool OnlyXcb(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-platform" || argument == "--platform") {
      return false;
    }
  }
  const std::string_view platform = Variable("QT_QPA_PLATFORM");
  if (!platform.empty()) {
    return platform.find(';') == std::string_view::npos &&
           platform.substr(0, platform.find(':')) == "xcb";
  }
  // A Wayland session may give Qt its Wayland platform first.
  return Variable("WAYLAND_DISPLAY").empty();
}

}  // namespace

bool DisplayAnswers(int argc, char** argv) {
  if (!OnlyXcb(argc, argv)) {
    return true;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool answers = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (!answers) {
    const std::string_view path = argc > 0 ? argv[0] : "";
    const std::string_view program = path.substr(path.rfind('/') + 1);  // npos + 1 is 0
    const std::string_view display = Variable("DISPLAY");
    if (display.empty()) {
      std::fprintf(stderr, "%.*s: no display to show windows on (DISPLAY is not set)\n",
                   static_cast<int>(program.size()), program.data());
    } else {
      std::fprintf(stderr, "%.*s: the X server of display \"%.*s\" does not answer\n",
                   static_cast<int>(program.size()), program.data(),
                   static_cast<int>(display.size()), display.data());
    }
  }
  return answers;
}

}  // namespace rd420
