#include <chrono>
#include <thread>

#include "devlink/link_fixture.h"
#include "platform/message.h"
#include "wire/command_words.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"

namespace rd420::test {
namespace {

using namespace std::chrono_literals;

class CommandTest : public LinkTest {
 protected:
  void SetUp() override {
    StartSimulator();
    ASSERT_TRUE(link_->DiscoverDevice());
  }
};

// Catches: reply bytes assembled little-endian or shifted.
TEST_F(CommandTest, ReplyBytes61802004GiveWord0x61802004) {
  ASSERT_EQ(simulator_->Control("force-status 0x61802004"), "ok");
  EXPECT_EQ(link_->SendCommand(kPollStatus), 0x61802004u);
  EXPECT_EQ(link_->ReplyWord(), 0x61802004u);
}

// Catches: value and index swapped, or a wrong request-type byte.
TEST_F(CommandTest, ZoomTeleTravelsAsTheTenDocumentedBytes) {
  ASSERT_TRUE(link_->SendCommand(kCmdZoomTele));
  const auto state = simulator_->State();
  EXPECT_EQ(state.at("last-record"), "01020000b00026000500");
  EXPECT_EQ(state.at("last-command"), "0x00260005");
}

// Catches: a fire-and-forget word lost, or sent twice.
TEST_F(CommandTest, PostedCommandReachesTheCamera) {
  link_->PostCommand(kCmdLampOn);
  EXPECT_TRUE(simulator_->WaitForState("lamp", "1"));
  EXPECT_EQ(simulator_->Control("history"), "ok 0x00030005");
}

// Catches: replies handed to the wrong caller when requests overlap.
TEST_F(CommandTest, ConcurrentCallersEachGetTheirOwnReply) {
  constexpr int kRounds = 40;
  const uint32_t polls[] = {kPollStatus, kPollZoom, kPollBrightness, kPollSecondary};
  std::atomic<int> wrong{0};
  std::vector<std::thread> callers;
  for (uint32_t poll : polls) {
    callers.emplace_back([&, poll] {
      for (int i = 0; i < kRounds; ++i) {
        const std::optional<uint32_t> reply = link_->SendCommand(poll);
        // The status word starts 0x61; the other polls echo their
        // function code in bits 16..22.
        const bool fits = reply && (poll == kPollStatus ? (*reply >> 24) == 0x61
                                                        : ((*reply >> 16) & 0x7F) == (poll >> 16));
        if (!fits) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(simulator_->State().at("vendor"), std::to_string(4 * kRounds));
}

// Catches: a failing request that is silent, speaks twice, or keeps
// sending after the program was told to end.
TEST_F(CommandTest, FailedReportingRequestShowsSendRequestOnceAndStopsTheLink) {
  ASSERT_EQ(simulator_->Control("fail-vendor 1"), "ok");
  MessageRecorder messages;
  EXPECT_FALSE(link_->SendCommand(kPollStatus).has_value());
  EXPECT_FALSE(link_->SendCommand(kPollStatus).has_value());
  link_->PostCommand(kCmdLampOn);
  // The caller is released before the message is shown.
  for (int i = 0; i < 200 && fatalCalls_ == 0; ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"SendRequest"});
  EXPECT_EQ(fatalCalls_, 1);
  EXPECT_TRUE(link_->Failed());
  std::this_thread::sleep_for(50ms);
  // Only the failed request reached the camera.
  EXPECT_EQ(simulator_->State().at("vendor"), "1");
}

// Catches: a posted command to an unplugged camera that fails silently.
TEST_F(CommandTest, PostToUnpluggedCameraShowsPostOpen) {
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  MessageRecorder messages;
  link_->PostCommand(kCmdLampOn);
  for (int i = 0; i < 200 && messages.Messages().empty(); ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"PostOpen"});
}

// Catches: the quiet variant showing a message or losing the last reply.
TEST_F(CommandTest, QuietFailureKeepsPreviousReplyAndClearsLinkOk) {
  ASSERT_EQ(simulator_->Control("force-status 0x61802004"), "ok");
  ASSERT_EQ(link_->SendCommandQuiet(kPollStatus), 0x61802004u);
  ASSERT_EQ(simulator_->Control("fail-vendor all"), "ok");
  MessageRecorder messages;
  EXPECT_EQ(link_->SendCommandQuiet(kPollZoom), 0x61802004u);
  EXPECT_FALSE(link_->LinkOk());
  EXPECT_TRUE(messages.Messages().empty());
  EXPECT_FALSE(link_->Failed());
}

// Catches: a bulk read that returns a partial or wrongly sized frame.
TEST_F(CommandTest, BulkReadDeliversAWholeFrame) {
  PendingRead read(*link_, kFullFrameBytes);
  ASSERT_TRUE(read.done.Wait(5000));
  EXPECT_EQ(read.request.result, 1u);
  EXPECT_EQ(read.request.bytesReturned, kFullFrameBytes);
}

// Catches: an abort that does not end a read stalled in the driver.
TEST_F(CommandTest, AbortPipeEndsAStalledRead) {
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  PendingRead read(*link_, kFullFrameBytes);
  // An abort ends only reads that have reached the camera.
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  EXPECT_FALSE(read.done.Wait(100));
  link_->AbortPipe();
  ASSERT_TRUE(read.done.Wait(5000));
  EXPECT_EQ(read.request.result, 0u);
  // The camera goes on serving after the abort.
  PendingRead next(*link_, kFullFrameBytes);
  ASSERT_TRUE(next.done.Wait(5000));
  EXPECT_EQ(next.request.result, 1u);
}

// Catches: a read left blocked for ever when the cable is pulled.
TEST_F(CommandTest, UnplugEndsAPendingReadWithFailure) {
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  PendingRead read(*link_, kFullFrameBytes);
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  EXPECT_FALSE(read.done.Wait(100));
  ASSERT_EQ(simulator_->Control("unplug").substr(0, 2), "ok");
  ASSERT_TRUE(read.done.Wait(5000));
  EXPECT_EQ(read.request.result, 0u);
  // A handle opened before the unplug stays dead after the replug.
  ASSERT_EQ(simulator_->Control("plug").substr(0, 2), "ok");
  uint8_t reply[4];
  EXPECT_FALSE(read.device->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(kPollStatus), reply).ok);
}

}  // namespace
}  // namespace rd420::test
