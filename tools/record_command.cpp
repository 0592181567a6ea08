#include "tools/record_command.h"

#include <getopt.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "capture/avi_recording.h"
#include "capture/disk_checks.h"
#include "capture/stream_cycle.h"
#include "devlink/camera_status.h"
#include "tools/frame_commands.h"

namespace rd420::tools {
namespace {

// The capture threads' host without a window: nothing to paint, and a
// close request ends the recording.
class ConsoleHost : public capture::CaptureHost {
 public:
  void StreamStarting() override {}
  void ShowPreview(const capture::PreviewPicture&) override {}
  void PostClose() override { closeRequested = true; }
  const void* MessageOwner() const override { return nullptr; }
  void ShowNoCompression() override {}

  std::atomic<bool> closeRequested{false};
};

}  // namespace

std::optional<RecordOptions> ParseRecordOptions(int argc, char** args, std::string* problem) {
  static const option kOptions[] = {
      {"seconds", required_argument, nullptr, 's'},
      {"video", required_argument, nullptr, 'v'},
      {"audio", required_argument, nullptr, 'a'},
      {"timestamp", no_argument, nullptr, 't'},
      {"caption", required_argument, nullptr, 'c'},
      {"rotate", no_argument, nullptr, 'r'},
      {nullptr, 0, nullptr, 0},
  };
  RecordOptions options;
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, args, ":", kOptions, nullptr)) != -1;) {
    const std::string value = optarg != nullptr ? optarg : "";
    switch (c) {
      case 's': {
        char* end = nullptr;
        options.seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(options.seconds > 0 && options.seconds <= 86400)) {
          *problem = "--seconds takes a number of seconds above 0, at most 86400: " + value;
          return std::nullopt;
        }
        break;
      }
      case 'v':
        if (value != "none" && value != "xvid" && value != "div3") {
          *problem = "--video takes none, xvid or div3: " + value;
          return std::nullopt;
        }
        options.settings.videoQuality = value == "none"   ? capture::kVideoNone
                                        : value == "xvid" ? capture::kVideoXvid
                                                          : capture::kVideoLowQuality;
        break;
      case 'a':
        if (value != "none" && value != "adpcm") {
          *problem = "--audio takes none or adpcm: " + value;
          return std::nullopt;
        }
        options.settings.audioQuality = value == "none" ? capture::kAudioPcm : capture::kAudioAdpcm;
        break;
      case 't':
        options.settings.displayLocalTime = true;
        break;
      case 'c':
        if (!capture::CaptionFits(value)) {
          *problem = "--caption takes at most 50 characters";
          return std::nullopt;
        }
        options.settings.displayCaption = true;
        options.settings.caption = value;
        break;
      case 'r':
        options.rotate = true;
        break;
      case ':':
        *problem = std::string(args[optind - 1]) + " needs a value";
        return std::nullopt;
      default:
        *problem = "unexpected argument " + std::string(args[optind - 1]);
        return std::nullopt;
    }
  }
  if (optind + 1 != argc) {
    *problem = optind == argc ? "record needs a file name"
                              : "unexpected argument " + std::string(args[optind + 1]);
    return std::nullopt;
  }
  options.settings.path = args[optind];
  if (options.seconds == 0) {
    *problem = "record needs --seconds N";
    return std::nullopt;
  }
  return options;
}

int Record(DeviceLink& link, const RecordOptions& options) {
  CameraStatus status;
  if (!WaitReady(link, status)) {
    return 1;
  }
  // Ctrl-C or a TERM stops the recording as Stop does; the threads started
  // below inherit the blocked set, so only this thread takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  capture::CaptureFlags flags;
  flags.g_Aspect_43 = status.g_Aspect_43 != 0 ? 1 : 0;
  flags.g_Rotate = options.rotate ? 1 : 0;
  flags.g_Record_Mode = 1;
  flags.g_Stream_On = 1;
  ConsoleHost host;
  capture::AviRecordingWriter writer;
  capture::StreamCycle cycle(link, flags, host, &writer, options.settings);
  cycle.Start();
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(options.seconds));
  bool interrupted = false;
  while (!host.closeRequested && !link.Failed() && std::chrono::steady_clock::now() < end) {
    const timespec tick{0, 50'000'000};
    if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
      interrupted = true;
      break;
    }
  }
  flags.g_Stream_On = 0;
  flags.g_Consumer_Run = 0;
  cycle.Stop();
  pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
  if (host.closeRequested || link.Failed()) {
    return 1;  // the message has been shown
  }
  std::printf("recorded %lld frames to %s%s\n", static_cast<long long>(writer.FramesWritten()),
              options.settings.path.c_str(), interrupted ? " (interrupted)" : "");
  std::printf("sound behind its frame: %.1f ms at the last frame, %.1f ms at most\n",
              writer.QueuedAudioSeconds() * 1000, writer.LargestQueuedAudioSeconds() * 1000);
  std::printf("audio frames dropped to keep pace %llu, cut after stalls %llu\n",
              static_cast<unsigned long long>(writer.DroppedAudioFrames()),
              static_cast<unsigned long long>(writer.CutAudioFrames()));
  return 0;
}

}  // namespace rd420::tools
