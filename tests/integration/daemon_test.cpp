#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "devlink/byte_order.h"
#include "devlink/command_words.h"
#include "devlink/device_directory.h"
#include "devlink/device_records.h"
#include "devlink/ioctl_codes.h"
#include "devlink/wire_protocol.h"
#include "integration/link_fixture.h"
#include "platform/socket_io.h"

namespace rd420::test {
namespace {

struct RawRequest {
  const char* name;
  std::array<uint8_t, 4> magic;
  uint32_t code;
  uint32_t inputLength;
  uint32_t outputLength;
};

void PrintTo(const RawRequest& request, std::ostream* os) {
  *os << request.name;
}

class MalformedRequestTest : public LinkTest, public ::testing::WithParamInterface<RawRequest> {};

std::vector<uint8_t> Encode(const RawRequest& r) {
  std::vector<uint8_t> bytes(wire::kRequestHeaderBytes);
  std::copy(r.magic.begin(), r.magic.end(), bytes.begin());
  StoreLe32(&bytes[4], r.code);
  StoreLe32(&bytes[8], r.inputLength);
  StoreLe32(&bytes[12], r.outputLength);
  // Send the input too when it is small, so a daemon that wrongly accepts
  // the header is not left waiting for it.
  if (r.inputLength <= 64) {
    bytes.resize(bytes.size() + r.inputLength, 0);
  }
  return bytes;
}

// Catches: a malformed request that is served, hangs the daemon, or takes
// other clients down with it.
TEST_P(MalformedRequestTest, GetsResultZeroAndClosedConnectionWhileOthersAreServed) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  std::unique_ptr<DeviceHandle> bystander = transport_->Open("RD-420-0");
  ASSERT_NE(bystander, nullptr);

  UniqueFd fd = ConnectUnixSocket(DevicePath(simulator_->Directory(), "RD-420-0"));
  ASSERT_TRUE(fd.Valid());
  SetReceiveTimeout(fd.Get(), 5000);
  ASSERT_TRUE(SendAll(fd.Get(), Encode(GetParam())));
  std::array<uint8_t, wire::kReplyHeaderBytes> reply;
  ASSERT_TRUE(ReceiveAll(fd.Get(), reply));
  const auto header = wire::DecodeReplyHeader(reply);
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->result, 0u);
  EXPECT_EQ(header->bytesReturned, 0u);
  uint8_t more;
  EXPECT_EQ(recv(fd.Get(), &more, 1, 0), 0) << "the connection should be closed";

  uint8_t word[4];
  EXPECT_TRUE(bystander->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(kPollStatus), word).ok);
  EXPECT_TRUE(link_->SendCommand(kPollStatus).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, MalformedRequestTest,
    ::testing::Values(
        RawRequest{"BadMagic", {'X', 'D', '4', '2'}, kIoctlVendorRequest, 10, 4},
        RawRequest{"UnknownCode", {'R', 'D', '4', '2'}, 0x222004, 0, 4},
        RawRequest{"VendorWithNineBytes", {'R', 'D', '4', '2'}, kIoctlVendorRequest, 9, 4},
        RawRequest{"BulkReadWithoutPipe", {'R', 'D', '4', '2'}, kIoctlBulkRead, 0, 614400},
        RawRequest{"PipeInfoWithInput", {'R', 'D', '4', '2'}, kIoctlGetPipeInformation, 4, 1024},
        RawRequest{"InputOver64KiB", {'R', 'D', '4', '2'}, kIoctlVendorRequest, 65537, 4},
        RawRequest{
            "OutputOver16MiB", {'R', 'D', '4', '2'}, kIoctlBulkRead, 4, 16 * 1024 * 1024 + 1}),
    [](const auto& param) { return std::string(param.param.name); });

// Catches: a vendor record that is not the documented 10-byte form being
// acted on.
TEST_F(LinkTest, VendorRecordOfAnotherFormFailsButKeepsTheConnection) {
  StartSimulator();
  std::unique_ptr<DeviceHandle> device = transport_->Open("RD-420-0");
  ASSERT_NE(device, nullptr);
  VendorRecord record = EncodeVendorRecord(kCmdLampOn);
  record[4] = 0xB1;  // another request code
  uint8_t reply[4];
  EXPECT_FALSE(device->Ioctl(kIoctlVendorRequest, record, reply).ok);
  EXPECT_EQ(simulator_->State().at("lamp"), "0");
  EXPECT_TRUE(device->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(kCmdLampOn), reply).ok);
  EXPECT_EQ(simulator_->State().at("lamp"), "1");
}

// Catches: a daemon thread stuck on a client that hung up halfway through
// its request.
TEST_F(LinkTest, ClientHangingUpMidRequestIsDropped) {
  StartSimulator();
  for (int i = 0; i < 20; ++i) {
    UniqueFd fd = ConnectUnixSocket(DevicePath(simulator_->Directory(), "RD-420-0"));
    ASSERT_TRUE(fd.Valid());
    const auto header = wire::EncodeRequestHeader({kIoctlVendorRequest, 10, 4});
    ASSERT_TRUE(SendAll(fd.Get(), std::span<const uint8_t>(header).first(7)));
  }
  ASSERT_TRUE(link_->DiscoverDevice());
  EXPECT_TRUE(link_->SendCommand(kPollStatus).has_value());
}

// Catches: a stalled read that keeps its daemon thread after the client
// has gone.
TEST_F(LinkTest, ClientHangingUpDuringStalledReadDoesNotBlockTheCamera) {
  StartSimulator();
  ASSERT_EQ(simulator_->Control("stall"), "ok next bulk read stalls");
  {
    UniqueFd fd = ConnectUnixSocket(DevicePath(simulator_->Directory(), "RD-420-0"));
    const auto header = wire::EncodeRequestHeader({kIoctlBulkRead, 4, 1280 * 960 * 2});
    const uint8_t pipe[4] = {1, 0, 0, 0};
    ASSERT_TRUE(SendAll(fd.Get(), header));
    ASSERT_TRUE(SendAll(fd.Get(), pipe));
  }
  // Let the stalled read reach the camera before the next one.
  ASSERT_TRUE(simulator_->WaitForState("bulk", "1"));
  ASSERT_TRUE(link_->DiscoverDevice());
  PendingRead read(*link_, kFullFrameBytes);
  const bool finished = read.done.Wait(5000);
  if (!finished) {
    link_->AbortPipe();
  }
  EXPECT_TRUE(finished);
  EXPECT_EQ(read.request.result, 1u);
  EXPECT_EQ(read.request.bytesReturned, kFullFrameBytes);
}

// Catches: a daemon that crashes or touches freed state when stopped while
// clients are busy on its control socket and nodes.
TEST_F(LinkTest, StopsCleanlyWhileClientsAreBusy) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  std::atomic<bool> stop{false};
  std::thread controlClient([&] {
    UniqueFd fd = ConnectUnixSocket(DevicePath(simulator_->Directory(), kControlSocketName));
    const std::string line = "history\n";
    while (!stop &&
           SendAll(fd.Get(), {reinterpret_cast<const uint8_t*>(line.data()), line.size()})) {
    }
  });
  std::thread deviceClient([&] {
    while (!stop && link_->SendCommandQuiet(kPollStatus) != 0) {
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(simulator_->Stop(), 0);
  stop = true;
  controlClient.join();
  deviceClient.join();
}

}  // namespace
}  // namespace rd420::test
