// How the viewer ends when the camera's daemon stops answering, and what it
// takes from the user while it ends.
#include "viewer/link_messages.h"
#include "viewer/viewer_fixture.h"

namespace rd420::viewer::test {
namespace {

// Catches: a viewer that froze on its last picture with no message when
// rd420d stopped answering, and could not even be closed.
TEST_F(ViewerTest, StoppedDaemonEndsTheViewerWithOneMessage) {
  timings_.readTimeoutMs = 500;
  ASSERT_TRUE(StartViewer());
  ASSERT_TRUE(WaitForPictures(2));
  simulator_->Pause();
  const bool ended = WaitFor([&] { return finished_ == 1; }, 20000);
  simulator_->Resume();
  ASSERT_TRUE(ended) << "the viewer did not end";

  // Almost always the frame read's time-out; the cycle's vendor request
  // meets the stopped daemon first when it stops in that instant.
  const std::vector<std::string> captions = messages_.Captions();
  ASSERT_EQ(captions.size(), 1u);
  EXPECT_TRUE(captions[0] == "Error (ABK00005)" ||
              captions[0] == MessageFor(ViewerLinkMessages(), LinkFailure::kSendRequest).caption)
      << captions[0];
  EXPECT_FALSE(Main().isVisible());
}

// Catches: a click served while the viewer ends, which started the relay
// (and released the single-instance lock) while its threads still ran.
TEST_F(ViewerTest, EndingTakesNoMoreOrders) {
  ASSERT_TRUE(StartViewer());
  QWidget* relay = Panel().Button(kIdCaptureProgram);
  QWidget* capture = Panel().Button(kIdCapture);
  // Queued now, served while the exit waits for its threads, or after.
  QMetaObject::invokeMethod(
      &Main(), [&] { Click(relay); }, Qt::QueuedConnection);
  QMetaObject::invokeMethod(
      &Main(), [&] { Click(capture); }, Qt::QueuedConnection);
  viewer_->Exit();

  EXPECT_TRUE(WaitFor([&] { return finished_ == 1; }));
  EXPECT_EQ(lockReleases_, 0);
  EXPECT_EQ(viewer_->Flags().g_Stream_Run, 0u);
}

}  // namespace
}  // namespace rd420::viewer::test
