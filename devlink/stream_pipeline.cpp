#include "devlink/stream_pipeline.h"

#include <chrono>
#include <new>
#include <system_error>

#include "devlink/frame_reader.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420 {
namespace {

void SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A thread that cannot be created comes back not joinable; the run then
// stops instead of waiting for it.
template <typename Body>
std::thread TryStartThread(ThreadPriority priority, Body body) {
  try {
    return StartThread(priority, std::move(body));
  } catch (const std::system_error& error) {
    Trace("stream: cannot start a thread: %s", error.what());
    return {};
  }
}

bool AllocateZeroed(std::vector<uint8_t>& buffer, size_t bytes) {
  try {
    buffer.assign(bytes, 0);
    return true;
  } catch (const std::bad_alloc&) {
    Trace("stream: no memory for a %zu-byte frame buffer", bytes);
    return false;
  }
}

// Waits the time the run allows for a thread's end signal, then joins it
// anyway: its buffer is freed next, so it must not be running.
void AwaitEnd(Event& ended, std::thread& thread, uint32_t timeoutMs, const char* name) {
  if (!thread.joinable()) {
    return;
  }
  if (!ended.Wait(timeoutMs)) {
    Trace("stream: %s has not ended after %u ms; waiting for it", name, timeoutMs);
  }
  thread.join();
}

}  // namespace

// One run's events, created anew for each run; the threads of the run
// share it and StreamThread outlives them all.
struct StreamPipeline::Run {
  explicit Run(uint64_t number) : generation(number) {}

  const uint64_t generation;
  FrameGeometry geometry;  // set before the run's other threads start
  // Each reader's own result, for StreamThread to tell.
  std::atomic<bool> readFailedA{false};
  std::atomic<bool> readFailedB{false};
  // When each reader's frame was read whole, for its display thread.
  std::chrono::steady_clock::time_point readEndA;
  std::chrono::steady_clock::time_point readEndB;
  AutoResetEvent ReadTurnB;
  AutoResetEvent ReadTurnA;
  AutoResetEvent FrameReadyA;
  AutoResetEvent FrameReadyB;
  AutoResetEvent BufferFreeA;
  AutoResetEvent BufferFreeB;
  AutoResetEvent DrawTurnB;
  AutoResetEvent DrawTurnA;
  AutoResetEvent StillReady;
  AutoResetEvent ReaderBEnded;
  AutoResetEvent DisplayAEnded;
  AutoResetEvent DisplayBEnded;
};

// What distinguishes reader A from reader B in the shared cycle.
struct StreamPipeline::ReaderSide {
  Event& bufferFree;
  Event& readTurn;
  Event& frameReady;
  Event& otherReadTurn;
  // The overlay poll that replaces the plain one while its button is held.
  std::atomic<uint32_t>& overlayOn;
  uint32_t overlayPoll;
  std::atomic<uint32_t>& overlayValue;
  uint32_t poll;
  std::atomic<uint32_t>* polledValue;  // null: the reply is not kept
  std::atomic<bool>& readFailed;
  std::chrono::steady_clock::time_point& readEnd;
};

StreamPipeline::StreamPipeline(DeviceLink& link, CameraStatus& status, CommandQueue& commands,
                               StreamHost& host, StreamTimings timings)
    : link_(link), status_(status), commands_(commands), host_(host), timings_(timings) {
  statusThread_ = StartThread(ThreadPriority::kIdle, [this] { StatusThread(); });
}

StreamPipeline::~StreamPipeline() {
  Shutdown();
}

bool StreamPipeline::StartRun(uint8_t mode) {
  std::lock_guard lock(runMutex_);
  if (exitRequested_) {
    return false;
  }
  auto run = std::make_shared<Run>(generation_.load() + 1);
  flags_.g_Capture_Mode = 0;
  flags_.g_Display_Mode = mode;
  // The new generation comes before the run flag, so a run still stopping
  // cannot take the flag for its own and read on.
  generation_ = run->generation;
  flags_.g_Stream_Run = 1;
  auto previous = std::make_shared<std::thread>(std::move(streamThread_));
  streamThread_ = TryStartThread(ThreadPriority::kHighest, [this, run, previous] {
    if (previous->joinable()) {
      previous->join();
    }
    StreamThread(*run);
  });
  if (!streamThread_.joinable()) {
    streamThread_ = std::move(*previous);
    flags_.g_Stream_Run = 0;
    return false;
  }
  return true;
}

void StreamPipeline::CaptureToggle() {
  {
    std::lock_guard lock(runMutex_);
    if (flags_.g_Stream_Run != 0) {
      flags_.g_Capture_Mode = 1;
      flags_.g_Stream_Run = 0;
      return;
    }
  }
  StartRun();
}

void StreamPipeline::RequestRestart(uint8_t mode) {
  std::lock_guard lock(runMutex_);
  if (flags_.g_Stream_Run == 0 || exitRequested_) {
    return;
  }
  flags_.g_Requested_Mode = mode;
  if (flags_.g_Display_Mode != mode) {
    // The restart flag first: the run checks it once it has stopped.
    flags_.g_Stream_Restart = 1;
    flags_.g_Stream_Run = 0;
  }
}

void StreamPipeline::StopRun() {
  std::lock_guard lock(runMutex_);
  flags_.g_Stream_Run = 0;
}

void StreamPipeline::RequestExit() {
  std::lock_guard lock(runMutex_);
  // Under the same lock as StartRun, so no restart can slip in between
  // the stop and the exit and start a run nobody stops.
  exitRequested_ = true;
  flags_.g_Exit_Request = 1;
  flags_.g_Stream_Run = 0;
  flags_.g_Capture_Mode = 0;
  flags_.g_Stream_Restart = 0;
}

void StreamPipeline::Shutdown() {
  RequestExit();
  std::thread last;
  {
    std::lock_guard lock(runMutex_);
    last = std::move(streamThread_);
  }
  if (last.joinable()) {
    last.join();  // each StreamThread has joined the one before it
  }
  statusStop_ = true;
  statusDue_.Set();
  if (statusThread_.joinable()) {
    statusThread_.join();
  }
}

void StreamPipeline::StopIfCurrent(const Run& run) {
  // Under the lock StartRun takes, so a run started meanwhile is not stopped.
  std::lock_guard lock(runMutex_);
  if (generation_ == run.generation) {
    flags_.g_Stream_Run = 0;
  }
}

std::optional<uint8_t> StreamPipeline::TakeRestart(const Run& run) {
  std::lock_guard lock(runMutex_);
  if (flags_.g_Stream_Restart == 0 || exitRequested_ || generation_ != run.generation) {
    return std::nullopt;
  }
  flags_.g_Stream_Restart = 0;
  return flags_.g_Requested_Mode.load();
}

bool StreamPipeline::RunGoesOn(const Run& run) const {
  return flags_.g_Stream_Run.load() != 0 && generation_.load() == run.generation;
}

void StreamPipeline::StreamThread(Run& run) {
  flags_.g_Capture_Started = 0;
  flags_.g_Usb_Error = 0;
  const uint8_t mode = flags_.g_Display_Mode;
  host_.RunStarting(mode);
  const Resolution resolution = ResolutionForMode(mode);
  run.geometry = FrameGeometryFor(status_.g_Aspect_43 != 0, resolution);

  // A failed request has been reported by the link, which ends the program.
  if (link_.SendCommand(ResolutionCommand(resolution))) {
    if (std::unique_ptr<DeviceHandle> device = link_.OpenDevice()) {
      StreamFromDevice(run, *device);
    } else {
      link_.ShowFailure(LinkFailure::kStreamOpen);
      host_.StreamOpenFailed();
    }
  }
  // A run that could not read leaves the flag clear, so the next toggle
  // starts a new one.
  if (flags_.g_Capture_Mode == 0) {
    StopIfCurrent(run);
  }

  flags_.g_Usb_Error = run.readFailedA || run.readFailedB ? 1 : 0;
  if (flags_.g_Usb_Error != 0 && !link_.Failed()) {
    link_.ShowFailure(LinkFailure::kBulkRead);
    host_.EndProgram();
  }
  if (const std::optional<uint8_t> requested = TakeRestart(run)) {
    SleepMs(timings_.restartPauseMs);
    host_.LayOut(*requested);
    host_.ResumingLive();
    StartRun(*requested);
  }
  if (flags_.g_Exit_Request != 0) {
    StreamEnded_.Set();
  }
}

void StreamPipeline::StreamFromDevice(Run& run, DeviceHandle& device) {
  std::vector<uint8_t> bufferA;
  std::thread displayA = StartDisplay(run, DisplaySide::kA, bufferA);
  std::thread readerB;
  if (displayA.joinable()) {
    readerB = TryStartThread(ThreadPriority::kHighest, [&] { ReaderB(run, device); });
  }
  if (readerB.joinable()) {
    run.ReadTurnA.Set();
    run.BufferFreeA.Set();
    const ReaderSide sideA{run.BufferFreeA,       run.ReadTurnA,        run.FrameReadyA,
                           run.ReadTurnB,         controls_.g_Zoom_Osd, kPollZoom,
                           status_.g_Zoom_Status, kPollStatus,          &status_.g_Normal_Status,
                           run.readFailedA,       run.readEndA};
    ReadCycles(run, sideA, device, bufferA);
  } else {
    StopIfCurrent(run);
  }

  // Wake every wait the other threads may sit in; with the flags cleared
  // none of them reads or draws again. The extra draw turn frees display A
  // when display B never started.
  flags_.g_DisplayA_On = 0;
  run.FrameReadyA.Set();
  run.DrawTurnA.Set();
  run.ReadTurnB.Set();
  AwaitEnd(run.ReaderBEnded, readerB, timings_.endWaitMs, "reader B");
  AwaitEnd(run.DisplayAEnded, displayA, timings_.endWaitMs, "display A");

  if (flags_.g_Capture_Mode != 0 && generation_ == run.generation) {
    flags_.g_Capture_Started = 1;
    if (host_.StartStill(run.StillReady)) {
      run.StillReady.Wait();
    }
  }
}

void StreamPipeline::ReaderB(Run& run, DeviceHandle& device) {
  SleepMs(timings_.readerBStartMs);
  std::vector<uint8_t> bufferB;
  std::thread displayB = StartDisplay(run, DisplaySide::kB, bufferB);
  if (displayB.joinable()) {
    run.BufferFreeB.Set();
    // Reader B polls the secondary word so both readers put one control
    // transfer beside each bulk read; the reply is not used.
    const ReaderSide sideB{run.BufferFreeB,
                           run.ReadTurnB,
                           run.FrameReadyB,
                           run.ReadTurnA,
                           controls_.g_Brightness_Osd,
                           kPollBrightness,
                           status_.g_Bright_Status,
                           kPollSecondary,
                           nullptr,
                           run.readFailedB,
                           run.readEndB};
    ReadCycles(run, sideB, device, bufferB);
  } else {
    StopIfCurrent(run);
  }

  flags_.g_ReaderB_On = 0;
  run.FrameReadyB.Set();
  run.DrawTurnB.Set();
  run.ReadTurnA.Set();
  AwaitEnd(run.DisplayBEnded, displayB, timings_.endWaitMs, "display B");
  run.ReaderBEnded.Set();
}

std::thread StreamPipeline::StartDisplay(Run& run, DisplaySide side, std::vector<uint8_t>& buffer) {
  if (!AllocateZeroed(buffer, run.geometry.FrameBytes())) {
    return {};
  }
  (side == DisplaySide::kA ? flags_.g_DisplayA_On : flags_.g_ReaderB_On) = 1;
  return TryStartThread(ThreadPriority::kLowest,
                        [this, &run, side, &buffer] { DisplayThread(run, side, buffer); });
}

void StreamPipeline::ReadCycles(Run& run, const ReaderSide& side, DeviceHandle& device,
                                std::vector<uint8_t>& buffer) {
  FrameReader reader(link_, device);
  while (RunGoesOn(run)) {
    side.bufferFree.Wait();
    side.readTurn.Wait();
    if (!RunGoesOn(run)) {
      break;
    }
    const bool read = reader.Read(buffer, timings_.readTimeoutMs, [&] {
      if (!VendorRequestOfCycle(side)) {
        StopIfCurrent(run);  // the link has reported it and ends the program
      }
    });
    if (read) {
      side.readEnd = std::chrono::steady_clock::now();
      ++framesRead_;
      side.frameReady.Set();
    } else {
      StopIfCurrent(run);
      // A camera that turned to the other aspect: the host's status
      // handling reports that, not a link failure.
      side.readFailed = !(reader.WrongSize() && AspectChanged());
    }
    if (controls_.SafeMode != 0) {
      SleepMs(timings_.safeModeMs);
    }
    side.otherReadTurn.Set();
  }
}

bool StreamPipeline::AspectChanged() {
  const std::optional<uint32_t> word = link_.SendCommand(kPollStatus);
  if (!word || IsAspect43(*word) == (status_.g_Aspect_43 != 0)) {
    return false;
  }
  status_.g_Normal_Status = *word;
  statusDue_.Set();
  return true;
}

bool StreamPipeline::VendorRequestOfCycle(const ReaderSide& side) {
  if (const std::optional<uint32_t> word = commands_.TakePending()) {
    link_.PostCommand(*word);
    return true;
  }
  const bool overlay = side.overlayOn != 0;
  const std::optional<uint32_t> reply = link_.SendCommand(overlay ? side.overlayPoll : side.poll);
  if (!reply) {
    return false;
  }
  if (overlay) {
    side.overlayValue = *reply;
  } else if (side.polledValue != nullptr) {
    *side.polledValue = *reply;
  }
  return true;
}

void StreamPipeline::DisplayThread(Run& run, DisplaySide side, const std::vector<uint8_t>& buffer) {
  const bool isA = side == DisplaySide::kA;
  std::atomic<uint32_t>& on = isA ? flags_.g_DisplayA_On : flags_.g_ReaderB_On;
  Event& drawTurn = isA ? run.DrawTurnA : run.DrawTurnB;
  Event& frameReady = isA ? run.FrameReadyA : run.FrameReadyB;
  Event& bufferFree = isA ? run.BufferFreeA : run.BufferFreeB;
  Event& otherDrawTurn = isA ? run.DrawTurnB : run.DrawTurnA;

  FrameBitmap bitmap(FrameBitmap::kDisplayPelsPerMeter);
  // Without a bitmap the thread still passes the turns on, drawing nothing,
  // so the readers are never held up.
  const bool haveBitmap = bitmap.Allocate(run.geometry);
  if (isA) {
    run.DrawTurnA.Set();
  }
  while (on != 0) {
    drawTurn.Wait();
    frameReady.Wait();
    if (on != 0 && haveBitmap) {
      bitmap.ConvertFrom(buffer);
      host_.DrawFrame({side, bitmap, buffer, isA ? run.readEndA : run.readEndB});
      if (!isA) {
        statusDue_.Set();
      }
    }
    bufferFree.Set();
    otherDrawTurn.Set();
  }
  bufferFree.Set();
  (isA ? run.DisplayAEnded : run.DisplayBEnded).Set();
}

void StreamPipeline::StatusThread() {
  uint64_t servedRun = 0;
  for (;;) {
    statusDue_.Wait();
    if (statusStop_) {
      return;
    }
    // Each run starts from no previous status word, so its first word
    // always sets the buttons. This thread is g_Prev_Status's only writer.
    if (const uint64_t run = generation_; run != servedRun) {
      servedRun = run;
      status_.g_Prev_Status = 0;
    }
    host_.HandleStatus();
  }
}

}  // namespace rd420
