#include "viewer/button_rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "viewer/button_table.h"
#include "viewer/control_ids.h"
#include "viewer/display_geometry.h"
#include "viewer/frame_painter.h"

namespace rd420::viewer {
namespace {

using Window = ControlChange::Window;
using What = ControlChange::What;

// The last change of `what` the outcome makes to a control, or -1.
int Last(const ControlChanges& changes, Window window, int id, What what) {
  int state = -1;
  for (const ControlChange& change : changes) {
    if (change.window == window && change.id == id && change.what == what) {
      state = change.on ? 1 : 0;
    }
  }
  return state;
}

// Catches: a repeated status word repainting the buttons, or an invalid
// word overwriting the remembered one.
TEST(HandleStatusWord, SameLowBitsAndInvalidWordsChangeNothing) {
  std::atomic<uint32_t> previous{0};
  StatusInputs inputs;
  inputs.status = 0x61802000;
  EXPECT_FALSE(HandleStatusWord(inputs, previous).changes.empty());
  EXPECT_EQ(previous, 0x61802000u);
  inputs.status = 0x61A02000;  // bit 21 differs, the low 16 bits do not
  EXPECT_TRUE(HandleStatusWord(inputs, previous).changes.empty());
  inputs.status = 0x00002804;  // no validity bits
  EXPECT_TRUE(HandleStatusWord(inputs, previous).changes.empty());
  EXPECT_EQ(previous, 0x61A02000u);
}

// Catches: the format check reading the wrong mask, or the 1:1 button
// left enabled on a small monitor by the enable routine.
TEST(HandleStatusWord, FormatChangeAndSmallMonitor) {
  std::atomic<uint32_t> previous{0};
  StatusInputs inputs;
  inputs.status = 0x61C02000;
  EXPECT_TRUE(HandleStatusWord(inputs, previous).formatChanged);
  inputs.aspect43 = false;
  EXPECT_FALSE(HandleStatusWord(inputs, previous).formatChanged);
  inputs.status = 0;
  const StatusOutcome outcome = HandleStatusWord(inputs, previous);
  EXPECT_TRUE(outcome.formatChanged);
  EXPECT_EQ(Last(outcome.changes, Window::kPanel, kIdCapture, What::kEnable), 0);

  previous = 0;
  inputs = {};
  inputs.status = 0x61802000;
  inputs.monitorFitsOneToOne = false;
  EXPECT_EQ(
      Last(HandleStatusWord(inputs, previous).changes, Window::kMain, kIdOneToOne, What::kEnable),
      0);
}

// Catches: a toggle whose sense is inverted for its status bit.
TEST(ButtonTable, TogglesChooseTheirWordFromTheStatusBit) {
  const auto find = [](int id) {
    const auto buttons = PanelButtons();
    return *std::find_if(buttons.begin(), buttons.end(),
                         [id](const ButtonSpec& spec) { return spec.id == id; });
  };
  EXPECT_EQ(WordToQueue(find(kIdLamp), 0x4), 0x0003000Au);
  EXPECT_EQ(WordToQueue(find(kIdLamp), 0), 0x00030005u);
  EXPECT_EQ(WordToQueue(find(kIdTextImage), 0x400), 0x00090005u);
  EXPECT_EQ(WordToQueue(find(kIdOutput), 0), 0x0004000Au);
  EXPECT_EQ(WordToQueue(find(kIdFreeze), 0x800), 0x0012000Au);
}

// Catches: a wrong place for the picture in any display mode, including
// the two forms of 4:3 scaling (MH / 3 * 4 and 4 * MH / 3).
TEST(DestinationRect, EveryModeAndMonitor) {
  EXPECT_EQ(DestinationRect(2, true, {800, 600}, false), QRect(1, 1, 640, 480));
  EXPECT_EQ(DestinationRect(2, false, {800, 600}, false), QRect(1, 1, 640, 360));
  EXPECT_EQ(DestinationRect(1, true, {1920, 1080}, false), QRect(1, 1, 1280, 960));
  EXPECT_EQ(DestinationRect(0x11, true, {1920, 1080}, true), QRect(240, 0, 1440, 1080));
  EXPECT_EQ(DestinationRect(0x11, true, {1024, 768}, true), QRect(0, 0, 1024, 768));
  EXPECT_EQ(DestinationRect(0x11, true, {1280, 1024}, true), QRect(0, 32, 1280, 960));
  EXPECT_EQ(DestinationRect(0x11, false, {1280, 1024}, true), QRect(0, 152, 1280, 720));
  EXPECT_EQ(DestinationRect(0x11, true, {1680, 1050}, false), QRect(200, 45, 1280, 960));
  EXPECT_EQ(DestinationRect(0x11, true, {1920, 800}, true).width(), 1064);
}

// Catches: the digital-zoom edge on the wrong side of 1861, or values not
// padded to their digits.
TEST(CurrentOverlay, TextsAndColours) {
  StreamControls flags;
  CameraStatus status;
  EXPECT_FALSE(CurrentOverlay(flags, status).has_value());
  flags.g_Zoom_Osd = 1;
  status.g_Zoom_Status = 0x00690745;
  EXPECT_EQ(CurrentOverlay(flags, status)->text, "Zoom Value : 1861");
  EXPECT_EQ(CurrentOverlay(flags, status)->colour, QColor(255, 255, 0));
  status.g_Zoom_Status = 0x00690746;
  EXPECT_EQ(CurrentOverlay(flags, status)->text, "Zoom Value : 1862 (Digital Zoom)");
  EXPECT_EQ(CurrentOverlay(flags, status)->colour, QColor(255, 0, 0));
  flags.g_Zoom_Osd = 0;
  flags.g_Brightness_Osd = 1;
  status.g_Bright_Status = 0x00650007;
  EXPECT_EQ(CurrentOverlay(flags, status)->text, "Brightness Value : 007");
}

}  // namespace
}  // namespace rd420::viewer
