// The built TORVELA_TWAIN.ds as the manager uses it: loaded with dlopen,
// asked for its identity, opened, enabled, closed and unloaded again.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/twain/loaded_source.h"
#include "tests/twain/twain_fixture.h"

namespace rd420::twain {
namespace {

TW_IDENTITY Application() {
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  return app;
}

// Catches: attach values not restored by a fresh load (the library kept
// in memory or its state leaking between loads), identity strings not cut
// at 33 characters, values lost between MSG_CLOSEDS and MSG_OPENDS.
TEST(LoadedDataSource, SurvivesRepeatedLoadAndUnload) {
  TW_IDENTITY app = Application();
  for (int load = 0; load < 3; ++load) {
    SCOPED_TRACE(load);
    LoadedSource source;
    ASSERT_TRUE(source.Loaded()) << dlerror();
    TW_IDENTITY identity{};
    ASSERT_EQ(source(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_EQ(identity.Id, 0u);
    EXPECT_STREQ(identity.ProductName, "TORVELA KESTRAVON TWAIN Data Sour");
    EXPECT_STREQ(identity.Manufacturer, "TORVELA BRIMLEX Co. Ltd");
    EXPECT_STREQ(identity.ProductFamily, "TWAIN");
    EXPECT_STREQ(identity.Version.Info, "Version 3.0.11.19 2008/11/19");
    EXPECT_EQ(identity.ProtocolMinor, 6);
    EXPECT_EQ(TW_UINT32{identity.SupportedGroups}, 3u);

    identity.Id = 42;
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_IDENTITY reported{};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &reported), TWRC_SUCCESS);
    EXPECT_EQ(reported.Id, 42u);

    TW_UINT16 item[3] = {TWTY_BOOL, 0, 0};
    TW_CAPABILITY indicators{CAP_INDICATORS, TWON_ONEVALUE, item};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &indicators), TWRC_SUCCESS);
    EXPECT_EQ(TW_UINT32{static_cast<TW_ONEVALUE*>(indicators.hContainer)->Item},
              1u);  // fresh each load
    std::free(indicators.hContainer);
    indicators = {CAP_INDICATORS, TWON_ONEVALUE, item};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &indicators), TWRC_SUCCESS);
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &indicators), TWRC_SUCCESS);
    EXPECT_EQ(TW_UINT32{static_cast<TW_ONEVALUE*>(indicators.hContainer)->Item}, 0u);
    std::free(indicators.hContainer);
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  }
}

// How often the stand-in manager has been loaded in this process.
int ManagerLoads() {
  const char* loads = std::getenv(kStandInLoadsVariable);
  return loads != nullptr ? std::atoi(loads) : 0;
}

// Catches: MSG_XFERREADY not sent before MSG_ENABLEDS returns when the
// window is hidden, not reaching the manager the application loaded, the
// source failing (or crashing) when no manager is loaded, or loading one
// itself to send it. The round without a manager goes first: once loaded,
// the stand-in may stay resident after its last dlclose.
TEST(LoadedDataSource, NotifiesTheLoadedManagerAndOnlyIt) {
  TW_IDENTITY app = Application();
  // No camera, and no display: the window's message goes to standard error.
  char pattern[] = "/tmp/twain-load-XXXXXX";
  const std::string noCameras = mkdtemp(pattern);
  setenv("RD420_DEVICE_DIR", noCameras.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (bool withManager : {false, true}) {
    SCOPED_TRACE(withManager);
    std::unique_ptr<StandInManager> manager;
    if (withManager) {
      manager = std::make_unique<StandInManager>();
      ASSERT_TRUE(manager->Loaded());
      manager->Take();  // what reached a copy other tests left resident
    }
    const int loads = ManagerLoads();
    LoadedSource source;
    ASSERT_TRUE(source.Loaded());
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_USERINTERFACE ui{kTwFalse, kTwFalse, nullptr};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    EXPECT_EQ(source(&app, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);  // in 600
    if (withManager) {
      // Without a camera the window also asks to be closed, later.
      auto records = manager->Take();
      std::erase_if(records, [](const StandInRecord& r) { return r.msg == MSG_CLOSEDSREQ; });
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].msg, MSG_XFERREADY);
      EXPECT_EQ(records[0].originId, 42u);
      EXPECT_EQ(records[0].destId, 7u);
      EXPECT_EQ(records[0].dg, DG_CONTROL);
      EXPECT_EQ(records[0].dat, DAT_NULL);
      EXPECT_TRUE(records[0].nullData);
    }
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(ManagerLoads(), loads);
  }
  unsetenv("RD420_DEVICE_DIR");
  rmdir(noCameras.c_str());
}

}  // namespace
}  // namespace rd420::twain
