#include "devlink/link_fixture.h"
#include "platform/message.h"
#include "wire/ioctl_codes.h"

namespace rd420::test {
namespace {

// Catches: discovery stopping at the first camera instead of the highest.
TEST_F(LinkTest, DiscoveryPicksHighestOfCameras0And3) {
  StartSimulator({"--instances", "0,3"});
  MessageRecorder messages;
  EXPECT_TRUE(link_->DiscoverDevice());
  EXPECT_EQ(link_->DeviceName(), "RD-420-3");
  EXPECT_TRUE(messages.Messages().empty());
}

// Catches: a missing or repeated message when no camera answers.
TEST(Discovery, NoCameraShowsExactlyOneNoDevice) {
  const std::string empty = MakeTempDirectory();
  SocketTransport transport(empty);
  DeviceLink link(transport, TestLinkMessages());
  MessageRecorder messages;
  EXPECT_FALSE(link.DiscoverDevice());
  const std::vector<Message> shown = messages.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "NoDevice");
  EXPECT_EQ(shown[0].text, MessageFor(TestLinkMessages(), LinkFailure::kNoDevice).text);
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
  RemoveDirectory(empty);
}

// Catches: the speed test reading the wrong pipe record or offset.
TEST_F(LinkTest, HighSpeedLinkHasPacketSize512) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  EXPECT_EQ(link_->QueryHighSpeed(nullptr), 1);
  EXPECT_TRUE(link_->HighSpeedLink());
}

// Catches: a full-speed link (packet size 64) taken for USB 2.0.
TEST_F(LinkTest, FullSpeedLinkIsNotHighSpeed) {
  StartSimulator({"--full-speed"});
  MessageRecorder messages;
  ASSERT_TRUE(link_->DiscoverDevice());
  EXPECT_EQ(link_->QueryHighSpeed(nullptr), 0);
  EXPECT_FALSE(link_->HighSpeedLink());
  EXPECT_TRUE(messages.Messages().empty());
}

// Catches: a speed test on a vanished camera that says nothing or goes on.
TEST_F(LinkTest, SpeedTestOnUnpluggedCameraShowsSpeedTestOpenOnce) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  MessageRecorder messages;
  EXPECT_EQ(link_->QueryHighSpeed(nullptr), 0);
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"SpeedTestOpen"});
  EXPECT_EQ(messages.Messages()[0].text,
            MessageFor(TestLinkMessages(), LinkFailure::kSpeedTestOpen).text);
  EXPECT_EQ(fatalCalls_, 1);
}

// Catches: an unplugged camera whose node stays, or a replug that does not
// bring it back.
TEST_F(LinkTest, UnplugRemovesTheNodeAndPlugRestoresIt) {
  StartSimulator();
  EXPECT_NE(transport_->Open("RD-420-0"), nullptr);
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  EXPECT_EQ(transport_->Open("RD-420-0"), nullptr);
  ASSERT_EQ(simulator_->Control("plug").substr(0, 2), "ok");
  EXPECT_NE(transport_->Open("RD-420-0"), nullptr);
}

}  // namespace
}  // namespace rd420::test
