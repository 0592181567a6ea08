#include "integration/link_fixture.h"
#include "platform/message.h"
#include "wire/ioctl_codes.h"

namespace rd420::test {
namespace {

constexpr std::string_view kGeneralText =
    "USB통신에 문제가 발생하여 프로그램을 종료합니다.\n"
    "USB케이블이 빠졌거나 세트 전원이 꺼져있는지 확인해보세요!  ";

// Catches: discovery stopping at the first camera instead of the highest.
TEST_F(LinkTest, DiscoveryPicksHighestOfCameras0And3) {
  StartSimulator({"--instances", "0,3"});
  MessageRecorder messages;
  EXPECT_TRUE(link_->DiscoverDevice());
  EXPECT_EQ(link_->DeviceName(), "RD-420-3");
  EXPECT_TRUE(messages.Messages().empty());
}

// Catches: a missing or repeated message when no camera answers.
TEST(Discovery, NoCameraShowsExactlyOneAhl00001) {
  const std::string empty = MakeTempDirectory();
  SocketTransport transport(empty);
  DeviceLink link(transport, viewer::ViewerLinkMessages());
  MessageRecorder messages;
  EXPECT_FALSE(link.DiscoverDevice());
  const std::vector<Message> shown = messages.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Error (AHL00001)");
  EXPECT_EQ(shown[0].text, kGeneralText);
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
TEST_F(LinkTest, SpeedTestOnUnpluggedCameraShowsAhl00002Once) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  MessageRecorder messages;
  EXPECT_EQ(link_->QueryHighSpeed(nullptr), 0);
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"Error (AHL00002)"});
  EXPECT_EQ(messages.Messages()[0].text,
            "USB통신에 문제가 발생하여 프로그램을 종료합니다.\n"
            "USB2.0/USB1.1 모드 검출에 실패하였습니다!    ");
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
