#include "tools/frame_commands.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "devlink/camera_ready.h"
#include "devlink/command_queue.h"
#include "devlink/frame_bitmap.h"
#include "devlink/frame_reader.h"
#include "devlink/stream_pipeline.h"
#include "platform/byte_order.h"
#include "platform/process_usage.h"
#include "platform/whole_file.h"
#include "wire/command_words.h"
#include "wire/device_records.h"

namespace rd420::tools {
namespace {

constexpr uint32_t kFrameReadTimeoutMs = 5000;

int Fail(const std::string& line) {
  std::fprintf(stderr, "rd420ctl: %s\n", line.c_str());
  return 1;
}

// The daemon refuses a frame-size change while another program streams at
// the other size: say so on one line, with the flag that matches it.
bool SetResolution(DeviceLink& link, Resolution resolution) {
  const std::unique_ptr<DeviceHandle> device = link.OpenDevice();
  if (device == nullptr) {
    link.ShowFailure(LinkFailure::kSendOpen);
    return false;
  }
  uint8_t reply[kVendorReplyBytes];
  auto send = [&](uint32_t word) {
    return device->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(word), reply).ok;
  };
  if (send(ResolutionCommand(resolution))) {
    return true;
  }
  // A camera that still answers its status poll refused only the size.
  if (send(kPollStatus)) {
    const bool full = resolution == Resolution::kFull;
    Fail(std::string("the camera is streaming at ") + (full ? "half" : "full") +
         " size for another program; use " + (full ? "--half" : "--full"));
  } else {
    link.ShowFailure(LinkFailure::kSendRequest);
  }
  return false;
}

// The 14-byte BITMAPFILEHEADER, then the bitmap's header and pixels.
bool WriteBmp(const std::string& path, const FrameBitmap& bitmap) {
  uint8_t fileHeader[14] = {'B', 'M'};
  StoreLe32(fileHeader + 2, static_cast<uint32_t>(sizeof fileHeader + bitmap.Block().size()));
  StoreLe32(fileHeader + 10, static_cast<uint32_t>(sizeof fileHeader + FrameBitmap::kHeaderBytes));
  return WriteWholeFile(path, {fileHeader, bitmap.Block()});
}

// Counts frames and the status words current when each was drawn. Runs on
// the display threads.
class CountingHost : public StreamHost {
 public:
  explicit CountingHost(const CameraStatus& status) : status_(status) {}
  void DrawFrame(const DisplayedFrame&) override {
    std::lock_guard lock(mutex_);
    ++drawn_;
    ++statusWords_[status_.g_Normal_Status];
  }
  uint64_t Drawn() {
    std::lock_guard lock(mutex_);
    return drawn_;
  }
  std::map<uint32_t, uint64_t> StatusWords() {
    std::lock_guard lock(mutex_);
    return statusWords_;
  }

 private:
  const CameraStatus& status_;
  std::mutex mutex_;
  uint64_t drawn_ = 0;
  std::map<uint32_t, uint64_t> statusWords_;
};

}  // namespace

bool WaitReady(DeviceLink& link, CameraStatus& status) {
  if (WaitCameraReady(link, status)) {
    return true;
  }
  if (link.NoAnswer()) {
    Fail("rd420d does not answer (no reply within 5 s): is the daemon stopped?");
  } else if (!link.Failed()) {
    link.ShowFailure(LinkFailure::kNotReady);
  }
  return false;
}

int Snapshot(DeviceLink& link, const std::string& path, Resolution resolution) {
  CameraStatus status;
  if (!WaitReady(link, status) || !SetResolution(link, resolution)) {
    return 1;
  }
  std::unique_ptr<DeviceHandle> device = link.OpenDevice();
  if (device == nullptr) {
    link.ShowFailure(LinkFailure::kStreamOpen);
    return 1;
  }
  const FrameGeometry geometry = FrameGeometryFor(status.g_Aspect_43 != 0, resolution);
  std::vector<uint8_t> frame(geometry.FrameBytes());
  FrameReader reader(link, *device);
  if (!reader.Read(frame, kFrameReadTimeoutMs)) {
    link.ShowFailure(LinkFailure::kBulkRead);
    return 1;
  }
  FrameBitmap bitmap(FrameBitmap::kStillPelsPerMeter);
  if (!bitmap.Allocate(geometry)) {
    return Fail("no memory for the picture");
  }
  bitmap.ConvertFrom(frame);
  if (!WriteBmp(path, bitmap)) {
    return Fail("cannot write " + path + ": " + std::strerror(errno));
  }
  std::printf("wrote %s: %dx%d, 24-bit BMP\n", path.c_str(), geometry.width, geometry.height);
  return 0;
}

int Stream(DeviceLink& link, double seconds, Resolution resolution) {
  CameraStatus status;
  if (!WaitReady(link, status)) {
    return 1;
  }
  CommandQueue commands;
  CountingHost host(status);
  std::atomic<bool> failed{false};
  link.SetFatalHandler([&failed] { failed = true; });
  StreamPipeline pipeline(link, status, commands, host);

  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  pipeline.StartRun(resolution == Resolution::kFull ? kModeOneToOne : kModeHalf);
  const auto deadline = start + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline && !failed &&
         pipeline.Flags().g_Usb_Error == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pipeline.Shutdown();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  if (failed || pipeline.Flags().g_Usb_Error != 0) {
    return 1;
  }

  const uint64_t drawn = host.Drawn();
  const FrameGeometry geometry = FrameGeometryFor(status.g_Aspect_43 != 0, resolution);
  std::printf("%dx%d for %.2f s: %llu frames drawn, %.1f frames/s\n", geometry.width,
              geometry.height, elapsed, static_cast<unsigned long long>(drawn), drawn / elapsed);
  std::printf("frames read but not drawn: %llu\n",
              static_cast<unsigned long long>(pipeline.FramesRead() - drawn));
  if (drawn > 0) {
    std::printf("cpu time per frame: %.2f ms\n", cpu * 1000 / drawn);
  }
  for (const auto& [word, count] : host.StatusWords()) {
    std::printf("status 0x%08X on %llu frames\n", word, static_cast<unsigned long long>(count));
  }
  return drawn > 0 ? 0 : Fail("no frame was drawn");
}

}  // namespace rd420::tools
