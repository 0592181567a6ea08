// The loaded source in a console application on a real X display (a
// virtual server of its own, tests/relay/xvfb-run-test): message boxes can
// be shown, and none may hold the application's call or its close request.
// The boxes are looked for as the user sees them, by their captions among
// the display's visible windows (xdotool).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "support/simulator_process.h"
#include "tests/twain/loaded_source.h"
#include "tests/twain/twain_fixture.h"

namespace rd420::twain {
namespace {

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr TW_UINT16 kMsgStopFeeder = 0x0702;  // a message DAT_PENDINGXFERS does not take

// How many visible windows carry one of our error captions.
int ErrorBoxes() {
  const test::ProgramResult found =
      test::RunProgram({kXdotool, "search", "--onlyvisible", "--name", "^Error \\("});
  return static_cast<int>(std::count(found.out.begin(), found.out.end(), '\n'));
}

bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class DisplayHost : public testing::Test {
 protected:
  DisplayHost() : source_(loaded_) {
    app_.Id = 7;
    app_.ProtocolMajor = 2;
    app_.ProtocolMinor = 4;
    setenv("RD420_DEVICE_DIR", camera_.Directory().c_str(), 1);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    setenv("TMPDIR", folder_.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    manager_.Take();
  }
  ~DisplayHost() override { test::RemoveDirectory(folder_); }

  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr ||
        test::RunProgram({kXdotool, "version"}).exitCode != 0) {
      GTEST_SKIP() << "no X display or no xdotool";
    }
    ASSERT_TRUE(camera_.Ready());
    ASSERT_TRUE(loaded_.Loaded());
    ASSERT_TRUE(manager_.Loaded());
  }
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return source_(&app_, dg, dat, msg, data);
  }
  TW_UINT16 Condition() {
    TW_STATUS status{};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
  }
  void OpenAndEnable(bool showUi) {
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_USERINTERFACE ui{showUi ? kTwTrue : kTwFalse, kTwFalse, nullptr};
    ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  }
  void DisableAndClose() {
    TW_USERINTERFACE ui{};
    EXPECT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  }
  bool CloseRequested() {
    return Eventually([&] {
      for (const StandInRecord& record : manager_.Take()) {
        if (record.msg == MSG_CLOSEDSREQ) {
          return true;
        }
      }
      return false;
    });
  }

  test::SimulatorProcess camera_;
  std::string folder_ = test::MakeTempDirectory();
  StandInManager manager_;
  LoadedSource loaded_;
  GuardedSource source_;
  TW_IDENTITY app_{};
};

// Catches: with ShowUI false and a display, a box (the failed transfer's
// TWN00006, TWN00006-4, TWN00006-3, the lost camera's USB box) that no one
// is expected to answer, and the application's call held until someone
// does.
TEST_F(DisplayHost, HiddenSessionShowsNoBoxAndNeverHoldsACall) {
  ASSERT_NO_FATAL_FAILURE(OpenAndEnable(false));
  ASSERT_EQ(camera_.Control("unplug").rfind("ok", 0), 0u);
  TW_HANDLE dib = nullptr;
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, kMsgStopFeeder, &pending), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_TRUE(CloseRequested());
  EXPECT_EQ(ErrorBoxes(), 0);
  DisableAndClose();
}

// Catches: the lost camera's box holding back MSG_CLOSEDSREQ until OK is
// pressed, MSG_DISABLEDS never returning while the box is up, the box
// left on the screen after the source is disabled.
TEST_F(DisplayHost, LostCameraBoxHoldsNeitherTheCloseRequestNorTheDisable) {
  ASSERT_NO_FATAL_FAILURE(OpenAndEnable(true));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // streaming
  ASSERT_EQ(camera_.Control("unplug").rfind("ok", 0), 0u);
  EXPECT_TRUE(CloseRequested());
  EXPECT_TRUE(Eventually([] { return ErrorBoxes() == 1; }));
  DisableAndClose();
  EXPECT_EQ(ErrorBoxes(), 0);
}

// Catches: a failed triplet's box (ShowUI true) modal to the application's
// call, or left up once the source is disabled.
TEST_F(DisplayHost, TripletBoxReturnsAtOnceAndGoesWithTheWindow) {
  ASSERT_NO_FATAL_FAILURE(OpenAndEnable(true));
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, kMsgStopFeeder, &pending), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_TRUE(Eventually([] { return ErrorBoxes() == 1; }));
  DisableAndClose();
  EXPECT_EQ(ErrorBoxes(), 0);
}

}  // namespace
}  // namespace rd420::twain
