#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rd420::capture {

// Video and audio choices of the dialog (VideoQuality, AudioQuality).
inline constexpr uint8_t kVideoNone = 1;
inline constexpr uint8_t kVideoLowQuality = 10;
inline constexpr uint8_t kVideoXvid = 12;
inline constexpr uint8_t kAudioPcm = 5;
inline constexpr uint8_t kAudioAdpcm = 10;

// The largest number of minutes the dialog takes: the estimate is a 32-bit
// count of kilobytes, and 6126 minutes at the largest rate (uncompressed
// video with PCM sound, 701000 KB a minute) still fits in it.
inline constexpr int kMaxMinutes = 6126;

// The file size a recording of `minutes` reaches, in kilobytes, from the
// fixed rates of each choice (RequiredKB).
uint64_t EstimateKilobytes(int minutes, uint8_t videoQuality, uint8_t audioQuality);

// The estimate as the dialog shows it: megabytes for the MPEG-4 choices,
// gigabytes for uncompressed video.
std::string EstimateText(int minutes, uint8_t videoQuality, uint8_t audioQuality);

// The free space, in kilobytes, that the user may write on the file system
// holding `folder`; nullopt when it cannot be asked.
std::optional<uint64_t> FreeKilobytes(const std::string& folder);

// True when the file system holding `folder` keeps a file below 4 GB (FAT:
// vfat and msdos mounts).
bool LimitsFileTo4GB(const std::string& folder);

}  // namespace rd420::capture
