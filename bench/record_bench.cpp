// What recording costs: the recording consumer's writer taking 640 x 480
// frames at the camera's pace (22.61 frames per second, paced by the audio
// input's one frame of sound per frame), beside the ffmpeg command line
// encoding the same frames and as much silence with the same codecs.
// Figures: CPU seconds per recorded second (the share of one core) for
// each video choice, and ours over ffmpeg's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/avi_recording.h"
#include "capture/disk_checks.h"
#include "devlink/convert_frame.h"
#include "driver/scene_renderer.h"
#include "platform/process_usage.h"

namespace {

constexpr int kFrames = 90;  // distinct frames, about four seconds
constexpr int kLoops = 3;    // recorded in turn, so start-up costs weigh little
constexpr int kRecorded = kFrames * kLoops;
constexpr double kFrameSeconds = 0.04422;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// The simulator's frames as the consumer has them: bottom-up BGR rows.
const std::vector<std::vector<uint8_t>>& Frames() {
  static const std::vector<std::vector<uint8_t>> frames = [] {
    std::vector<std::vector<uint8_t>> all;
    rd420::sim::SceneSettings scene;
    scene.width = kWidth;
    scene.height = kHeight;
    rd420::sim::SceneRenderer renderer;
    std::vector<uint8_t> yuv(static_cast<size_t>(kWidth) * kHeight * 2);
    for (uint32_t i = 0; i < kFrames; ++i) {
      renderer.Render(scene, i, yuv);
      all.emplace_back(static_cast<size_t>(kWidth) * kHeight * 3);
      rd420::ConvertFrame(all.back().data(), yuv.data(), yuv.size());
    }
    return all;
  }();
  return frames;
}

class QuietHost : public rd420::capture::RecordingHost {
 public:
  const void* MessageOwner() const override { return nullptr; }
  void ShowNoCompression() override {}
};

struct Choice {
  const char* name;
  uint8_t videoQuality;
  std::vector<std::string> ffmpegVideo;
};

// Our writer at the camera's pace; returns CPU seconds per recorded second.
double OursPerRecordedSecond(const Choice& choice, const std::string& folder) {
  rd420::capture::RecordingSettings settings;
  settings.path = folder + "/ours.avi";
  settings.videoQuality = choice.videoQuality;
  settings.audioQuality = rd420::capture::kAudioAdpcm;
  QuietHost host;
  rd420::capture::AviRecordingWriter writer;
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  if (!writer.Start(settings, {kWidth, kHeight}, host)) {
    return -1;
  }
  for (int i = 0; i < kRecorded; ++i) {
    writer.Frame(Frames()[static_cast<size_t>(i % kFrames)], {kWidth, kHeight});
  }
  writer.Finish();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  return (rd420::CpuSeconds(after) - rd420::CpuSeconds(before)) / (kRecorded * kFrameSeconds);
}

// The ffmpeg command line on the same frames (top row first, as raw input
// is read), looped as ours are, and silence; CPU seconds of the child per recorded second.
double FfmpegPerRecordedSecond(const Choice& choice, const std::string& folder) {
  const std::string frames = folder + "/frames.bgr";
  const std::string sound = folder + "/sound.raw";
  {
    std::ofstream out(frames, std::ios::binary);
    const size_t row = static_cast<size_t>(kWidth) * 3;
    for (const std::vector<uint8_t>& frame : Frames()) {
      for (int y = kHeight - 1; y >= 0; --y) {
        out.write(reinterpret_cast<const char*>(frame.data() + row * static_cast<size_t>(y)),
                  static_cast<std::streamsize>(row));
      }
    }
    std::ofstream silence(sound, std::ios::binary);
    const std::vector<char> zeros(static_cast<size_t>(kRecorded * kFrameSeconds * 44100) * 4, 0);
    silence.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  std::vector<std::string> args = {"ffmpeg",       "-v",
                                   "error",        "-y",
                                   "-f",           "rawvideo",
                                   "-pix_fmt",     "bgr24",
                                   "-s",           "640x480",
                                   "-framerate",   "50000/2211",
                                   "-stream_loop", std::to_string(kLoops - 1),
                                   "-i",           frames,
                                   "-f",           "s16le",
                                   "-ar",          "44100",
                                   "-ac",          "2",
                                   "-i",           sound};
  args.insert(args.end(), choice.ffmpegVideo.begin(), choice.ffmpegVideo.end());
  for (const char* a : {"-c:a", "adpcm_ms", "-f", "avi"}) {
    args.emplace_back(a);
  }
  args.push_back(folder + "/ffmpeg.avi");
  std::vector<char*> argv;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execvp("ffmpeg", argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  return rd420::CpuSeconds(usage) / (kRecorded * kFrameSeconds);
}

void RecordBeside(benchmark::State& state, const Choice& choice) {
  char folderTemplate[] = "/tmp/record-bench-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate);
  double ours = 0;
  double ffmpeg = 0;
  for (auto _ : state) {
    ours = OursPerRecordedSecond(choice, folder);
    ffmpeg = FfmpegPerRecordedSecond(choice, folder);
  }
  if (ours < 0 || ffmpeg < 0) {
    state.SkipWithError("a recording failed");
  }
  state.counters["ours_cpu_per_s"] = ours;
  state.counters["ffmpeg_cpu_per_s"] = ffmpeg;
  state.counters["ours_over_ffmpeg"] = ffmpeg > 0 ? ours / ffmpeg : 0;
  std::filesystem::remove_all(folder);
}

const Choice kChoices[] = {
    {"none", rd420::capture::kVideoNone, {"-c:v", "rawvideo", "-pix_fmt", "bgr24"}},
    {"xvid",
     rd420::capture::kVideoXvid,
     {"-c:v", "mpeg4", "-vtag", "XVID", "-q:v", "4", "-g", "60", "-bf", "0"}},
    {"div3",
     rd420::capture::kVideoLowQuality,
     {"-c:v", "msmpeg4", "-vtag", "DIV3", "-q:v", "8", "-g", "60"}},
};

const bool kRegistered = [] {
  for (const Choice& choice : kChoices) {
    benchmark::RegisterBenchmark((std::string("RecordBeside/") + choice.name).c_str(), RecordBeside,
                                 choice)
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
