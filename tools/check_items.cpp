#include "tools/check_items.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

#include "devlink/camera_ready.h"
#include "devlink/camera_status.h"
#include "devlink/frame_reader.h"
#include "platform/byte_order.h"
#include "tools/console_messages.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/status_word.h"
#include "wire/wire_protocol.h"

namespace rd420::tools {
namespace {

using Clock = std::chrono::steady_clock;

// Bits of the status word the system gives no meaning; a camera that sets
// one tells us something we do not know yet.
constexpr uint32_t kReservedStatusBits =
    0x00FFFFFF &
    ~(kStatusValid | kStatusWide | kStatusStarting | kStatusFunctions | kStatusVariant |
      kStatusFreeze | kStatusApertureOff | kStatusExternal | kStatusLamp);
// The state a check changes and restores.
constexpr uint32_t kStateBits = kStatusFreeze | kStatusApertureOff | kStatusExternal | kStatusLamp;
// Room for the largest frame, so a frame of the wrong size shows as such.
constexpr size_t kLargestFrameBytes = 1280 * 960 * 2;
// A round trip's status change must show within this.
constexpr auto kStatusFollowTime = std::chrono::seconds(1);
constexpr auto kStatusFollowPoll = std::chrono::milliseconds(20);
// How far the frame rate may stray from the camera's.
constexpr double kRateTolerance = 0.10;
// The streaming readers put one status poll beside each bulk read, so a
// poll must come back within one frame at the fastest rate (640 x 360).
constexpr double kPollLimitMs = 1000 / 30.2;
// A frame read that brings nothing for this long has stalled, as for
// rd420ctl's other frame reads; a slow machine may take a good part of it
// for the first frame at a new size.
constexpr uint32_t kReadTimeoutMs = 5000;
// Long enough for a request to reach the camera through the daemon, well
// short of a frame period at full size (50 ms at 1280 x 720).
constexpr std::chrono::milliseconds kReachCameraMs{20};
// How often an item whose timing a busy machine can upset tries again.
constexpr int kBusyAttempts = 3;

std::string Hex(uint32_t word) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", word);
  return text;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

ItemResult Pass(std::string text) {
  return {true, std::move(text)};
}
ItemResult Fail(std::string text) {
  return {false, std::move(text)};
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

const char* SizeName(Resolution resolution) {
  return resolution == Resolution::kFull ? "full" : "half";
}

// Sends one vendor request from a process of its own, as another program
// would, and says whether the daemon took it; nothing when the child could
// not ask. Everything the child uses is made before the fork, so it only
// makes system calls.
std::optional<bool> SendFromAnotherProcess(const std::string& path, uint32_t word) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const auto header = wire::EncodeRequestHeader({kIoctlVendorRequest, kVendorRecordBytes, 4});
  const VendorRecord record = EncodeVendorRecord(word);
  uint8_t request[wire::kRequestHeaderBytes + kVendorRecordBytes];
  std::copy(header.begin(), header.end(), request);
  std::copy(record.begin(), record.end(), request + header.size());
  const pid_t child = fork();
  if (child < 0) {
    return std::nullopt;
  }
  if (child == 0) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{5, 0};
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        send(fd, request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request)) {
      _exit(2);
    }
    uint8_t reply[wire::kReplyHeaderBytes];
    size_t got = 0;
    while (got < sizeof reply) {
      const ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
      if (n <= 0) {
        _exit(2);
      }
      got += static_cast<size_t>(n);
    }
    _exit(reply[4] == 1 ? 1 : 0);  // the result, little-endian
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    return std::nullopt;
  }
  return WEXITSTATUS(status) == 1;
}

}  // namespace

CheckSession::CheckSession(std::string directory, std::string node, bool quick)
    : directory_(std::move(directory)),
      node_(std::move(node)),
      quick_(quick),
      transport_(directory_),
      link_(transport_, ConsoleLinkMessages()) {
  link_.UseDevice(node_);
}

bool CheckSession::Open() {
  control_ = transport_.Open(node_);
  initialStatus_ = control_ ? Poll() : std::nullopt;
  if (initialStatus_) {
    aspect43_ = IsAspect43(*initialStatus_);
  }
  return control_ != nullptr;
}

std::optional<uint32_t> CheckSession::Send(uint32_t word) {
  uint8_t reply[kVendorReplyBytes];
  const IoctlResult result = control_->Ioctl(kIoctlVendorRequest, EncodeVendorRecord(word), reply);
  if (!result.ok || result.bytesReturned != kVendorReplyBytes) {
    return std::nullopt;
  }
  return ReplyWordFromBytes(reply);
}

FrameGeometry CheckSession::Geometry(Resolution resolution) const {
  return FrameGeometryFor(aspect43_, resolution);
}

bool CheckSession::SetSize(Resolution resolution) {
  return Send(ResolutionCommand(resolution)).has_value();
}

std::optional<uint32_t> CheckSession::Poll() {
  return Send(kPollStatus);
}

ItemResult CheckSession::PipeInformation() {
  std::vector<uint8_t> record(kPipeInformationBufferBytes);
  const IoctlResult result = control_->Ioctl(kIoctlGetPipeInformation, {}, record);
  const auto info = DecodeInterfaceInformation(
      std::span<const uint8_t>(record).first(result.ok ? result.bytesReturned : 0));
  if (!result.ok || !info) {
    return Fail("expected the interface-information record, the request failed");
  }
  if (info->pipes.size() != 2) {
    return Fail(Format("expected 2 pipes, got %zu", info->pipes.size()));
  }
  const rd420::PipeInformation& frames = info->pipes[kFramePipeIndex];
  if ((frames.endpointAddress & 0x80) == 0 || frames.pipeType != 2) {
    return Fail(Format("expected pipe 1 bulk IN, got endpoint 0x%02X type %u",
                       frames.endpointAddress, frames.pipeType));
  }
  if (frames.maximumPacketSize == 64) {
    return Fail(
        "expected bulk packet 512 (USB 2.0 high speed), got 64: a full-speed (USB 1.1) link, "
        "which the programs refuse");
  }
  if (frames.maximumPacketSize != 512) {
    return Fail(Format("expected bulk packet 512, got %u", frames.maximumPacketSize));
  }
  return Pass(Format("2 pipes, pipe 1 bulk IN 0x%02X, packet 512: USB 2.0 high speed",
                     frames.endpointAddress));
}

ItemResult CheckSession::StatusWord() {
  const std::optional<uint32_t> word = Poll();
  if (!word) {
    return Fail("expected a reply to the status poll 0x00610000, the request failed");
  }
  if ((*word >> 24) != 0x61 || (*word & kStatusValid) == 0) {
    return Fail("expected 0x61 in the top byte and bit 23 (valid) set, got " + Hex(*word));
  }
  if ((*word & kReservedStatusBits) != 0) {
    return Fail(Format("expected the unused bits %s clear, got %s in %s",
                       Hex(kReservedStatusBits).c_str(), Hex(*word & kReservedStatusBits).c_str(),
                       Hex(*word).c_str()));
  }
  const auto on = [&](uint32_t bit) { return (*word & bit) != 0; };
  return Pass(Format("%s: %s, %s, commands %s, variant %d, freeze %s, aperture %s, %s, lamp %s",
                     Hex(*word).c_str(), on(kStatusWide) ? "16:9" : "4:3",
                     on(kStatusStarting) ? "starting" : "ready",
                     on(kStatusFunctions) ? "accepted" : "ignored", on(kStatusVariant) ? 1 : 0,
                     on(kStatusFreeze) ? "on" : "off", on(kStatusApertureOff) ? "off" : "on",
                     on(kStatusExternal) ? "external" : "internal",
                     on(kStatusLamp) ? "on" : "off"));
}

ItemResult CheckSession::ReadyWait() {
  CameraStatus status;
  const auto start = Clock::now();
  if (!WaitCameraReady(link_, status)) {
    return Fail(Format("expected bit 21 clear within %d polls, the camera did not get ready",
                       kReadyPollLimit));
  }
  aspect43_ = status.g_Aspect_43 != 0;
  return Pass(Format("ready after %.1f s, aspect %s, model variant %u",
                     std::chrono::duration<double>(Clock::now() - start).count(),
                     aspect43_ ? "4:3" : "16:9", unsigned{status.g_Model_Variant}));
}

ItemResult CheckSession::RoundTrip(int bit, uint32_t setWord, uint32_t clearWord) {
  const uint32_t mask = uint32_t{1} << bit;
  const std::optional<uint32_t> before = Poll();
  if (!before) {
    return Fail("expected a status word, the poll failed");
  }
  if ((*before & kStatusFunctions) == 0) {
    return Fail("expected bit 13 set (the camera takes commands), got " + Hex(*before) +
                "; press Active on the camera");
  }
  std::string figures;
  bool set = (*before & mask) == 0;
  for (int leg = 0; leg < 2; ++leg, set = !set) {
    const uint32_t word = set ? setWord : clearWord;
    const auto sent = Clock::now();
    if (!Send(word)) {
      return Fail("expected " + Hex(word) + " taken, the request failed");
    }
    std::optional<uint32_t> status;
    for (;;) {
      status = Poll();
      if (status && ((*status & mask) != 0) == set) {
        break;
      }
      if (Clock::now() - sent > kStatusFollowTime) {
        return Fail(Format("expected bit %d %s within 1 s of %s, got %s", bit,
                           set ? "set" : "clear", Hex(word).c_str(),
                           status ? Hex(*status).c_str() : "no status"));
      }
      std::this_thread::sleep_for(kStatusFollowPoll);
    }
    figures += Format("%s%s: bit %d %s in %.1f ms", leg == 0 ? "" : ", ", Hex(word).c_str(), bit,
                      set ? "set" : "clear", Ms(Clock::now() - sent));
  }
  return Pass(figures);
}

ItemResult CheckSession::Frames(Resolution resolution) {
  const FrameGeometry geometry = Geometry(resolution);
  if (!SetSize(resolution)) {
    return Fail("expected " + Hex(ResolutionCommand(resolution)) + " taken, the request failed");
  }
  const double rate = CameraFrameRate(geometry);
  const int count = static_cast<int>(rate * (quick_ ? 2 : 5)) + 1;
  std::unique_ptr<DeviceHandle> device = transport_.Open(node_);
  if (!device) {
    return Fail("expected " + node_ + " to open, it did not");
  }
  FrameReader reader(link_, *device);
  std::vector<uint8_t> frame(geometry.FrameBytes());
  Clock::time_point first;
  for (int i = 0; i < count; ++i) {
    if (!reader.Read(frame, kReadTimeoutMs)) {
      if (reader.WrongSize()) {
        return Fail(Format("expected %zu bytes a frame (%dx%d), frame %d had %u",
                           geometry.FrameBytes(), geometry.width, geometry.height, i + 1,
                           reader.BytesRead()));
      }
      return Fail(Format("expected frame %d within %u ms, the read failed or timed out", i + 1,
                         kReadTimeoutMs));
    }
    if (i == 0) {
      first = Clock::now();
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - first).count();
  const double measured = (count - 1) / seconds;
  if (std::abs(measured - rate) > rate * kRateTolerance) {
    return Fail(Format("expected %.2f frames/s within 10 %%, got %.2f over %.1f s", rate, measured,
                       seconds));
  }
  return Pass(Format("%d frames of %zu bytes (%dx%d), %.2f frames/s over %.1f s (camera %.2f)",
                     count, geometry.FrameBytes(), geometry.width, geometry.height, measured,
                     seconds, rate));
}

ItemResult CheckSession::TwoReaders() {
  const Resolution resolution = Resolution::kHalf;
  const FrameGeometry geometry = Geometry(resolution);
  if (!SetSize(resolution)) {
    return Fail("expected " + Hex(ResolutionCommand(resolution)) + " taken, the request failed");
  }
  const int perReader = quick_ ? 8 : 20;
  // Each reader keeps one read pending, so their reads alternate on the
  // camera as the streaming readers A and B do.
  struct Reader {
    std::unique_ptr<DeviceHandle> device;
    std::string problem;
    Clock::time_point first, last;
  };
  Reader readers[2];
  for (Reader& r : readers) {
    r.device = transport_.Open(node_);
    if (!r.device) {
      return Fail("expected " + node_ + " to open twice, it did not");
    }
  }
  auto run = [&](Reader& r) {
    FrameReader reader(link_, *r.device);
    std::vector<uint8_t> frame(geometry.FrameBytes());
    for (int i = 0; i < perReader && r.problem.empty(); ++i) {
      if (!reader.Read(frame, kReadTimeoutMs)) {
        r.problem = reader.WrongSize() ? Format("frame %d had %u bytes, not %zu", i + 1,
                                                reader.BytesRead(), geometry.FrameBytes())
                                       : Format("frame %d failed or timed out", i + 1);
      }
      (i == 0 ? r.first : r.last) = Clock::now();
    }
  };
  std::thread second(run, std::ref(readers[1]));
  run(readers[0]);
  second.join();
  for (int i = 0; i < 2; ++i) {
    if (!readers[i].problem.empty()) {
      return Fail(Format("expected %d whole frames for each reader, reader %c: %s", perReader,
                         'A' + i, readers[i].problem.c_str()));
    }
  }
  const double seconds = std::chrono::duration<double>(std::max(readers[0].last, readers[1].last) -
                                                       std::min(readers[0].first, readers[1].first))
                             .count();
  const double rate = CameraFrameRate(geometry);
  const double measured = (2 * perReader - 1) / seconds;
  if (std::abs(measured - rate) > rate * kRateTolerance) {
    return Fail(Format("expected %.2f frames/s together within 10 %%, got %.2f", rate, measured));
  }
  return Pass(
      Format("%d frames each, %.2f frames/s together (camera %.2f)", perReader, measured, rate));
}

ItemResult CheckSession::Abort() {
  if (!SetSize(Resolution::kFull)) {
    return Fail("expected " + Hex(kCmdFullResolution) + " taken, the request failed");
  }
  // Three reads pending: the last waits for the frame after the next two,
  // two frame periods away at least. The abort comes one period after them,
  // which leaves the reads that much time to reach the camera, and must cut
  // the last one short; the first ones may well get their frames.
  struct Pending {
    std::unique_ptr<DeviceHandle> device;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kLargestFrameBytes);
    std::optional<IoctlResult> result;
    Clock::time_point endedAt;
  };
  constexpr int kReads = 3;
  const auto period = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::duration<double>(1 / CameraFrameRate(Geometry(Resolution::kFull))));
  const uint8_t pipe[kPipeIndexBytes] = {kFramePipeIndex, 0, 0, 0};
  for (int attempt = 1;; ++attempt) {
    Pending reads[kReads];
    for (Pending& p : reads) {
      p.device = transport_.Open(node_);
      if (!p.device) {
        return Fail("expected " + node_ + " to open, it did not");
      }
    }
    std::promise<void> allEnded;
    std::atomic<int> ended{0};
    std::vector<std::thread> threads;
    for (Pending& p : reads) {
      threads.emplace_back([&] {
        const IoctlResult r = p.device->Ioctl(kIoctlBulkRead, pipe, p.frame);
        p.endedAt = Clock::now();
        p.result = r;
        if (++ended == kReads) {
          allEnded.set_value();
        }
      });
      std::this_thread::sleep_for(kReachCameraMs / 4);  // one after the other
    }
    std::this_thread::sleep_for(period);
    const auto abortedAt = Clock::now();
    const IoctlResult abort = control_->Ioctl(kIoctlAbortPipe, pipe, {});
    const bool endedInTime =
        allEnded.get_future().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    for (Pending& p : reads) {
      if (!endedInTime) {
        p.device->Cancel();  // our side ends it, whatever the daemon does
      }
    }
    for (std::thread& t : threads) {
      t.join();
    }
    if (!abort.ok) {
      return Fail("expected the abort taken, the request failed");
    }
    if (!endedInTime) {
      return Fail("expected the pending reads to end at the abort, one went on for 2 s");
    }
    const Pending& last =
        *std::max_element(std::begin(reads), std::end(reads),
                          [](const Pending& a, const Pending& b) { return a.endedAt < b.endedAt; });
    if (!last.result->ok) {
      return Pass(Format("the read waiting two frames ahead ended %.1f ms after the abort",
                         Ms(last.endedAt - abortedAt)));
    }
    // A busy machine may have let the reads reach the camera only after
    // the abort, when their frames came. Try again.
    if (attempt == kBusyAttempts) {
      return Fail(Format("expected the abort to end the pending reads, all brought frames %d times",
                         kBusyAttempts));
    }
  }
}

ItemResult CheckSession::SizeChangeFromAnotherProcess() {
  const Resolution ours = Resolution::kHalf;
  const Resolution other = Resolution::kFull;
  if (!SetSize(ours)) {
    return Fail("expected " + Hex(ResolutionCommand(ours)) + " taken, the request failed");
  }
  std::unique_ptr<DeviceHandle> device = transport_.Open(node_);
  std::vector<uint8_t> frame(kLargestFrameBytes);
  const uint8_t pipe[kPipeIndexBytes] = {kFramePipeIndex, 0, 0, 0};
  // A frame just read: this process streams for the next second.
  if (!device || !device->Ioctl(kIoctlBulkRead, pipe, frame).ok) {
    return Fail("expected a frame at half size, the read failed");
  }
  // The link's ended request threads are joined first: the child would
  // end with them unjoined, which the thread sanitizer reports.
  link_.WaitIdle();
  const std::optional<bool> taken =
      SendFromAnotherProcess(DevicePath(directory_, node_), ResolutionCommand(other));
  if (!taken) {
    return Fail("expected a second process to ask, it could not reach " + node_);
  }
  if (*taken) {
    SetSize(ours);
    return Fail("expected " + Hex(ResolutionCommand(other)) +
                " from another process refused while this one streams at half size, it was "
                "taken");
  }
  const IoctlResult next = device->Ioctl(kIoctlBulkRead, pipe, frame);
  if (!next.ok || next.bytesReturned != Geometry(ours).FrameBytes()) {
    return Fail(Format("expected the stream to go on at %zu bytes a frame, got %u",
                       Geometry(ours).FrameBytes(), next.ok ? next.bytesReturned : 0));
  }
  return Pass(std::string("another process's ") + Hex(ResolutionCommand(other)) +
              " refused; the stream went on at " + SizeName(ours) + " size");
}

ItemResult CheckSession::ReadTimeOut() {
  const FrameGeometry geometry = Geometry(Resolution::kFull);
  if (!SetSize(Resolution::kFull)) {
    return Fail("expected " + Hex(kCmdFullResolution) + " taken, the request failed");
  }
  std::vector<uint8_t> frame(geometry.FrameBytes());
  std::unique_ptr<DeviceHandle> device = transport_.Open(node_);
  if (!device) {
    return Fail("expected " + node_ + " to open, it did not");
  }
  FrameReader reader(link_, *device);
  if (!reader.Read(frame, kReadTimeoutMs)) {
    return Fail("expected a frame, the read failed");
  }
  // The next frame is a period away, so a shorter read times out, unless
  // this thread was held up between the two reads (a busy machine): then
  // it tries again.
  bool timedOut = false;
  double reported = 0;
  for (int attempt = 0; attempt < kBusyAttempts && !timedOut; ++attempt) {
    const auto start = Clock::now();
    timedOut = !reader.Read(frame, kReachCameraMs.count());
    reported = Ms(Clock::now() - start);
  }
  if (!timedOut) {
    return Fail(Format("expected a %lld ms read to time out, a frame came in time %d times",
                       static_cast<long long>(kReachCameraMs.count()), kBusyAttempts));
  }
  device = transport_.Open(node_);
  if (!device) {
    return Fail("expected " + node_ + " to open after the time-out, it did not");
  }
  FrameReader next(link_, *device);
  if (!next.Read(frame, kReadTimeoutMs)) {
    return Fail(Format(
        "expected a whole frame after the time-out, got %s",
        next.BytesRead() > 0 ? Format("%u bytes", next.BytesRead()).c_str() : "a failed read"));
  }
  return Pass(
      Format("a %lld ms read reported its time-out after %.1f ms; the next read brought %u bytes",
             static_cast<long long>(kReachCameraMs.count()), reported, next.BytesRead()));
}

ItemResult CheckSession::StatusPollTime() {
  const int polls = quick_ ? 50 : 200;
  std::vector<double> times;
  for (int i = 0; i < polls; ++i) {
    const auto start = Clock::now();
    if (!Poll()) {
      return Fail(Format("expected %d status replies, poll %d failed", polls, i + 1));
    }
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  // Nearest rank.
  const double p50 = times[(polls * 50 + 99) / 100 - 1];
  const double p99 = times[(polls * 99 + 99) / 100 - 1];
  const std::string figures = Format("p50 %.2f ms, p99 %.2f ms over %d polls", p50, p99, polls);
  if (p99 > kPollLimitMs) {
    return Fail(
        Format("expected p99 within %.1f ms (one frame at 30.2 frames/s), got ", kPollLimitMs) +
        figures);
  }
  return Pass(figures);
}

ItemResult CheckSession::StateRestored() {
  // Each program asks for its own frame size when it starts streaming;
  // full size is where the camera starts.
  SetSize(Resolution::kFull);
  const std::optional<uint32_t> now = Poll();
  if (!initialStatus_ || !now) {
    return Fail("expected a status word, the poll failed");
  }
  const uint32_t changed = (*now ^ *initialStatus_) & kStateBits;
  if (changed == 0) {
    return Pass("status " + Hex(*now) + " as at the start; frame size full");
  }
  return Fail("expected the state bits as at the start (" + Hex(*initialStatus_) + "), got " +
              Hex(*now));
}

const std::vector<CheckItem>& CheckItems() {
  static const std::vector<CheckItem> kItems = {
      {"pipe information", [](CheckSession& s) { return s.PipeInformation(); }},
      {"status word", [](CheckSession& s) { return s.StatusWord(); }},
      {"ready-wait", [](CheckSession& s) { return s.ReadyWait(); }},
      {"lamp", [](CheckSession& s) { return s.RoundTrip(2, kCmdLampOn, kCmdLampOff); }},
      {"freeze", [](CheckSession& s) { return s.RoundTrip(11, kCmdFreezeOn, kCmdFreezeOff); }},
      // Bit 10 set means aperture (text-and-image mode) off.
      {"text/image",
       [](CheckSession& s) { return s.RoundTrip(10, kCmdApertureOff, kCmdApertureOn); }},
      {"internal/external",
       [](CheckSession& s) { return s.RoundTrip(4, kCmdExternal, kCmdInternal); }},
      {"frames full size", [](CheckSession& s) { return s.Frames(Resolution::kFull); }},
      {"frames half size", [](CheckSession& s) { return s.Frames(Resolution::kHalf); }},
      {"two readers", [](CheckSession& s) { return s.TwoReaders(); }},
      {"abort pipe", [](CheckSession& s) { return s.Abort(); }},
      {"size change refused", [](CheckSession& s) { return s.SizeChangeFromAnotherProcess(); }},
      {"read time-out", [](CheckSession& s) { return s.ReadTimeOut(); }},
      {"status poll time", [](CheckSession& s) { return s.StatusPollTime(); }},
      {"state restored", [](CheckSession& s) { return s.StateRestored(); }},
  };
  return kItems;
}

}  // namespace rd420::tools
