// A console TWAIN application that ends with exit(0) without closing the
// source, as a real one does on Ctrl-C: `exit_host <point>` opens and
// enables the source (ShowUI false, or true with "shown"), goes on to
// <point> and exits there. The source's module stays loaded, as an
// application's would. Exit status 0 when the source let it end cleanly.

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "twain/twain_protocol.h"

using namespace rd420::twain;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: exit_host enabled|shown|disabled\n");
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
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  TW_IDENTITY identity{};
  identity.Id = 42;
  TW_USERINTERFACE ui{point == "shown" ? kTwTrue : kTwFalse, kTwFalse, nullptr};
  if (entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity) != TWRC_SUCCESS ||
      entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) {
    std::fprintf(stderr, "cannot enable the source\n");
    return 2;
  }
  // Frames are read, converted and painted meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (point == "disabled" &&
      entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS) {
    std::fprintf(stderr, "cannot disable the source\n");
    return 2;
  }
  std::exit(0);
}
