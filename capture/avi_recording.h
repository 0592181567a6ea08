#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/recording.h"
#include "platform/drawing_surface.h"
#include "platform/media.h"

namespace rd420::capture {

// The recording consumer's graph: audio capture into a sample target, a
// two-stream source (0 audio, 1 video) and the convert object writing the
// AVI file; each frame gets the overlay and travels with one audio sample
// of one frame's duration. Runs on the consumer thread only; the capture
// object's reading thread is its own.
class AviRecordingWriter : public RecordingWriter {
 public:
  // `available` may take encoders away (tests of a missing codec).
  explicit AviRecordingWriter(media::EncoderAvailable available = {});
  ~AviRecordingWriter() override;

  bool Start(const RecordingSettings& settings, FrameGeometry geometry,
             RecordingHost& host) override;
  bool Frame(std::span<const uint8_t> bgr, FrameGeometry geometry) override;
  bool Finish() override;

  // For rd420ctl's report: the audio still waiting when the last frame took
  // its sample (how far the sound lags its frame) and the most it waited
  // after any frame but the first ten; the audio frames dropped to keep
  // pace with the picture, and those cut after the camera stalled.
  double QueuedAudioSeconds() const { return queuedAudioSeconds_; }
  double LargestQueuedAudioSeconds() const { return largestQueuedAudioSeconds_; }
  uint64_t DroppedAudioFrames() const { return droppedAudioFrames_; }
  uint64_t CutAudioFrames() const { return cutAudioFrames_; }
  int64_t FramesWritten() const { return i_; }

 private:
  struct Graph;
  bool Fail(const char* text, const char* caption);
  bool GetVideoBuffer(media::MediaSample* sample);
  void Release();
  void KeepAudioPace(size_t frameAudio);

  media::EncoderAvailable available_;
  RecordingHost* host_ = nullptr;
  RecordingSettings settings_;
  std::unique_ptr<Graph> graph_;
  int64_t duration_ = 0;  // D, in 100 ns
  int64_t i_ = 0;
  double queuedAudioSeconds_ = 0;
  double largestQueuedAudioSeconds_ = 0;
  uint64_t droppedAudioFrames_ = 0;
  uint64_t cutAudioFrames_ = 0;
};

}  // namespace rd420::capture
