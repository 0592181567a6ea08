#include "capture/disk_checks.h"

#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>

namespace rd420::capture {
namespace {

// Kilobytes a minute of recording takes.
constexpr uint32_t kAudioPcmRate = 11000;
constexpr uint32_t kAudioAdpcmRate = 2500;
constexpr uint32_t kVideoNoneRate = 690000;
constexpr uint32_t kVideoXvidRate = 5100;
constexpr uint32_t kVideoLowQualityRate = 1700;  // sound included

}  // namespace

uint64_t EstimateKilobytes(int minutes, uint8_t videoQuality, uint8_t audioQuality) {
  const uint32_t count = minutes < 0 ? 0 : static_cast<uint32_t>(std::min(minutes, kMaxMinutes));
  const uint32_t audio = audioQuality == kAudioPcm     ? kAudioPcmRate
                         : audioQuality == kAudioAdpcm ? kAudioAdpcmRate
                                                       : 0;
  switch (videoQuality) {
    case kVideoXvid:
      return count * (audio + kVideoXvidRate);
    case kVideoLowQuality:
      return count * kVideoLowQualityRate;
    case kVideoNone:
      return count * (audio + kVideoNoneRate);
    default:
      return 0;
  }
}

std::string EstimateText(int minutes, uint8_t videoQuality, uint8_t audioQuality) {
  const double size = static_cast<double>(EstimateKilobytes(minutes, videoQuality, audioQuality));
  char text[64];
  if (videoQuality == kVideoNone) {
    std::snprintf(text, sizeof text, "Approx. : %.2f Gbyte", size / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, " Approx. : %.2f Mbyte", size / 1024.0);
  }
  return text;
}

std::optional<uint64_t> FreeKilobytes(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) {
    return std::nullopt;
  }
  // What an unprivileged writer may still use, not the blocks kept for root.
  return (static_cast<uint64_t>(info.f_bavail) * info.f_frsize) >> 10;
}

bool LimitsFileTo4GB(const std::string& folder) {
  // Only FAT stops a file at 4 GB; ext4, xfs or btrfs are not NTFS but hold larger ones.
  struct statfs info {};
  return statfs(folder.c_str(), &info) == 0 && info.f_type == MSDOS_SUPER_MAGIC;
}

}  // namespace rd420::capture
