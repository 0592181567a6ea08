#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "devlink/link_fixture.h"
#include "platform/byte_order.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/socket_io.h"
#include "wire/wire_protocol.h"

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

// A raw connection to RD-420-0 and one request on it: a bulk read or abort
// of pipe 1, or a status poll.
UniqueFd ConnectNode(const SimulatorProcess& simulator) {
  UniqueFd fd = ConnectUnixSocket(DevicePath(simulator.Directory(), "RD-420-0"));
  if (fd.Valid()) {
    SetReceiveTimeout(fd.Get(), 5000);
  }
  return fd;
}

bool SendRequest(int fd, uint32_t code, uint32_t outputLength) {
  const uint8_t pipe[4] = {1, 0, 0, 0};
  const VendorRecord poll = EncodeVendorRecord(kPollStatus);
  const std::span<const uint8_t> input =
      code == kIoctlVendorRequest ? std::span<const uint8_t>(poll) : std::span<const uint8_t>(pipe);
  return SendAll(fd, wire::EncodeRequestHeader(
                         {code, static_cast<uint32_t>(input.size()), outputLength})) &&
         SendAll(fd, input);
}

// The reply's header, its data read and dropped; nothing when the daemon
// closed the connection or did not answer within 5 s.
std::optional<wire::ReplyHeader> ReceiveReply(int fd) {
  std::array<uint8_t, wire::kReplyHeaderBytes> bytes;
  if (!ReceiveAll(fd, bytes)) {
    return std::nullopt;
  }
  const auto header = wire::DecodeReplyHeader(bytes);
  std::vector<uint8_t> data(header ? header->bytesReturned : 0);
  if (!header || !ReceiveAll(fd, data)) {
    return std::nullopt;
  }
  return header;
}

// Catches: a thread per connection, so idle clients use up the threads and
// one that cannot start aborts the daemon; and a bulk read that finds no
// thread taking the daemon down instead of failing alone.
TEST_F(LinkTest, ServesWithTwoThousandIdleConnectionsAndNoThreadToSpare) {
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 2200));
  if (setrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < 2200 || geteuid() != 0) {
    GTEST_SKIP() << "needs 2,200 descriptors and root (the daemon runs as nobody)";
  }
  // Main and signal threads and two transfer threads (and the thread
  // sanitizer's own, when built with it).
#if defined(__SANITIZE_THREAD__)
  constexpr unsigned long kRuntimeThreads = 1;
#else
  constexpr unsigned long kRuntimeThreads = 0;
#endif
  StartSimulator({"--fps", "0.1"}, {.threads = 4 + kRuntimeThreads});
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 2000; ++i) {
    idle.push_back(ConnectNode(*simulator_));
    ASSERT_TRUE(idle.back().Valid()) << "connection " << i;
  }
  // A well-formed client is still served. Raw requests: the folder belongs
  // to nobody here, which the programs' own transport rightly refuses.
  UniqueFd client = ConnectNode(*simulator_);
  ASSERT_TRUE(SendRequest(client.Get(), kIoctlVendorRequest, kVendorReplyBytes));
  const auto status = ReceiveReply(client.Get());
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->result, 1u);

  // The first frame is due at once; the next two wait 10 and 20 s, each on
  // a transfer thread, which uses the last threads up.
  std::array<UniqueFd, 4> readers;
  for (UniqueFd& reader : readers) {
    reader = ConnectNode(*simulator_);
  }
  ASSERT_TRUE(SendRequest(readers[0].Get(), kIoctlBulkRead, kFullFrameBytes));
  const auto first = ReceiveReply(readers[0].Get());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->bytesReturned, kFullFrameBytes);
  ASSERT_TRUE(SendRequest(readers[1].Get(), kIoctlBulkRead, kFullFrameBytes));
  ASSERT_TRUE(SendRequest(readers[2].Get(), kIoctlBulkRead, kFullFrameBytes));
  ASSERT_TRUE(simulator_->WaitForState("bulk", "3"));
  ASSERT_TRUE(SendRequest(readers[3].Get(), kIoctlBulkRead, kFullFrameBytes));
  const auto refused = ReceiveReply(readers[3].Get());
  ASSERT_TRUE(refused.has_value()) << "no answer when no thread was left";
  EXPECT_EQ(refused->result, 0u);

  // Once a waiting reader hangs up, its thread serves the next read.
  ASSERT_EQ(simulator_->Control("fps 0"), "ok");
  readers[1].Reset();
  readers[2].Reset();
  std::optional<wire::ReplyHeader> served;
  for (int attempt = 0; attempt < 50 && !(served && served->result == 1); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(SendRequest(readers[3].Get(), kIoctlBulkRead, kFullFrameBytes));
    served = ReceiveReply(readers[3].Get());
    ASSERT_TRUE(served.has_value());
  }
  EXPECT_EQ(served->result, 1u);
  EXPECT_EQ(simulator_->Control("state").substr(0, 2), "ok");
}

// Catches: a daemon at its descriptor limit that spins on its listener and
// leaves newcomers hanging with no answer, or closes them without saying
// why, instead of refusing them at once and serving again when a
// connection closes.
TEST_F(LinkTest, RefusesNewcomersAtTheDescriptorLimitAndServesAgain) {
  StartSimulator({}, {.openFiles = 32});
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(ConnectNode(*simulator_));
    ASSERT_TRUE(idle.back().Valid());
  }
  UniqueFd late = ConnectNode(*simulator_);
  ASSERT_TRUE(late.Valid());
  SendRequest(late.Get(), kIoctlVendorRequest, kVendorReplyBytes);
  const auto refusal = ReceiveReply(late.Get());
  ASSERT_TRUE(refusal.has_value()) << "the newcomer was left waiting or not told";
  EXPECT_EQ(refusal->result, wire::kResultRefused);

  idle.front().Reset();  // the first connections were accepted
  UniqueFd next = ConnectNode(*simulator_);
  ASSERT_TRUE(SendRequest(next.Get(), kIoctlVendorRequest, kVendorReplyBytes));
  const auto reply = ReceiveReply(next.Get());
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->result, 1u);
}

// Catches: reply buffers sized by the output length a client writes and
// kept for the connection's life (64 x 16 MiB pinned).
TEST_F(LinkTest, ReplyBuffersAreBoundedByTheFrameAndFreed) {
  StartSimulator({"--fps", "0"});
  std::vector<UniqueFd> clients;
  for (int i = 0; i < 64; ++i) {
    clients.push_back(ConnectNode(*simulator_));
    ASSERT_TRUE(SendRequest(clients.back().Get(), kIoctlBulkRead, wire::kMaxOutputBytes));
    const auto reply = ReceiveReply(clients.back().Get());
    ASSERT_TRUE(reply.has_value());
    ASSERT_EQ(reply->bytesReturned, kFullFrameBytes);
  }
  std::ifstream status("/proc/" + std::to_string(simulator_->Pid()) + "/status");
  std::string key;
  long residentKiB = -1;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> residentKiB;
    }
  }
  ASSERT_GT(residentKiB, 0);
  EXPECT_LT(residentKiB, 256 * 1024) << "64 connections each asked once for 16 MiB";
}

// Catches: a read whose client hung up keeping its place in the camera's
// frame pacing, so the next reader waits out every abandoned slot.
TEST_F(LinkTest, AbandonedReadsGiveTheirFrameSlotsBack) {
  StartSimulator();  // 15 frames/s at full size: 200 slots are 13 s
  {
    std::vector<UniqueFd> abandoned;
    for (int i = 0; i < 200; ++i) {
      abandoned.push_back(ConnectNode(*simulator_));
      ASSERT_TRUE(SendRequest(abandoned.back().Get(), kIoctlBulkRead, kFullFrameBytes));
    }
    ASSERT_TRUE(simulator_->WaitForState("bulk", "200"));
  }
  ASSERT_TRUE(link_->DiscoverDevice());
  PendingRead read(*link_, kFullFrameBytes);
  const bool finished = read.done.Wait(8000);  // well short of the 13 s
  if (!finished) {
    link_->AbortPipe();
  }
  EXPECT_TRUE(finished);
  EXPECT_EQ(read.request.result, 1u);
}

// Catches: an abort pipe from one program ending another program's reads.
TEST_F(LinkTest, AbortFromAnotherProcessLeavesThisOnesReadAlone) {
  StartSimulator({"--fps", "0.5"});
  ASSERT_TRUE(link_->DiscoverDevice());
  {
    PendingRead first(*link_, kFullFrameBytes);  // the frame due at once
    ASSERT_TRUE(first.done.Wait(5000));
  }
  PendingRead read(*link_, kFullFrameBytes);  // due in 2 s
  ASSERT_TRUE(simulator_->WaitForState("bulk", "2"));
  const std::string node = DevicePath(simulator_->Directory(), "RD-420-0");
  const pid_t child = fork();
  if (child == 0) {
    UniqueFd fd = ConnectUnixSocket(node);
    _exit(fd.Valid() && SendRequest(fd.Get(), kIoctlAbortPipe, 0) && ReceiveReply(fd.Get()) ? 0
                                                                                            : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(simulator_->State().at("abort"), "1");
  ASSERT_TRUE(read.done.Wait(5000));
  EXPECT_EQ(read.request.result, 1u);
  EXPECT_EQ(read.request.bytesReturned, kFullFrameBytes);
}

// Catches: start-up failures that do not name their cause.
TEST(Daemon, StartUpErrorsNameTheirCause) {
  const std::string base = MakeTempDirectory();
  const std::string blocked = base + "/blocked";
  ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(DevicePath(blocked, kControlSocketName).c_str(), 0700), 0);
  const struct {
    std::string directory;
    const char* cause;
  } cases[] = {
      {base + "/" + std::string(120, 'd'), "too long for a socket name"},
      {blocked, "a directory stands there"},
  };
  for (const auto& c : cases) {
    const ProgramResult result = RunProgram({RD420D_PATH, "--simulate", "--dir", c.directory});
    EXPECT_EQ(result.exitCode, 1) << c.cause;
    EXPECT_NE(result.err.find(c.cause), std::string::npos) << result.err;
  }
  RemoveDirectory(base);
}

// Catches: a control line over the limit closed without a word.
TEST_F(LinkTest, OverlongControlLineGetsAnError) {
  StartSimulator();
  EXPECT_EQ(simulator_->Control(std::string(1100, 'x')),
            "error control line longer than 1024 bytes");
}

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
