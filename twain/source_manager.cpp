#include "twain/source_manager.h"

#include <dlfcn.h>

namespace rd420::twain {

void SendToSourceManager(TW_IDENTITY& source, TW_IDENTITY& application, TW_UINT16 msg) {
  // RTLD_NOLOAD: the copy the application already has, or nothing.
  void* library = dlopen(kSourceManagerLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) {
    return;
  }
  auto entry = reinterpret_cast<DSMENTRYPROC>(dlsym(library, "DSM_Entry"));
  if (entry != nullptr) {
    entry(&source, &application, DG_CONTROL, DAT_NULL, msg, nullptr);
  }
  dlclose(library);
}

}  // namespace rd420::twain
