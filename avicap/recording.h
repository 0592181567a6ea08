#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "devlink/frame_format.h"

namespace rd420::avicap {

// What a recording is started with: the chosen file and the dialog's
// choices at the moment Capture was pressed.
struct RecordingSettings {
  std::string path;
  uint8_t videoQuality = 12;  // 1 none, 12 MPEG-4 (Xvid), 10 MPEG-4 low quality
  uint8_t audioQuality = 10;  // 5 PCM, 10 MS ADPCM
  bool timeLimit = false;
  int minutes = 0;
  bool displayLocalTime = false;
  bool displayCaption = false;
  std::string caption;  // at most 50 characters
};

// The recording consumer's writer: takes each converted (and, when asked,
// turned) frame of a recording cycle. Called on the consumer thread only,
// Start first, then Frame for every frame, then Finish once.
class RecordingWriter {
 public:
  virtual ~RecordingWriter() = default;
  virtual void Start(const RecordingSettings& settings) = 0;
  // `bgr` holds bottom-up 24-bit rows of `geometry`, borrowed for the call.
  virtual void Frame(std::span<const uint8_t> bgr, FrameGeometry geometry) = 0;
  virtual void Finish() = 0;
};

}  // namespace rd420::avicap
