// Holding a still, the quick save and the exit, headless, against
// rd420d --simulate.
#include <dirent.h>

#include "gui/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

size_t ThreadCount() {
  size_t count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) {
      count += entry->d_name[0] != '.';
    }
    closedir(tasks);
  }
  return count;
}

class HeldStillTest : public ViewerTest, public ::testing::WithParamInterface<bool> {};

// Catches: a still read at the wrong size for the half window, AlwaysFull
// ignored, or Save enabled before the picture is held.
TEST_P(HeldStillTest, CapHoldsAStillOfTheRightSize) {
  const bool alwaysFull = GetParam();
  ASSERT_TRUE(StartViewer());
  viewer_->Still().alwaysFull = alwaysFull;
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_FALSE(Panel().Button(kIdSave)->isEnabled());

  Click(Panel().Button(kIdCapture));
  EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 1u);
  EXPECT_FALSE(Panel().Button(kIdZoomIn)->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  EXPECT_TRUE(Panel().Button(kIdPrint)->isEnabled());
  EXPECT_TRUE(Panel().Button(kIdCapture)->isEnabled());
  EXPECT_EQ(Panel().Button(kIdCapture)->NormalPicture(), kBitmapCaptureHeld);
  const int shown = PicturesShown();

  Click(Panel().Button(kIdSave));
  ASSERT_TRUE(WaitFor([&] { return !actions_.Calls().empty(); }));
  const RecordingStillActions::Call save = actions_.Calls()[0];
  EXPECT_FALSE(save.print);
  EXPECT_FALSE(save.quick);
  EXPECT_EQ(save.width, alwaysFull ? 1280 : 640);
  EXPECT_EQ(save.height, alwaysFull ? 960 : 480);
  EXPECT_EQ(save.mode, alwaysFull ? 1 : 2);
  EXPECT_NE(History().find(alwaysFull ? "0x00310000" : "0x00310001 0x00310001"), std::string::npos)
      << History();
  EXPECT_EQ(PicturesShown(), shown) << "the held picture stays on screen";

  // Esc resumes live view.
  QTest::keyClick(&Main(), Qt::Key_Escape);
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 0u);
  EXPECT_FALSE(Panel().Button(kIdSave)->isEnabled());
  EXPECT_TRUE(Panel().Button(kIdZoomIn)->isEnabled());
  EXPECT_TRUE(messages_.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(AlwaysFull, HeldStillTest, ::testing::Bool());

// Catches: a quick save that does not save, needs a second press to end,
// or starts twice when F2 is pressed again meanwhile.
TEST_F(ViewerTest, F2SavesOnceAndReturnsToLiveView) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  QTest::keyClick(&Main(), Qt::Key_F2);
  EXPECT_EQ(viewer_->Stills().g_QuickSave_Busy, 1u);
  QTest::keyClick(&Main(), Qt::Key_F2);  // ignored while busy
  ASSERT_TRUE(WaitFor([&] { return Main().View()->Notice() == "Quick Saving...!"; }));
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(viewer_->Flags().g_Stream_Run, 1u);
  ASSERT_EQ(actions_.Calls().size(), 1u);
  EXPECT_TRUE(actions_.Calls()[0].quick);
  EXPECT_EQ(actions_.Calls()[0].width, 640);
  EXPECT_TRUE(Main().View()->Notice().isEmpty());
  EXPECT_TRUE(Panel().Button(kIdCapture)->isEnabled());
  EXPECT_EQ(Panel().Button(kIdCapture)->NormalPicture(), 216);
}

// Catches: an exit that leaves a streaming thread running or forgets the
// shutdown word.
TEST_F(ViewerTest, ExitSendsTheShutdownWordAndLeavesNoThread) {
  const size_t before = ThreadCount();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_GE(ThreadCount(), before + 5);
  Click(Main().Button(kIdExit));
  EXPECT_TRUE(viewer_->Ended());
  EXPECT_EQ(finished_, 1);
  EXPECT_FALSE(Main().isVisible());
  EXPECT_NE(History().find("0x00330005"), std::string::npos) << History();
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }, 3000))
      << ThreadCount() << " threads, " << before << " before the viewer";
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace rd420::viewer::test
