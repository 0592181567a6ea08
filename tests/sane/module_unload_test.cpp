// The built back-end as the dll back-end uses it: loaded with dlopen, its
// camera opened and driven, then sane_exit and dlclose, again and again.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sane/sane.h>

#include <cstdlib>
#include <string>

#include "support/simulator_process.h"

namespace rd420::test {
namespace {

const std::string kModulePath = SANE_BACKEND_DIR "/libsane-rd420.so.1";

template <typename Function>
Function* Entry(void* module, const char* name) {
  return reinterpret_cast<Function*>(dlsym(module, name));
}

// Opens the first camera and switches its lamp a few times: each switch
// and the open's status poll is a request on a thread of the link's.
void DriveTheCamera(void* module) {
  auto* init = Entry<SANE_Status(SANE_Int*, SANE_Auth_Callback)>(module, "sane_rd420_init");
  auto* devices =
      Entry<SANE_Status(const SANE_Device***, SANE_Bool)>(module, "sane_rd420_get_devices");
  auto* open = Entry<SANE_Status(SANE_String_Const, SANE_Handle*)>(module, "sane_rd420_open");
  auto* descriptor = Entry<const SANE_Option_Descriptor*(SANE_Handle, SANE_Int)>(
      module, "sane_rd420_get_option_descriptor");
  auto* control = Entry<SANE_Status(SANE_Handle, SANE_Int, SANE_Action, void*, SANE_Int*)>(
      module, "sane_rd420_control_option");
  auto* closeHandle = Entry<void(SANE_Handle)>(module, "sane_rd420_close");
  auto* exitBackend = Entry<void()>(module, "sane_rd420_exit");
  ASSERT_TRUE(init && devices && open && descriptor && control && closeHandle && exitBackend);

  ASSERT_EQ(init(nullptr, nullptr), SANE_STATUS_GOOD);
  const SANE_Device** list = nullptr;
  ASSERT_EQ(devices(&list, SANE_TRUE), SANE_STATUS_GOOD);
  ASSERT_NE(list[0], nullptr);
  SANE_Handle handle = nullptr;
  ASSERT_EQ(open(list[0]->name, &handle), SANE_STATUS_GOOD);
  SANE_Int lamp = 1;
  while (descriptor(handle, lamp) != nullptr &&
         std::string(descriptor(handle, lamp)->name) != "lamp") {
    ++lamp;
  }
  ASSERT_NE(descriptor(handle, lamp), nullptr);
  for (SANE_Bool on : {SANE_TRUE, SANE_FALSE, SANE_TRUE, SANE_FALSE}) {
    EXPECT_EQ(control(handle, lamp, SANE_ACTION_SET_VALUE, &on, nullptr), SANE_STATUS_GOOD);
  }
  closeHandle(handle);
  exitBackend();
}

// Catches: a back-end that cannot be unloaded (kept mapped because threads
// of its own may still run its code), or one whose threads outlive
// sane_exit and run on in unmapped code (a crash, or a report under the
// sanitizers).
TEST(SaneModule, UnloadsAfterExitWithNothingOfItsOwnRunning) {
  SimulatorProcess simulator;
  ASSERT_TRUE(simulator.Ready());
  setenv("RD420_DEVICE_DIR", simulator.Directory().c_str(), 1);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    void* module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    DriveTheCamera(module);
    ASSERT_EQ(dlclose(module), 0);
    EXPECT_EQ(dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  }
}

}  // namespace
}  // namespace rd420::test
