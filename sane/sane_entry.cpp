// The SANE 1.0 entry points, under the back-end's own names so the dll
// back-end finds them. No exception crosses them.

#include <sane/sane.h>

#include <memory>
#include <mutex>
#include <new>

#include "platform/message.h"
#include "sane/backend.h"
#include "sane/debug.h"

namespace {

using rd420::sane::Backend;
using rd420::sane::Debug;
using rd420::sane::Scanner;

constexpr SANE_Int kBuild = 1;

// Guards the back-end between init and exit. Calls on one handle come one at
// a time from the front-end, so a scan's own calls take no lock.
std::mutex g_mutex;
std::unique_ptr<Backend> g_backend;
rd420::MessageSink g_previousSink;

Scanner* AsScanner(SANE_Handle handle) {
  return static_cast<Scanner*>(handle);
}

template <typename Body>
SANE_Status Guarded(const char* call, Body body) {
  Debug(3, "%s", call);
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SANE_STATUS_NO_MEM;
  } catch (...) {
    Debug(1, "%s failed", call);
    return SANE_STATUS_IO_ERROR;
  }
}

}  // namespace

#define RD420_EXPORT extern "C" __attribute__((visibility("default")))

RD420_EXPORT SANE_Status sane_rd420_init(SANE_Int* version_code, SANE_Auth_Callback) {
  rd420::sane::InitDebug();
  return Guarded("sane_init", [&] {
    if (version_code != nullptr) {
      *version_code = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, SANE_CURRENT_MINOR, kBuild);
    }
    std::lock_guard lock(g_mutex);
    // The device link's messages become debug lines: a back-end shows no
    // windows and writes nothing to standard output.
    auto sink = [](const void*, const rd420::Message& message) {
      Debug(1, "%s: %s", message.caption.c_str(), message.text.c_str());
    };
    if (g_backend == nullptr) {
      g_previousSink = rd420::SetMessageSink(sink);
    }
    g_backend.reset();  // a second init without exit starts afresh
    g_backend = std::make_unique<Backend>(rd420::sane::BackendDeviceDirectory());
    return SANE_STATUS_GOOD;
  });
}

RD420_EXPORT void sane_rd420_exit(void) {
  Guarded("sane_exit", [] {
    std::lock_guard lock(g_mutex);
    if (g_backend != nullptr) {
      g_backend.reset();  // closes every camera still open
      rd420::SetMessageSink(std::move(g_previousSink));
    }
    return SANE_STATUS_GOOD;
  });
}

RD420_EXPORT SANE_Status sane_rd420_get_devices(const SANE_Device*** device_list, SANE_Bool) {
  return Guarded("sane_get_devices", [&] {
    std::lock_guard lock(g_mutex);
    if (g_backend == nullptr || device_list == nullptr) {
      return SANE_STATUS_INVAL;
    }
    *device_list = g_backend->Devices();
    return SANE_STATUS_GOOD;
  });
}

RD420_EXPORT SANE_Status sane_rd420_open(SANE_String_Const name, SANE_Handle* handle) {
  return Guarded("sane_open", [&] {
    std::lock_guard lock(g_mutex);
    if (g_backend == nullptr || handle == nullptr) {
      return SANE_STATUS_INVAL;
    }
    Scanner* scanner = nullptr;
    const SANE_Status status = g_backend->Open(name, &scanner);
    *handle = scanner;
    return status;
  });
}

RD420_EXPORT void sane_rd420_close(SANE_Handle handle) {
  Guarded("sane_close", [&] {
    std::lock_guard lock(g_mutex);
    if (g_backend != nullptr) {
      g_backend->Close(AsScanner(handle));
    }
    return SANE_STATUS_GOOD;
  });
}

RD420_EXPORT const SANE_Option_Descriptor* sane_rd420_get_option_descriptor(SANE_Handle handle,
                                                                            SANE_Int option) {
  return AsScanner(handle)->Descriptor(option);
}

RD420_EXPORT SANE_Status sane_rd420_control_option(SANE_Handle handle, SANE_Int option,
                                                   SANE_Action action, void* value,
                                                   SANE_Int* info) {
  return Guarded("sane_control_option",
                 [&] { return AsScanner(handle)->ControlOption(option, action, value, info); });
}

RD420_EXPORT SANE_Status sane_rd420_get_parameters(SANE_Handle handle, SANE_Parameters* params) {
  return Guarded("sane_get_parameters", [&] {
    if (params == nullptr) {
      return SANE_STATUS_INVAL;
    }
    *params = AsScanner(handle)->Parameters();
    return SANE_STATUS_GOOD;
  });
}

RD420_EXPORT SANE_Status sane_rd420_start(SANE_Handle handle) {
  return Guarded("sane_start", [&] { return AsScanner(handle)->Start(); });
}

RD420_EXPORT SANE_Status sane_rd420_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max_length,
                                         SANE_Int* length) {
  if (length == nullptr) {
    return SANE_STATUS_INVAL;
  }
  *length = 0;
  return Guarded("sane_read", [&] { return AsScanner(handle)->Read(data, max_length, length); });
}

// May come from a signal handler: no lock, no debug line, no allocation.
RD420_EXPORT void sane_rd420_cancel(SANE_Handle handle) {
  AsScanner(handle)->Cancel();
}

RD420_EXPORT SANE_Status sane_rd420_set_io_mode(SANE_Handle handle, SANE_Bool non_blocking) {
  return Guarded("sane_set_io_mode",
                 [&] { return AsScanner(handle)->SetIoMode(non_blocking == SANE_TRUE); });
}

// No descriptor tells when data is ready: a non-blocking front-end polls
// sane_read, which never blocks in that mode.
RD420_EXPORT SANE_Status sane_rd420_get_select_fd(SANE_Handle, SANE_Int*) {
  return SANE_STATUS_UNSUPPORTED;
}
