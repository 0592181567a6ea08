// The one export of TORVELA_TWAIN.ds. The manager finds it with dlsym and
// calls it on the application's thread.

#include <dlfcn.h>

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

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin,
                                                                     TW_UINT32 DG, TW_UINT16 DAT,
                                                                     TW_UINT16 MSG,
                                                                     TW_MEMREF pData) {
  return g_Source.Entry(pOrigin, DG, DAT, MSG, pData);
}
