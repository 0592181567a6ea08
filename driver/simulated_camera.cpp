#include "driver/simulated_camera.h"

#include <cinttypes>
#include <cstdio>
#include <thread>

#include "driver/hex_text.h"
#include "wire/command_words.h"
#include "wire/device_records.h"
#include "wire/frame_format.h"
#include "wire/ioctl_codes.h"

namespace rd420::sim {

namespace {

constexpr size_t kHistoryLength = 32;
constexpr auto kPeerCheckInterval = std::chrono::milliseconds(100);
constexpr uint32_t kMaxTransferBytes = 4 * 1024 * 1024;

std::string WordText(uint32_t word) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", word);
  return text;
}

}  // namespace

SimulatedCamera::SimulatedCamera(const CameraOptions& options)
    : model_(options), fps_(options.fps) {
}

bool SimulatedCamera::Plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

uint64_t SimulatedCamera::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

bool SimulatedCamera::Attached(const ClientContext& client) const {
  return plugged_ && !shuttingDown_ && client.generation == generation_;
}

std::optional<InterfaceInformation> SimulatedCamera::Pipes(const ClientContext& client) {
  std::lock_guard lock(mutex_);
  ++counters_.pipes;
  if (!Attached(client)) {
    return std::nullopt;
  }
  const uint16_t packet = model_.FullSpeed() ? 64 : 512;
  InterfaceInformation info;
  info.interfaceClass = 0xFF;  // vendor specific
  info.interfaceHandle = 0x1000;
  info.pipes = {
      {packet, 0x01, 0, 2, 0x2000, kMaxTransferBytes, 0},  // bulk OUT
      {packet, 0x82, 0, 2, 0x2001, kMaxTransferBytes, 0},  // bulk IN: frames
  };
  return info;
}

std::optional<uint32_t> SimulatedCamera::Vendor(const ClientContext& client, uint32_t word) {
  std::optional<uint32_t> reply;
  std::chrono::milliseconds late{0};
  {
    std::lock_guard lock(mutex_);
    ++counters_.vendor;
    reply = Attached(client) ? VendorLocked(word) : std::nullopt;
    if (reply && word == kPollStatus) {
      late = faults_.slowStatus;
    }
  }
  // A slow camera holds its control pipe, and so every client's request.
  std::this_thread::sleep_for(late);
  return reply;
}

std::optional<uint32_t> SimulatedCamera::VendorLocked(uint32_t word) {
  if (failVendor_ != 0) {
    if (failVendor_ > 0) {
      --failVendor_;
    }
    return std::nullopt;
  }
  if (word == kPollStatus) {
    ++counters_.statusPolls;
  }
  if (!IsPoll(word)) {
    lastCommand_ = word;
    history_.push_back(word);
    if (history_.size() > kHistoryLength) {
      history_.pop_front();
    }
  }
  // A dropped word is answered as the camera answers any word, not acted on.
  const uint32_t reply = !IsPoll(word) && faults_.DropCommand()
                             ? word & 0x00FFFFFF
                             : model_.Command(word, Clock::now());
  const uint32_t answer = word == kPollStatus ? faults_.Status(reply) : reply;
  if (!model_.Frozen()) {
    frozenFrame_.reset();
  }
  return answer;
}

bool SimulatedCamera::AbortPipe(const ClientContext& client, uint32_t pipe) {
  std::lock_guard lock(mutex_);
  ++counters_.abort;
  if (!Attached(client)) {
    return false;
  }
  // Only the asking process's reads end: another program's stream goes on.
  if (pipe == kFramePipeIndex) {
    for (Read& read : reads_) {
      read.aborted = read.aborted || read.process == client.process;
    }
    wake_.notify_all();
  }
  return true;
}

Clock::duration SimulatedCamera::FramePeriod() const {
  const SceneSettings scene = model_.Scene(Clock::now());
  const double fps = fps_ < 0 ? CameraFrameRate({scene.width, scene.height}) : fps_;
  if (fps <= 0) {
    return Clock::duration::zero();
  }
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
}

bool SimulatedCamera::WaitForFrameTime(std::unique_lock<std::mutex>& lock,
                                       const ClientContext& client, const Read& read,
                                       const Clock::time_point& deadline) {
  for (;;) {
    if (!Attached(client) || read.aborted || (client.peerGone && client.peerGone())) {
      return false;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      return true;
    }
    wake_.wait_until(lock, std::min(deadline, now + kPeerCheckInterval));
  }
}

// The simulated camera has one bulk IN pipe, whatever index is asked.
std::optional<uint32_t> SimulatedCamera::BulkRead(const ClientContext& client, uint32_t,
                                                  std::span<uint8_t> out) {
  std::unique_lock lock(mutex_);
  ++counters_.bulk;
  if (!Attached(client)) {
    return {};
  }
  // Listed until it returns (with the lock held), so its process's abort
  // finds it.
  const auto read = reads_.insert(reads_.end(), Read{client.process});
  struct Listed {
    std::list<Read>& reads;
    std::list<Read>::iterator read;
    ~Listed() { reads.erase(read); }
  } listed{reads_, read};
  if (stallNext_) {
    // A read that never completes: only an abort, an unplug or the client
    // going away ends it.
    stallNext_ = false;
    const Clock::time_point never = Clock::time_point::max();
    WaitForFrameTime(lock, client, *read, never);
    return {};
  }
  // The frame slot is taken before waiting, so readers on several handles
  // share the camera's rate instead of each getting it.
  const Clock::duration period = FramePeriod();
  Clock::time_point due = std::max(Clock::now(), lastFrameAt_ + period);
  lastFrameAt_ = due;
  waitingSlots_.push_back(&due);
  const auto slot = std::prev(waitingSlots_.end());
  const bool frameTime = WaitForFrameTime(lock, client, *read, due);
  waitingSlots_.erase(slot);
  if (!frameTime) {
    // An abandoned read gives its slot back: the reads after it move up
    // one period, so nobody waits for frames nobody takes.
    for (Clock::time_point* later : waitingSlots_) {
      if (*later > due) {
        *later -= period;
      }
    }
    if (lastFrameAt_ >= due) {
      lastFrameAt_ -= period;
    }
    wake_.notify_all();
    return {};
  }

  SceneSettings scene = model_.Scene(Clock::now());
  uint32_t sequence = sequence_++;
  if (model_.Frozen()) {
    if (!frozenFrame_) {
      frozenFrame_.emplace(scene, sequence);
    }
    // The camera holds the picture, not one frame: it still comes at the
    // frame size asked for now.
    const SceneSettings now = scene;
    std::tie(scene, sequence) = *frozenFrame_;
    scene.width = now.width;
    scene.height = now.height;
  }
  scene = faults_.FrameScene(scene);
  const size_t frameBytes = static_cast<size_t>(scene.width) * scene.height * 2;
  // A buffer too small for the frame overflows, as a real bulk transfer
  // would; a larger one gets a short read.
  if (out.size() < frameBytes) {
    return {};
  }
  lock.unlock();
  {
    std::lock_guard render(renderMutex_);
    renderer_.Render(scene, sequence, out.first(frameBytes));
  }
  lock.lock();
  if (!Attached(client) || read->aborted) {
    return {};
  }
  ++counters_.frames;
  const size_t lost = std::min<size_t>(faults_.shortFrameBytes, frameBytes);
  return static_cast<uint32_t>(frameBytes - lost);
}

void SimulatedCamera::Shutdown() {
  std::lock_guard lock(mutex_);
  shuttingDown_ = true;
  wake_.notify_all();
}

void SimulatedCamera::Unplug() {
  std::lock_guard lock(mutex_);
  plugged_ = false;
  ++generation_;
  wake_.notify_all();
}

void SimulatedCamera::Plug() {
  std::lock_guard lock(mutex_);
  plugged_ = true;
  // Also here: a handle that connected while the node was going away must
  // not come back to life.
  ++generation_;
}

void SimulatedCamera::StallNextRead() {
  std::lock_guard lock(mutex_);
  stallNext_ = true;
}

void SimulatedCamera::FailVendorRequests(int count) {
  std::lock_guard lock(mutex_);
  failVendor_ = count;
}

void SimulatedCamera::SetAspect169(bool wide) {
  std::lock_guard lock(mutex_);
  model_.SetAspect169(wide);
}

void SimulatedCamera::SetBusyPolls(int polls) {
  std::lock_guard lock(mutex_);
  model_.SetBusyPolls(polls);
}

void SimulatedCamera::ForceStatus(std::optional<uint32_t> word) {
  std::lock_guard lock(mutex_);
  model_.ForceStatus(word);
}

void SimulatedCamera::ChangeFaults(
    const std::function<void(InjectedFaults&, uint32_t status)>& change) {
  std::lock_guard lock(mutex_);
  change(faults_, model_.PeekStatus());
}

void SimulatedCamera::SetFps(double fps) {
  std::lock_guard lock(mutex_);
  fps_ = fps;
}

void SimulatedCamera::ResetCounters() {
  std::lock_guard lock(mutex_);
  counters_ = {};
  history_.clear();
}

std::string SimulatedCamera::StateLine() {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  const SceneSettings scene = model_.Scene(now);
  std::string presets;
  for (size_t i = 0; i < model_.Presets().size(); ++i) {
    const auto& preset = model_.Presets()[i];
    presets += i == 0 ? "" : ",";
    presets += preset ? std::to_string(preset->zoom) + "/" + std::to_string(preset->focus) + "/" +
                            std::to_string(preset->brightness)
                      : "-";
  }
  char line[1024];
  std::snprintf(
      line, sizeof line,
      "plugged=%d status=0x%08X zoom=%d brightness=%d red=%d blue=%d focus=%d lamp=%d "
      "freeze=%d aperture=%s input=%s functions=%d presets=%s resolution=%s frame=%dx%d "
      "last-command=%s last-record=%s vendor=%" PRIu64 " status-polls=%" PRIu64 " bulk=%" PRIu64
      " pipes=%" PRIu64 " abort=%" PRIu64 " frames=%" PRIu64,
      plugged_ ? 1 : 0, model_.PeekStatus(), scene.zoom, scene.brightness, scene.redGain,
      scene.blueGain, scene.focus, model_.Lamp() ? 1 : 0, model_.Frozen() ? 1 : 0,
      model_.ApertureOn() ? "on" : "off", model_.External() ? "external" : "internal",
      model_.FunctionsActive() ? 1 : 0, presets.c_str(), model_.FullResolution() ? "full" : "half",
      scene.width, scene.height, lastCommand_ ? WordText(*lastCommand_).c_str() : "none",
      lastCommand_ ? HexText(EncodeVendorRecord(*lastCommand_)).c_str() : "none", counters_.vendor,
      counters_.statusPolls, counters_.bulk, counters_.pipes, counters_.abort, counters_.frames);
  return line;
}

std::string SimulatedCamera::HistoryLine() {
  std::lock_guard lock(mutex_);
  std::string line;
  for (uint32_t word : history_) {
    line += line.empty() ? "" : " ";
    line += WordText(word);
  }
  return line;
}

}  // namespace rd420::sim
