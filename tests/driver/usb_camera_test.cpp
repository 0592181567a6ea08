#include "driver/usb_camera.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "devlink/socket_transport.h"
#include "driver/usb_cameras.h"
#include "fake_usb_api.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"

namespace rd420 {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t kVendor = 0x1234;
constexpr uint16_t kProduct = 0x5678;
constexpr uint8_t kPipe1[4] = {1, 0, 0, 0};

fake::Camera CameraAt(UsbLocation location, std::array<uint8_t, 4> reply = {}) {
  fake::Camera camera;
  camera.location = std::move(location);
  camera.vendorId = kVendor;
  camera.productId = kProduct;
  camera.reply = reply;
  return camera;
}

// Waits a bounded while for `condition`; a bound against hangs, not a
// measure of speed.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::string PrivateDirectory() {
  static int count = 0;
  return std::filesystem::temp_directory_path() /
         ("rd420-usb-" + std::to_string(::getpid()) + "-" + std::to_string(++count));
}

// rd420d --usb in-process on a fake bus: the server on its own thread, the
// cameras' event thread, clients through the socket transport.
class UsbDaemonTest : public ::testing::Test {
 protected:
  void Serve(bool hotplug = true, std::chrono::milliseconds rescanInterval = 20ms) {
    api_ = std::make_unique<fake::FakeUsbApi>(hotplug);
    for (fake::Camera& camera : bus_) {
      api_->Add(std::move(camera));
    }
    server_ =
        std::make_unique<DeviceServer>(directory_, std::map<int, std::unique_ptr<CameraBackend>>{});
    cameras_ = std::make_unique<UsbCameras>(*api_, *server_,
                                            UsbCameras::Options{kVendor, kProduct, rescanInterval},
                                            [this](const std::string& line) {
                                              std::lock_guard lock(linesMutex_);
                                              lines_.push_back(line);
                                            });
    cameras_->Scan();
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(cameras_->Start());
    loop_ = std::thread([this] { server_->Run(); });
  }
  ~UsbDaemonTest() override {
    if (loop_.joinable()) {
      server_->Stop();
      loop_.join();
      server_->Shutdown();
      reads_.clear();
      cameras_->Stop();
    }
    std::filesystem::remove_all(directory_);
  }

  std::shared_ptr<DeviceHandle> Open(int instance) {
    return SocketTransport(directory_).Open(DeviceName(instance));
  }
  static std::optional<std::array<uint8_t, 4>> Vendor(DeviceHandle& handle, uint32_t word) {
    std::array<uint8_t, 4> reply{};
    const IoctlResult result = handle.Ioctl(kIoctlVendorRequest, EncodeVendorRecord(word), reply);
    return result.ok && result.bytesReturned == 4 ? std::optional(reply) : std::nullopt;
  }
  // A bulk read of `length` bytes on its own thread. The fixture keeps a
  // copy, so a failed assertion cannot leave the test waiting for it: the
  // server's shutdown ends it first.
  using ReadResult = std::pair<IoctlResult, std::vector<uint8_t>>;
  std::shared_future<ReadResult> StartRead(std::shared_ptr<DeviceHandle> handle, size_t length) {
    reads_.push_back(std::async(std::launch::async, [handle, length] {
      std::vector<uint8_t> frame(length);
      const IoctlResult result = handle->Ioctl(kIoctlBulkRead, kPipe1, frame);
      frame.resize(result.bytesReturned);
      return std::make_pair(result, frame);
    }));
    return reads_.back();
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(linesMutex_);
    return lines_;
  }

  const std::string directory_ = PrivateDirectory();
  std::vector<fake::Camera> bus_;
  std::unique_ptr<fake::FakeUsbApi> api_;
  std::unique_ptr<DeviceServer> server_;
  std::unique_ptr<UsbCameras> cameras_;
  std::thread loop_;
  std::vector<std::shared_future<ReadResult>> reads_;
  std::mutex linesMutex_;
  std::vector<std::string> lines_;
};

// Catches: a command word sent with the wrong setup (direction, type,
// request, value/index swapped), reply bytes reordered on the way back, or
// a malformed record passed on to the camera.
TEST_F(UsbDaemonTest, VendorRecordBecomesOneControlTransfer) {
  bus_.push_back(CameraAt({1, {2}}, {0x61, 0x80, 0x20, 0x04}));
  Serve();
  const auto handle = Open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Vendor(*handle, 0x00260005), (std::array<uint8_t, 4>{0x61, 0x80, 0x20, 0x04}));
  VendorRecord bad = EncodeVendorRecord(0x00260005);
  bad[4] = 0xB1;
  uint8_t reply[4];
  EXPECT_FALSE(handle->Ioctl(kIoctlVendorRequest, bad, reply).ok);
  EXPECT_EQ(api_->Seen(0).controls,
            (std::vector<fake::ControlSetup>{{0xC0, 0xB0, 0x0026, 0x0005, 4}}));
}

// Catches: a short control reply passed on as a whole word, its missing
// bytes made up.
TEST_F(UsbDaemonTest, ShortVendorReplyFails) {
  fake::Camera camera = CameraAt({1, {2}}, {0x61, 0x80, 0x20, 0x04});
  camera.replyLength = 2;
  bus_.push_back(camera);
  Serve();
  const auto handle = Open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Vendor(*handle, 0x00610000), std::nullopt);
}

// Catches: pipe records out of descriptor order, a field in the wrong
// place, the transfer type numbered differently from the record's, or the
// isochronous sync and usage bits taken into the type.
TEST_F(UsbDaemonTest, PipeListFollowsTheEndpointDescriptors) {
  fake::Camera camera = CameraAt({1, {2}});
  // 0x25: isochronous, asynchronous, implicit feedback data.
  camera.interface = {1,    0,    0xFF,
                      0x01, 0x02, {{0x01, 2, 512, 0}, {0x82, 2, 512, 0}, {0x83, 0x25, 16, 4}}};
  const uint32_t types[] = {2, 2, 1};
  bus_.push_back(camera);
  Serve();
  const auto handle = Open(0);
  ASSERT_NE(handle, nullptr);
  std::vector<uint8_t> record(kPipeInformationBufferBytes);
  const IoctlResult result = handle->Ioctl(kIoctlGetPipeInformation, {}, record);
  ASSERT_TRUE(result.ok);
  record.resize(result.bytesReturned);
  const std::optional<InterfaceInformation> info = DecodeInterfaceInformation(record);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->interfaceNumber, 1);
  EXPECT_EQ(info->interfaceSubClass, 0x01);
  EXPECT_EQ(info->interfaceProtocol, 0x02);
  ASSERT_EQ(info->pipes.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const UsbEndpoint& e = camera.interface.endpoints[i];
    const PipeInformation& pipe = info->pipes[i];
    EXPECT_EQ(pipe.maximumPacketSize, e.maxPacketSize) << i;
    EXPECT_EQ(pipe.endpointAddress, e.address) << i;
    EXPECT_EQ(pipe.interval, e.interval) << i;
    EXPECT_EQ(pipe.pipeType, types[i]) << i;
  }
  EXPECT_NE(info->pipes[1].pipeHandle, info->pipes[2].pipeHandle);
}

// Catches: a frame read as several transfers or on the wrong endpoint, a
// short transfer reported whole or as a failure, a stall that leaves the
// pipe halted, a failed transfer reported as success.
TEST_F(UsbDaemonTest, BulkReadEndsAsItsTransferEnds) {
  bus_.push_back(CameraAt({1, {2}}));
  Serve();
  const auto handle = Open(0);
  ASSERT_NE(handle, nullptr);
  constexpr size_t kFrame = 640 * 480 * 2;
  struct Case {
    int status;
    size_t arrives;
    bool ok;
    std::vector<uint8_t> halts;
  };
  const Case cases[] = {
      {LIBUSB_TRANSFER_COMPLETED, kFrame, true, {}},
      {LIBUSB_TRANSFER_COMPLETED, 1000, true, {}},
      {LIBUSB_TRANSFER_STALL, 0, false, {0x82}},
      {LIBUSB_TRANSFER_ERROR, 0, false, {0x82}},
  };
  for (const Case& c : cases) {
    auto read = StartRead(handle, kFrame);
    EXPECT_EQ(api_->WaitForRead(0), std::make_pair(uint8_t{0x82}, kFrame));
    std::vector<uint8_t> data(c.arrives);
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_TRUE(api_->Complete(0, c.status, data));
    const auto [result, frame] = read.get();
    EXPECT_EQ(result.ok, c.ok) << c.status;
    EXPECT_EQ(frame, c.ok ? data : std::vector<uint8_t>{}) << c.status;
    EXPECT_EQ(api_->Seen(0).clearedHalts, c.halts) << c.status;
  }
}

// Catches: an abort that leaves the read waiting for a frame, or a pipe
// left halted after it.
TEST_F(UsbDaemonTest, AbortDuringAReadCancelsItAndClearsTheHalt) {
  bus_.push_back(CameraAt({1, {2}}));
  Serve();
  const auto reader = Open(0);
  const auto aborter = Open(0);
  ASSERT_TRUE(reader && aborter);
  auto read = StartRead(reader, 640 * 480 * 2);
  ASSERT_TRUE(api_->WaitForRead(0));
  EXPECT_TRUE(aborter->Ioctl(kIoctlAbortPipe, kPipe1, {}).ok);
  EXPECT_FALSE(read.get().first.ok);
  EXPECT_EQ(api_->Seen(0).cancels, 1);
  EXPECT_EQ(api_->Seen(0).clearedHalts, (std::vector<uint8_t>{0x82}));
}

// Catches: an unplug that leaves a read waiting or the node in place, a
// camera that comes back under another number, or a handle from before the
// unplug that works again. With and without hot-plug notices.
class UsbReplugTest : public UsbDaemonTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UsbReplugTest, UnplugDuringAReadAndReplug) {
  bus_.push_back(CameraAt({1, {2}}, {0, 0, 0, 1}));
  Serve(GetParam());
  const auto before = Open(0);
  ASSERT_NE(before, nullptr);
  auto read = StartRead(before, 640 * 480 * 2);
  ASSERT_TRUE(api_->WaitForRead(0));
  api_->Unplug(0);
  EXPECT_FALSE(read.get().first.ok);
  EXPECT_TRUE(Eventually([&] { return Open(0) == nullptr; }));
  api_->Plug(0);
  std::shared_ptr<DeviceHandle> after;
  EXPECT_TRUE(Eventually([&] { return (after = Open(0)) != nullptr; }));
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(Vendor(*after, 0x00610000), (std::array<uint8_t, 4>{0, 0, 0, 1}));
  EXPECT_EQ(Vendor(*before, 0x00610000), std::nullopt);
  EXPECT_EQ(Open(1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(HotplugOrRescan, UsbReplugTest, ::testing::Bool());

// Catches: a read that finds the device gone leaving its node in place
// until the next notice or look at the bus, when neither may come soon.
TEST_F(UsbDaemonTest, AReadThatFindsTheDeviceGoneRemovesItsNode) {
  bus_.push_back(CameraAt({1, {2}}));
  Serve(false, std::chrono::hours(1));
  ASSERT_TRUE(Eventually([&] { return api_->Lists() == 2; }));  // Scan's and Start's
  const auto handle = Open(0);
  ASSERT_NE(handle, nullptr);
  auto read = StartRead(handle, 640 * 480 * 2);
  ASSERT_TRUE(api_->WaitForRead(0));
  api_->Unplug(0);
  EXPECT_FALSE(read.get().first.ok);
  EXPECT_TRUE(Eventually([&] { return Open(0) == nullptr; }));
}

// Catches: cameras numbered in the order the bus lists them rather than
// by bus and port, or a device of another product served.
TEST_F(UsbDaemonTest, CamerasAreNumberedInBusOrder) {
  bus_.push_back(CameraAt({2, {1}}, {0, 0, 0, 3}));
  bus_.push_back(CameraAt({1, {3}}, {0, 0, 0, 2}));
  bus_.push_back(CameraAt({1, {1, 4}}, {0, 0, 0, 1}));
  fake::Camera other = CameraAt({1, {1, 1}}, {0, 0, 0, 9});
  other.productId = kProduct + 1;
  bus_.push_back(other);
  Serve();
  for (uint8_t instance = 0; instance < 3; ++instance) {
    const auto handle = Open(instance);
    ASSERT_NE(handle, nullptr) << int{instance};
    EXPECT_EQ(Vendor(*handle, 0x00610000),
              (std::array<uint8_t, 4>{0, 0, 0, uint8_t(instance + 1)}));
  }
  EXPECT_EQ(Open(3), nullptr);
}

// Catches: a camera without permission passed over in silence, told again
// at every look at the bus, or told without the way out.
TEST_F(UsbDaemonTest, NoPermissionIsOneLineNamingTheUdevRule) {
  fake::Camera camera = CameraAt({1, {2}});
  camera.openError = LIBUSB_ERROR_ACCESS;
  bus_.push_back(camera);
  Serve(false);
  EXPECT_TRUE(Eventually([&] { return api_->Lists() >= 4; }));
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0],
            "rd420d: no permission to open the camera 1234:5678 at /dev/bus/usb/001/004 (bus 1 "
            "port 2); copy the udev rule 70-rd420.rules (in /usr/lib/udev/rules.d or "
            "/usr/local/lib/udev/rules.d once installed, resources/udev in the source) into "
            "/etc/udev/rules.d/ with VVVV:PPPP set to 1234:5678, then plug the camera in again");
  EXPECT_EQ(Open(0), nullptr);
}

// Catches: a camera that comes while the daemon shuts down logged as
// served and kept after the server refused (and freed) it, so its leaving
// touches freed memory.
TEST_F(UsbDaemonTest, ACameraComingDuringTheShutdownIsNotServed) {
  fake::Camera camera = CameraAt({1, {2}});
  camera.present = false;
  bus_.push_back(camera);
  Serve();
  server_->Stop();
  loop_.join();
  server_->Shutdown();
  api_->Plug(0);
  ASSERT_TRUE(Eventually([&] { return !Lines().empty(); }));
  const int lists = api_->Lists();
  api_->Unplug(0);
  ASSERT_TRUE(Eventually([&] { return api_->Lists() > lists; }));
  cameras_->Stop();  // the scan after the unplug has ended
  EXPECT_EQ(Lines(), std::vector<std::string>{
                         "rd420d: the camera 1234:5678 at /dev/bus/usb/001/005 (bus 1 port 2) "
                         "gets no node RD-420-0; it is tried again at the next look at the bus"});
}

// Catches: a camera whose node could not be made (here a file stands where
// it belongs), on arrival or on a replug, logged as served and never tried
// again until it is plugged in anew.
TEST_F(UsbDaemonTest, ANodeThatCouldNotBeMadeIsTriedAgain) {
  fake::Camera camera = CameraAt({1, {2}}, {0, 0, 0, 1});
  camera.present = false;
  bus_.push_back(camera);
  Serve(false);
  const std::string node = DevicePath(directory_, DeviceName(0));
  const auto refusals = [&] {
    const std::vector<std::string> lines = Lines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("gets no node RD-420-0") != std::string::npos;
    });
  };
  for (int refused = 1; refused <= 2; ++refused) {  // arrival, then replug
    { std::ofstream(node) << "not a socket"; }
    api_->Plug(0);
    ASSERT_TRUE(Eventually([&] { return refusals() == refused; })) << refused;
    std::filesystem::remove(node);
    std::shared_ptr<DeviceHandle> handle;
    ASSERT_TRUE(Eventually([&] { return (handle = Open(0)) != nullptr; })) << refused;
    EXPECT_EQ(Vendor(*handle, 0x00610000), (std::array<uint8_t, 4>{0, 0, 0, 1}));
    api_->Unplug(0);
    ASSERT_TRUE(Eventually([&] { return Open(0) == nullptr; }));
  }
}

// Catches: a camera held by another program left unserved after that
// program lets it go, when hot-plug notices (which that sends none of) are
// all that makes the daemon look at the bus.
TEST_F(UsbDaemonTest, ACameraHeldElsewhereIsServedOnceReleased) {
  fake::Camera camera = CameraAt({1, {2}});
  camera.openError = LIBUSB_ERROR_BUSY;
  bus_.push_back(camera);
  Serve(true);
  ASSERT_TRUE(Eventually([&] { return Lines().size() == 1; }));
  EXPECT_EQ(Open(0), nullptr);
  api_->SetOpenError(0, LIBUSB_SUCCESS);
  EXPECT_TRUE(Eventually([&] { return Open(0) != nullptr; }));
}

// One camera called directly, as the server would for two programs.
class UsbCameraTest : public ::testing::Test {
 protected:
  UsbCameraTest() {
    api_.Add(CameraAt({1, {2}}));
    int error = 0;
    camera_.Attach(api_.List(kVendor, kProduct).at(0)->Open(error));
    first_.generation = second_.generation = camera_.Generation();
  }
  ~UsbCameraTest() override {
    camera_.Shutdown();  // ends whatever a failed assertion left pending
    reads_.clear();
  }
  std::shared_future<std::optional<uint32_t>> StartRead(const ClientContext& client) {
    reads_.push_back(std::async(std::launch::async, [this, &client] {
      std::vector<uint8_t> frame(16);
      return camera_.BulkRead(client, kFramePipeIndex, frame);
    }));
    return reads_.back();
  }

  fake::FakeUsbApi api_{true};
  UsbCamera camera_{{}};
  // Two programs (the test and its parent).
  ClientContext first_{0, {}, getpid()};
  ClientContext second_{0, {}, getppid()};
  std::jthread events_{[this](std::stop_token stop) {
    while (!stop.stop_requested()) {
      api_.HandleEvents(20);
    }
  }};
  std::vector<std::shared_future<std::optional<uint32_t>>> reads_;
};

// Catches: one program's abort ending another program's read, or clearing
// the halt (and so the data toggle) under that read.
TEST_F(UsbCameraTest, AbortEndsOnlyTheAskingProcessRead) {
  auto firstRead = StartRead(first_);
  auto secondRead = StartRead(second_);
  ASSERT_TRUE(Eventually([&] { return api_.PendingReads(0) == 2; }));
  EXPECT_TRUE(camera_.AbortPipe(second_, kFramePipeIndex));
  EXPECT_FALSE(secondRead.get());
  const uint8_t frame[16] = {};
  ASSERT_TRUE(api_.Complete(0, LIBUSB_TRANSFER_COMPLETED, frame));
  EXPECT_EQ(firstRead.get(), 16u);
  EXPECT_TRUE(api_.Seen(0).clearedHalts.empty());
}

}  // namespace
}  // namespace rd420
