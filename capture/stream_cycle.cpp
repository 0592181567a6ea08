#include "capture/stream_cycle.h"

#include <system_error>
#include <vector>

#include "devlink/frame_reader.h"
#include "platform/message.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::capture {
namespace {

constexpr char kAspectChangedText[] = "You changed the resolution. Please restart the VADIzivid.";
constexpr char kAspectChangedCaption[] = "Error (AWN00008)";

}  // namespace

StreamCycle::StreamCycle(DeviceLink& link, CaptureFlags& flags, CaptureHost& host,
                         RecordingWriter* writer, RecordingSettings settings)
    : link_(link),
      flags_(flags),
      host_(host),
      writer_(writer),
      settings_(std::move(settings)),
      geometry_(FrameGeometryFor(flags.g_Aspect_43 != 0, Resolution::kHalf)) {
}

StreamCycle::~StreamCycle() {
  Stop();
}

void StreamCycle::Start() {
  try {
    stream_ = StartThread(ThreadPriority::kHighest,
                          [this, token = stop_.get_token()] { StreamThread(token); });
  } catch (const std::system_error& error) {
    Trace("capture: cannot start the stream thread: %s", error.what());
  }
}

void StreamCycle::Stop() {
  stopping_ = true;
  stop_.request_stop();
  BufferFree.Set();
  FrameReady.Set();
  if (stream_.joinable()) {
    stream_.join();
  }
}

// Runs on the stream thread, inside the frame read's wait.
void StreamCycle::StatusPoll(std::stop_token stop) {
  const std::optional<uint32_t> word = link_.SendCommand(kPollStatus, stop);
  if (!word) {
    return;  // stopped, or the link has reported its failure
  }
  flags_.g_Last_Status = *word;
  const bool aspect43 = flags_.g_Aspect_43 != 0;
  if (IsAspect43(*word) == aspect43 || flags_.g_Stream_On == 0) {
    return;
  }
  flags_.g_Stream_On = 0;
  ShowMessage(host_.MessageOwner(), kAspectChangedText, kAspectChangedCaption,
              MessageIcon::kWarning);
  flags_.g_Closing = 1;
  flags_.g_Consumer_Run = 0;
  flags_.g_Stopped = 1;
  host_.PostClose();
}

void StreamCycle::StreamThread(std::stop_token stop) {
  host_.StreamStarting();
  link_.SendCommand(kCmdHalfResolution, stop);
  if (link_.Failed()) {
    return;  // the link has shown its message and closes the program
  }
  std::unique_ptr<DeviceHandle> device = link_.OpenDevice();
  if (device == nullptr) {
    link_.ShowFailure(LinkFailure::kStreamOpen, host_.MessageOwner());
    return;
  }
  std::vector<uint8_t> frame(geometry_.FrameBytes(), 0);
  const bool record = flags_.g_Record_Mode == 1 && writer_ != nullptr;
  flags_.g_Consumer_Run = 1;
  std::thread consumer;
  try {
    consumer = StartThread(ThreadPriority::kHighest,
                           [this, &frame, record] { ConsumerThread(frame, record); });
  } catch (const std::system_error& error) {
    Trace("capture: cannot start the consumer: %s", error.what());
    flags_.g_Consumer_Run = 0;
  }
  FrameReader reader(link_, *device);
  BufferFree.Set();
  // The status word is read beside every 5th read in 4:3 and every 7th in
  // 16:9, so the camera sees one control transfer per few frames.
  const uint32_t pollEvery = flags_.g_Aspect_43 != 0 ? 5 : 7;
  uint32_t n = 0;
  // A stop request ends the cycle whatever the flags say meanwhile.
  while (flags_.g_Stream_On == 1 && consumer.joinable() && !stop.stop_requested() &&
         !recordingFailed_) {
    BufferFree.Wait();
    if (flags_.g_Stream_On == 0 || stop.stop_requested() || recordingFailed_) {
      break;
    }
    const bool poll = n % pollEvery == 0;
    ++n;
    const bool read = reader.Read(
        frame, kFrameReadTimeoutMs,
        [this, poll, stop] {
          if (poll) {
            StatusPoll(stop);
          }
        },
        stop);
    if (!read && reader.WrongSize()) {
      StatusPoll(stop);  // an aspect change ends the program with its own message
    }
    if (flags_.g_Stream_On != 1 || stop.stop_requested()) {
      break;
    }
    if (read) {
      FrameReady.Set();
      continue;
    }
    // The reader has ended the transfer and aborted the pipe already.
    flags_.g_Stream_On = 0;
    flags_.g_Closing = 1;
    // A link that failed meanwhile has said so; one message is enough.
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kBulkRead, host_.MessageOwner());
    }
    host_.PostClose();
  }
  flags_.g_Consumer_Run = 0;
  FrameReady.Set();
  if (consumer.joinable()) {
    // A consumer whose recording failed is on its way out already.
    if (!recordingFailed_ && !ConsumerEnded.Wait(kConsumerEndWaitMs)) {
      Trace("capture: the consumer is late; waiting for it before the buffer goes");
    }
    // The frame buffer lives on this thread's stack: the consumer must be
    // gone before it goes.
    consumer.join();
  }
}

// Runs on the consumer thread. Touches the frame only between FrameReady
// and its BufferFree.
void StreamCycle::ConsumerThread(std::span<const uint8_t> frame, bool record) {
  PreviewPicture picture(geometry_);
  // A recording that fails shows its message, ends this thread and closes
  // the program.
  bool failed = record && !writer_->Start(settings_, geometry_, host_);
  while (!failed && flags_.g_Consumer_Run == 1 && !stopping_) {
    FrameReady.Wait();
    if (flags_.g_Consumer_Run != 1 || stopping_) {
      BufferFree.Set();
      break;
    }
    picture.Convert(frame, flags_.g_Rotate != 0);
    if (record) {
      // The recording lets the next read start before it encodes.
      BufferFree.Set();
      failed = !writer_->Frame(picture.Rows(), geometry_);
      host_.ShowPreview(picture);
    } else {
      host_.ShowPreview(picture);
      BufferFree.Set();
    }
  }
  BufferFree.Set();
  if (record && !failed) {
    failed = !writer_->Finish();
  }
  if (failed) {
    recordingFailed_ = true;
    BufferFree.Set();  // the stream loop ends without more reads
    host_.PostClose();
    return;
  }
  ConsumerEnded.Set();
}

}  // namespace rd420::capture
