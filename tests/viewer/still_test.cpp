// Holding a still, the quick save and the exit, headless, against
// rd420d --simulate.
#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

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

// Catches: a Save or Print pressed while a quick save is being written
// (after the still thread looked at its requests) left set after live view
// resumed, so the next Cap served it at once or F2 was refused.
TEST_F(ViewerTest, APressDuringAQuickSaveIsDroppedWhenLiveViewResumes) {
  for (const auto request : {&StillFlags::g_Save_Request, &StillFlags::g_Print_Request}) {
    actions_.duringSave = [&] { (viewer_->Stills().*request) = 1; };
    ASSERT_TRUE(StartViewer());
    ASSERT_TRUE(WaitForPictures(2));
    QTest::keyClick(&Main(), Qt::Key_F2);
    ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
    ASSERT_TRUE(WaitForPictures(2));
    EXPECT_EQ(viewer_->Stills().*request, 0u);
    actions_.duringSave = nullptr;

    Click(Panel().Button(kIdCapture));
    ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
    QTest::qWait(400);  // several of the held still's passes
    ASSERT_EQ(actions_.Calls().size(), 1u) << "only the quick save";
    TearDown();
    actions_.Clear();
  }
}

// Catches: a still thread that reads beside the resumed run, keeps
// serving after live view resumed, or freezes the picture again after Esc
// ended a quick save; and a second freeze that waits for ever for the
// first still thread.
TEST_F(ViewerTest, FastTogglesNeverLeaveAStillBesideLiveView) {
  ASSERT_TRUE(StartViewer());
  viewer_->Still().alwaysFull = true;
  ASSERT_TRUE(WaitForPictures(2));
  const auto expectLive = [&](const char* step) {
    ASSERT_TRUE(WaitFor([&] { return viewer_->Flags().g_Stream_Run == 1; })) << step;
    ASSERT_TRUE(WaitForPictures(3)) << step;
    EXPECT_EQ(Main().View()->Picture().width(), 640) << step;
    EXPECT_EQ(viewer_->Flags().g_Capture_Mode, 0u) << step;
    EXPECT_FALSE(Panel().Button(kIdSave)->isEnabled()) << step;
    // No full-size still word after the live run's half-size one.
    const std::string history = History();
    const size_t still = history.rfind("0x00310000");
    EXPECT_TRUE(still == std::string::npos || history.rfind("0x00310001") > still)
        << step << " " << history;
  };

  Click(Panel().Button(kIdCapture));  // freeze, then Esc at once
  QTest::keyClick(&Main(), Qt::Key_Escape);
  viewer_->CaptureToggle();  // the Esc may come before the still thread runs
  expectLive("freeze and resume");

  Click(Panel().Button(kIdCapture));
  ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  Click(Panel().Button(kIdCapture));  // resume and freeze again at once
  viewer_->CaptureToggle();
  ASSERT_TRUE(WaitFor([&] { return Panel().Button(kIdSave)->isEnabled(); }));
  Click(Panel().Button(kIdCapture));
  expectLive("held, resumed, held again");

  QTest::keyClick(&Main(), Qt::Key_F2);
  ASSERT_TRUE(WaitFor([&] { return viewer_->Flags().g_Capture_Started == 1; }));
  QTest::keyClick(&Main(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return viewer_->Stills().g_QuickSave_Busy == 0; }));
  expectLive("Esc during a quick save");
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: an exit that leaves a streaming thread running or forgets the
// shutdown word.
TEST_F(ViewerTest, ExitSendsTheShutdownWordAndLeavesNoThread) {
  const int before = OwnThreadCount();
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_GE(OwnThreadCount(), before + 5);
  Click(Main().Button(kIdExit));
  EXPECT_TRUE(viewer_->Ended());
  EXPECT_TRUE(WaitFor([&] { return finished_ == 1; }));
  EXPECT_FALSE(Main().isVisible());
  EXPECT_NE(History().find("0x00330005"), std::string::npos) << History();
  EXPECT_TRUE(WaitFor([&] { return OwnThreadCount() <= before; }, 3000))
      << OwnThreadCount() << " threads, " << before << " before the viewer";
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: the window manager's close behaving unlike the exit button.
TEST_F(ViewerTest, WindowCloseRunsTheExit) {
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(1));
  Main().close();
  EXPECT_TRUE(viewer_->Ended());
  EXPECT_NE(History().find("0x00330005"), std::string::npos) << History();
}

// Catches: the relay started while the viewer still holds the camera or
// its lock, with the wrong token, or the shutdown word sent on this path.
TEST_F(ViewerTest, AviCaptureHandsTheCameraToTheRelay) {
  const std::string folder = rd420::test::MakeTempDirectory();
  const std::string record = folder + "/relay-args";
  {
    std::ofstream relay(folder + "/Swivane");
    relay << "#!/bin/sh\necho \"$@\" > " << record << "\n";
  }
  std::filesystem::permissions(folder + "/Swivane", std::filesystem::perms::owner_all);
  programDirectory_ = QString::fromStdString(folder);
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(1));
  Click(Panel().Button(kIdCaptureProgram));
  EXPECT_TRUE(viewer_->Ended());
  EXPECT_TRUE(WaitFor([&] { return lockReleases_ == 1; }));
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(record); }));
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::file_size(record) > 0; }));
  std::ifstream args(record);
  std::string line;
  std::getline(args, line);
  EXPECT_EQ(line, "4418306");
  EXPECT_EQ(History().find("0x00330005"), std::string::npos) << History();
  rd420::test::RemoveDirectory(folder);
}

}  // namespace
}  // namespace rd420::viewer::test
