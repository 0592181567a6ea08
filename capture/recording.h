#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "wire/frame_format.h"

namespace rd420::capture {

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
  std::string caption;  // at most kMaxCaptionCharacters
};

inline constexpr size_t kMaxCaptionCharacters = 50;

// Whether a UTF-8 caption is within the limit; characters are counted,
// not bytes.
inline bool CaptionFits(std::string_view utf8) {
  size_t characters = 0;
  for (const char c : utf8) {
    characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  }
  return characters <= kMaxCaptionCharacters;
}

// What a recording asks of the program. Called on the consumer thread; an
// implementation only posts to the GUI thread.
class RecordingHost {
 public:
  virtual ~RecordingHost() = default;
  // The window that owns the recording's messages.
  virtual const void* MessageOwner() const = 0;
  // The chosen video codec is missing and the recording goes on
  // uncompressed: the dialog shows "No Compression" (the stored choice
  // stays, so the next recording warns again).
  virtual void ShowNoCompression() = 0;
};

// The recording consumer's writer: takes each converted (and, when asked,
// turned) frame of a recording cycle. Called on the consumer thread only,
// Start first, then Frame for every frame, then Finish once. Each returns
// false when the recording cannot go on: the writer has shown its message
// and released what it held, and the program is to close; Finish is then
// not called.
class RecordingWriter {
 public:
  virtual ~RecordingWriter() = default;
  virtual bool Start(const RecordingSettings& settings, FrameGeometry geometry,
                     RecordingHost& host) = 0;
  // `bgr` holds bottom-up 24-bit rows of `geometry`, borrowed for the call.
  virtual bool Frame(std::span<const uint8_t> bgr, FrameGeometry geometry) = 0;
  virtual bool Finish() = 0;
};

}  // namespace rd420::capture
