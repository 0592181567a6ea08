// A console TWAIN application that ends with exit(0) without closing the
// source, as a real one does on Ctrl-C: `exit_host <point>` opens and
// enables the source (ShowUI false, or true with "shown"), goes on to
// <point> and exits there; with "callback" the window is shown without a
// camera and the application exits from its callback, on the source's
// thread that asks it to close. The source's module stays loaded, as an
// application's would. Exit status 0 when the source let it end cleanly.

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/twain/standin_dsm.h"
#include "twain/twain_protocol.h"

using namespace rd420::twain;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: exit_host enabled|shown|disabled|callback\n");
    return 2;
  }
  const std::string point = argv[1];
  void* library = dlopen(TORVELA_TWAIN_DS_PATH, RTLD_NOW | RTLD_LOCAL);
  auto entry =
      library != nullptr ? reinterpret_cast<DSENTRYPROC>(dlsym(library, "DS_Entry")) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "cannot load the source: %s\n", dlerror());
    return 2;
  }
  if (point == "callback") {
    setenv("RD420_DEVICE_DIR", "/nonexistent-rd420", 1);
    void* manager = dlopen(STANDIN_DSM_PATH, RTLD_NOW | RTLD_GLOBAL);
    auto setCallback =
        manager != nullptr
            ? reinterpret_cast<StandInSetCallbackFn>(dlsym(manager, "StandInSetCallback"))
            : nullptr;
    if (setCallback == nullptr) {
      std::fprintf(stderr, "cannot load the manager: %s\n", dlerror());
      return 2;
    }
    setCallback([](void*) { std::exit(0); }, nullptr);
  }
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  TW_IDENTITY identity{};
  identity.Id = 42;
  TW_USERINTERFACE ui{point == "shown" || point == "callback" ? kTwTrue : kTwFalse, kTwFalse,
                      nullptr};
  if (entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity) != TWRC_SUCCESS ||
      entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) {
    std::fprintf(stderr, "cannot enable the source\n");
    return 2;
  }
  // Frames are read, converted and painted meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (point == "callback") {
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::fprintf(stderr, "no close request\n");
    return 3;
  }
  if (point == "disabled" &&
      entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS) {
    std::fprintf(stderr, "cannot disable the source\n");
    return 2;
  }
  std::exit(0);
}
