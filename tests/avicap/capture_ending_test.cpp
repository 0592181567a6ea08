// The capture program's endings: by the user, by the camera, and the hand
// over to the viewer.
#include <sys/stat.h>

#include <fstream>

#include "avicap/capture_fixture.h"
#include "platform/instance_lock.h"

namespace rd420::avicap::test {
namespace {

struct CameraEnding {
  const char* name;
  const char* command;
  std::vector<std::string> captions;  // the one message may be any of these
};

class CaptureCameraEndingTest : public CaptureTest,
                                public ::testing::WithParamInterface<CameraEnding> {};

// Catches: an aspect change, a failing control request or an unplugged
// camera that leaves the program running or hanging, or shows no message
// or more than one.
TEST_P(CaptureCameraEndingTest, EndsTheProgramWithOneMessage) {
  ASSERT_TRUE(StartCapture());
  ASSERT_TRUE(WaitForPictures(2));
  EXPECT_EQ(simulator_->Control(GetParam().command).substr(0, 2), "ok");
  ASSERT_TRUE(WaitForEnd());
  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(std::find(GetParam().captions.begin(), GetParam().captions.end(), shown[0].caption),
            GetParam().captions.end())
      << shown[0].caption;
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
}

INSTANTIATE_TEST_SUITE_P(
    Camera, CaptureCameraEndingTest,
    ::testing::Values(CameraEnding{"AspectChange", "aspect 16:9", {"Error (AWN00008)"}},
                      // The status poll's request fails; it releases the
                      // stream thread waiting for it before its message.
                      CameraEnding{"FailingRequest", "fail-vendor all", {"Error (AEP00004)"}},
                      // The read fails; should a status poll meet the
                      // unplug first, the link speaks instead.
                      CameraEnding{"Unplugged",
                                   "unplug",
                                   {"Error (ABK00005)", "Error (AHL00004)", "Error (AEP00004)"}}),
    [](const auto& param) { return std::string(param.param.name); });

struct UserEnding {
  const char* name;
  bool recording;
  bool okAction;  // Enter with no push button focused, else Exit
};

class CaptureUserEndingTest : public CaptureTest,
                              public ::testing::WithParamInterface<UserEnding> {};

// Catches: Exit, or the dialog's OK action through the destroy step,
// leaving a capture or request thread running, a recording unfinished, or
// the lock held.
TEST_P(CaptureUserEndingTest, LeavesNoThreadBehind) {
  const int baseline = OwnThreadCount();
  ASSERT_TRUE(StartCapture());
  Dialog().show();
  ASSERT_TRUE(WaitForPictures(2));
  if (GetParam().recording) {
    Click(kIdCapture);
    ASSERT_TRUE(WaitFor([&] { return log_.frames > 0; }));
  }
  EXPECT_GT(OwnThreadCount(), baseline);
  if (GetParam().okAction) {
    Control(kIdEstimate)->setFocus();
    QTest::keyClick(&Dialog(), Qt::Key_Return);
  } else {
    Click(kIdExit);
  }
  EXPECT_TRUE(Dialog().Ended());
  EXPECT_TRUE(WaitFor([&] { return OwnThreadCount() <= baseline; }, 3000))
      << OwnThreadCount() << " threads, " << baseline << " before";
  EXPECT_EQ(log_.finishes, log_.starts);
  EXPECT_TRUE(InstanceLock::Acquire(kCameraLockName).has_value());
  EXPECT_TRUE(messages_.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(User, CaptureUserEndingTest,
                         ::testing::Values(UserEnding{"ExitDuringPreview", false, false},
                                           UserEnding{"ExitWhileRecording", true, false},
                                           UserEnding{"OkActionDuringPreview", false, true}),
                         [](const auto& param) { return std::string(param.param.name); });

// Catches: VADIZIVID not handing the camera over: the lock still held when
// the relay starts, the program left running, or the relay started with
// the wrong word or from elsewhere than the program's folder.
TEST_F(CaptureTest, VadizividStartsTheRelayWithTheLockReleased) {
  const std::string relay = runtimeDirectory_ + "/Swivane";
  const std::string answer = runtimeDirectory_ + "/relay.txt";
  {
    // The stand-in tries the lock at once, as the viewer it starts will.
    std::ofstream script(relay);
    script << "#!/bin/sh\nif flock -n " << InstanceLockPath(kCameraLockName)
           << " true; then lock=free; else lock=held; fi\necho \"$@ $lock\" > " << answer
           << ".part\nmv " << answer << ".part " << answer << "\n";
  }
  ASSERT_EQ(chmod(relay.c_str(), 0700), 0);
  ASSERT_TRUE(StartCapture());
  ASSERT_TRUE(WaitForPictures(1));
  Click(kIdVadizivid);
  EXPECT_TRUE(Dialog().Ended());
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(answer); }, 5000));
  std::ifstream written(answer);
  std::string line;
  std::getline(written, line);
  EXPECT_EQ(line, "582917 free");
  // Taken only now, so as not to stand in the relay's way.
  EXPECT_TRUE(InstanceLock::Acquire(kCameraLockName).has_value());
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace rd420::avicap::test
