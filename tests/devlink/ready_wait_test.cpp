#include "devlink/camera_ready.h"
#include "devlink/camera_status.h"
#include "devlink/link_fixture.h"
#include "platform/message.h"

namespace rd420::test {
namespace {

// The polls are 1 ms apart here instead of 100 ms, so the 300-poll limit is
// reached in well under a second.
constexpr int kFastPollMs = 1;

// Catches: a wait that gives up too early, too late, or never.
TEST_F(LinkTest, CameraBusyForEverIsGivenUpAfterThe301stPoll) {
  StartSimulator({"--busy-polls", "100000"});
  ASSERT_TRUE(link_->DiscoverDevice());
  CameraStatus status;
  MessageRecorder messages;
  EXPECT_FALSE(WaitCameraReady(*link_, status, kFastPollMs));
  // 301 polls in the wait, then the one that reads the aspect.
  EXPECT_EQ(simulator_->State().at("status-polls"), "302");
  EXPECT_TRUE(messages.Messages().empty());
}

// Catches: an off-by-one that gives up on a camera ready at poll 250.
TEST_F(LinkTest, CameraReadyAtThe250thPollLetsStartUpGoOn) {
  StartSimulator({"--busy-polls", "249"});
  ASSERT_TRUE(link_->DiscoverDevice());
  CameraStatus status;
  EXPECT_TRUE(WaitCameraReady(*link_, status, kFastPollMs));
  // 250 polls in the wait, one for the aspect, one for the variant.
  EXPECT_EQ(simulator_->State().at("status-polls"), "252");
}

// Catches: aspect or variant read from the wrong bit.
TEST_F(LinkTest, ReadyWaitFixesAspectAndVariant) {
  StartSimulator({"--aspect", "16:9", "--variant", "1"});
  ASSERT_TRUE(link_->DiscoverDevice());
  CameraStatus status;
  ASSERT_TRUE(WaitCameraReady(*link_, status, kFastPollMs));
  EXPECT_EQ(status.g_Aspect_43, 0u);
  EXPECT_EQ(status.g_Model_Variant, 1u);
}

// Catches: a lost link taken for a ready camera (the previous reply has
// bit 21 clear).
TEST_F(LinkTest, LinkLostDuringTheWaitFails) {
  StartSimulator({"--busy-polls", "100000"});
  ASSERT_TRUE(link_->DiscoverDevice());
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  CameraStatus status;
  MessageRecorder messages;
  EXPECT_FALSE(WaitCameraReady(*link_, status, kFastPollMs));
  EXPECT_FALSE(link_->LinkOk());
  EXPECT_TRUE(messages.Messages().empty());
}

}  // namespace
}  // namespace rd420::test
