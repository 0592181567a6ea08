// The built TORVELA_TWAIN.ds as the manager uses it: loaded with dlopen,
// asked for its identity, opened, closed and unloaded again (enabling it
// starts Qt: the console host's tests do that).

#include <dlfcn.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace rd420::twain
