// The one export of TORVELA_TWAIN.ds. The manager finds it with dlsym and
// calls it on the application's thread.

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#include "twain/data_source.h"
#ifdef RD420_TWAIN_VIEW_WINDOW
#include "twain/view_window.h"
#endif

namespace {

using namespace rd420::twain;

// Where the library itself lies: its templates are beside it.
std::filesystem::path ModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ModuleFolder), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  return std::filesystem::path(info.dli_fname).parent_path();
}

std::unique_ptr<ViewHost> MakeView() {
#ifdef RD420_TWAIN_VIEW_WINDOW
  return std::make_unique<ViewWindow>(ViewWindow::Settings{});
#else
  return std::make_unique<WindowlessView>();
#endif
}

// Built when the manager loads the library and gone when it unloads it, so
// each load starts with the attach values.
DataSource g_Source(ModuleFolder(), MakeView());

// An application that calls exit() without closing the source (a console
// program's Ctrl-C) would have the window's threads paint and its widgets
// end while exit() tears the toolkit down. A handler registered once the
// toolkit is up runs before that teardown: it stops and joins our threads
// and lets the widgets go. Registered from this library, it also runs, with
// nothing left to do, when the library is unloaded, and goes with it.
bool g_ExitHandlerRegistered = false;

void ReleaseViewAtExit() {
  g_Source.ReleaseView();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin,
                                                                     TW_UINT32 DG, TW_UINT16 DAT,
                                                                     TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
  const TW_UINT16 rc = g_Source.Entry(pOrigin, DG, DAT, MSG, pData);
  // Also after a failed one: the toolkit's thread may have started.
  if (DG == DG_CONTROL && DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS &&
      !g_ExitHandlerRegistered) {
    g_ExitHandlerRegistered = std::atexit(ReleaseViewAtExit) == 0;
  }
  return rc;
}
