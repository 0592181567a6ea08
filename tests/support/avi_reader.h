#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace rd420::test {

// What FFmpeg's AVI demuxer and decoders find in a file, as a player sees it.
struct AviStreamInfo {
  std::string codec;  // FFmpeg's codec name, "" when the stream is missing
  uint32_t tag = 0;   // the fourcc or format tag of the stream header
  int width = 0;
  int height = 0;
  int64_t frameDuration = 0;  // of the video, in 100 ns
  int sampleRate = 0;
  int channels = 0;
  int64_t bitRate = 0;  // audio: 8 x the header's average bytes per second
};

struct AviContents {
  bool opened = false;
  int streams = 0;
  AviStreamInfo video;
  AviStreamInfo audio;
  int videoFrames = 0;         // decoded
  std::vector<int16_t> sound;  // decoded, interleaved
};

// Opens `path` with libavformat and decodes every packet. Each video frame
// is handed to `frame` as 24-bit BGR rows, top row first, borrowed for the
// call.
AviContents ReadAvi(const std::string& path,
                    const std::function<void(int index, std::span<const uint8_t> bgr)>& frame = {});

uint32_t FourCc(const char (&code)[5]);

}  // namespace rd420::test
