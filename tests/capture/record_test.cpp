// Recordings of rd420ctl record and of the capture program's consumer
// against rd420d --simulate, read back with FFmpeg as a player would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <optional>
#include <regex>
#include <thread>

#include "capture/avi_recording.h"
#include "capture/overlay.h"
#include "capture/preview_picture.h"
#include "capture/stream_cycle.h"
#include "devlink/convert_frame.h"
#include "devlink/socket_transport.h"
#include "driver/scene_renderer.h"
#include "platform/drawing_surface.h"
#include "platform/message.h"
#include "support/avi_reader.h"
#include "support/link_texts.h"
#include "support/simulator_process.h"
#include "support/small_file_system.h"

namespace rd420 {
namespace {

using test::AviContents;
using test::FourCc;
using test::ReadAvi;

constexpr double kToneRms = 8000 / std::numbers::sqrt2;  // the test tone's amplitude

FrameGeometry GeometryFor(bool aspect43) {
  return FrameGeometryFor(aspect43, Resolution::kHalf);
}

int64_t FrameDuration(bool aspect43) {
  return aspect43 ? 442200 : 331120;
}

// The simulator's frame `sequence` as the recording should hold it: 24-bit
// BGR, top row first, turned when asked.
std::vector<uint8_t> ExpectedPicture(uint32_t sequence, FrameGeometry geometry, bool rotate) {
  sim::SceneSettings scene;
  scene.width = geometry.width;
  scene.height = geometry.height;
  std::vector<uint8_t> frame(geometry.FrameBytes());
  sim::SceneRenderer renderer;
  renderer.Render(scene, sequence, frame);
  std::vector<uint8_t> bottomUp(geometry.BgrBytes());
  ConvertFrame(bottomUp.data(), frame.data(), frame.size());
  if (rotate) {
    std::vector<uint8_t> scratch(bottomUp.size());
    capture::RotatePicture180(bottomUp, scratch, geometry);
  }
  const size_t row = static_cast<size_t>(geometry.width) * 3;
  std::vector<uint8_t> topDown(bottomUp.size());
  for (int y = 0; y < geometry.height; ++y) {
    std::copy_n(bottomUp.begin() + static_cast<std::ptrdiff_t>(row * (geometry.height - 1 - y)),
                row, topDown.begin() + static_cast<std::ptrdiff_t>(row * y));
  }
  return topDown;
}

// The sequence stamp in the picture's bottom row (its top row, mirrored,
// when turned): 32 two-pixel bits, light for one.
uint32_t SequenceOf(std::span<const uint8_t> topDown, FrameGeometry geometry, bool rotate) {
  const size_t row = static_cast<size_t>(geometry.width) * 3;
  const uint8_t* line = topDown.data() + (rotate ? 0 : row * (geometry.height - 1));
  uint32_t value = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const int x = rotate ? geometry.width - 1 - 2 * bit : 2 * bit;
    const int x2 = rotate ? x - 1 : x + 1;
    const int green = line[x * 3 + 1] + line[x2 * 3 + 1];
    value = (value << 1) | (green >= 256 ? 1u : 0u);
  }
  return value;
}

double MeanDifference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  uint64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sum += static_cast<uint64_t>(std::abs(a[i] - b[i]));
  }
  return static_cast<double>(sum) / static_cast<double>(a.size());
}

double Rms(std::span<const int16_t> samples) {
  double sum = 0;
  for (const int16_t s : samples) {
    sum += static_cast<double>(s) * s;
  }
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

int FramesReported(const std::string& out) {
  std::smatch match;
  return std::regex_search(out, match, std::regex("recorded (\\d+) frames")) ? std::stoi(match[1])
                                                                             : -1;
}

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempDirectory();
    setenv("RD420_AUDIO_TONE", "1", 1);
  }
  void TearDown() override {
    unsetenv("RD420_AUDIO_TONE");
    test::RemoveDirectory(folder_);
  }
  test::ProgramResult Record(const test::SimulatorProcess& camera, const std::string& file,
                             std::vector<std::string> options,
                             const std::function<void()>& inChild = {}) {
    std::vector<std::string> argv = {RD420CTL_PATH, "--dir", camera.Directory(), "record", file};
    argv.insert(argv.end(), options.begin(), options.end());
    return test::RunProgram(argv, inChild);
  }
  std::string folder_;
};

struct Choice {
  const char* video;
  const char* audio;
  bool aspect43;
};

void PrintTo(const Choice& choice, std::ostream* out) {
  *out << choice.video << "/" << choice.audio << (choice.aspect43 ? " 4:3" : " 16:9");
}

class RecordChoiceTest : public RecordTest, public ::testing::WithParamInterface<Choice> {};

// Catches: a codec, tag, size, frame time, sample format or average byte
// rate other than the one asked for; frames lost, repeated or out of order;
// pixels other than the camera's (exactly, uncompressed); sound that does
// not come from the input, or not three frames after the picture.
TEST_P(RecordChoiceTest, ReadsBackAsRecorded) {
  const Choice choice = GetParam();
  const bool aspect43 = choice.aspect43;
  test::SimulatorProcess camera(aspect43 ? std::vector<std::string>{}
                                         : std::vector<std::string>{"--aspect", "16:9"});
  ASSERT_TRUE(camera.Ready());
  const std::string file = folder_ + "/" + choice.video + choice.audio + ".avi";
  const test::ProgramResult run =
      Record(camera, file, {"--seconds", "1", "--video", choice.video, "--audio", choice.audio});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // A loaded machine delivers fewer of the second's frames; a few suffice
  // to see order, pixels and sound.
  const int delivered = FramesReported(run.out);
  ASSERT_GT(delivered, 3) << run.out;

  const FrameGeometry geometry = GeometryFor(aspect43);
  const bool raw = std::string(choice.video) == "none";
  std::optional<uint32_t> previous;
  int outOfStep = 0;
  double worst = 0;
  const AviContents avi = ReadAvi(file, [&](int, std::span<const uint8_t> bgr) {
    const uint32_t sequence = SequenceOf(bgr, geometry, false);
    outOfStep += previous && sequence != *previous + 1 ? 1 : 0;
    previous = sequence;
    const std::vector<uint8_t> expected = ExpectedPicture(sequence, geometry, false);
    worst = std::max(worst, raw ? (std::equal(bgr.begin(), bgr.end(), expected.begin()) ? 0 : 255)
                                : MeanDifference(bgr, expected));
  });
  ASSERT_TRUE(avi.opened);
  EXPECT_EQ(avi.streams, 2);
  const std::map<std::string, std::pair<std::string, uint32_t>> kVideo = {
      {"none", {"rawvideo", 0}},
      {"xvid", {"mpeg4", FourCc("XVID")}},
      {"div3", {"msmpeg4v3", FourCc("DIV3")}}};
  EXPECT_EQ(avi.video.codec, kVideo.at(choice.video).first);
  EXPECT_EQ(avi.video.tag, kVideo.at(choice.video).second);
  EXPECT_EQ(avi.video.width, 640);
  EXPECT_EQ(avi.video.height, geometry.height);
  EXPECT_EQ(avi.video.frameDuration, FrameDuration(aspect43));
  EXPECT_EQ(avi.videoFrames, delivered);
  EXPECT_EQ(outOfStep, 0);
  EXPECT_LT(worst, raw ? 0.5 : 6.0);

  const bool adpcm = std::string(choice.audio) == "adpcm";
  EXPECT_EQ(avi.audio.codec, adpcm ? "adpcm_ms" : "pcm_s16le");
  EXPECT_EQ(avi.audio.sampleRate, 44100);
  EXPECT_EQ(avi.audio.channels, 2);
  if (adpcm) {
    // 1024-byte blocks of 1012 stereo frames.
    EXPECT_EQ(avi.audio.bitRate / 8, 44100 * 1024 / 1012);
  }
  // Three frames of silence, then the tone; as long as the frames, but
  // for the padding of the last ADPCM block.
  const double frameSeconds = static_cast<double>(FrameDuration(aspect43)) / 1e7;
  const auto offset = static_cast<size_t>(3 * frameSeconds * 44100) * 2;
  const auto expectedLength = static_cast<size_t>((3 + delivered) * frameSeconds * 44100) * 2;
  EXPECT_GE(avi.sound.size(), expectedLength - 4);
  EXPECT_LE(avi.sound.size(), expectedLength + 1012 * 2 + 4);
  if (avi.sound.size() < expectedLength) {
    return;
  }
  const std::span<const int16_t> sound(avi.sound);
  EXPECT_LT(Rms(sound.first(offset - 200)), 50);
  EXPECT_NEAR(Rms(sound.subspan(offset + 200, expectedLength - offset - 400)), kToneRms,
              kToneRms * 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, RecordChoiceTest,
    ::testing::Values(Choice{"none", "none", true}, Choice{"none", "adpcm", true},
                      Choice{"xvid", "none", true}, Choice{"xvid", "adpcm", true},
                      Choice{"div3", "none", true}, Choice{"div3", "adpcm", true},
                      Choice{"none", "none", false}, Choice{"none", "adpcm", false},
                      Choice{"xvid", "none", false}, Choice{"xvid", "adpcm", false},
                      Choice{"div3", "none", false}, Choice{"div3", "adpcm", false}),
    [](const ::testing::TestParamInfo<Choice>& param) {
      return std::string(param.param.video) + "_" + param.param.audio +
             (param.param.aspect43 ? "_4x3" : "_16x9");
    });

struct OverlayCase {
  std::vector<std::string> options;
  bool rotate;
  bool timestamp;
  const char* caption;  // null: no caption box
};

// Catches: a text missing from a frame, drawn where the picture is not its
// top-left (turned pictures included), not the local time of its frame,
// drawn for an empty caption, or a picture touched outside the text's box.
TEST_F(RecordTest, OverlayIsInTheTopLeftOfEveryFrameWhenAsked) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  const FrameGeometry geometry = GeometryFor(true);
  const OverlayCase kCases[] = {
      {{"--timestamp", "--caption", "Room 1"}, false, true, "Room 1"},
      {{"--timestamp", "--caption", "Room 1", "--rotate"}, true, true, "Room 1"},
      {{"--caption", "Room 1"}, false, false, "Room 1"},
      {{"--caption", ""}, false, false, ""},
  };
  for (const OverlayCase& c : kCases) {
    SCOPED_TRACE(c.options.back());
    DrawingSurface surface;
    ASSERT_TRUE(surface.CreateContext() && surface.CreatePicture(640, 480) &&
                surface.CreateFont("Arial", 16));
    const std::string file = folder_ + "/overlay.avi";
    std::vector<std::string> options = {"--seconds", "1", "--video", "none", "--audio", "none"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const std::time_t start = std::time(nullptr);
    const test::ProgramResult run = Record(camera, file, options);
    const std::time_t end = std::time(nullptr);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    int matched = 0;
    const AviContents avi = ReadAvi(file, [&](int, std::span<const uint8_t> bgr) {
      const uint32_t sequence = SequenceOf(bgr, geometry, c.rotate);
      const std::vector<uint8_t> picture = ExpectedPicture(sequence, geometry, c.rotate);
      // The same picture with the text of some second of the recording.
      for (std::time_t t = start; t <= end; ++t) {
        const size_t row = 640 * 3;
        for (int y = 0; y < 480; ++y) {
          std::copy_n(picture.begin() + static_cast<std::ptrdiff_t>(row * y), row,
                      surface.Pixels().begin() + static_cast<std::ptrdiff_t>(row * (479 - y)));
        }
        surface.DrawText(0, 0, capture::OverlayText(c.timestamp, true, c.caption, t));
        bool same = true;
        for (int y = 0; y < 480 && same; ++y) {
          same =
              std::equal(bgr.begin() + static_cast<std::ptrdiff_t>(row * y),
                         bgr.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)),
                         surface.Pixels().begin() + static_cast<std::ptrdiff_t>(row * (479 - y)));
        }
        if (same) {
          ++matched;
          break;
        }
      }
      // Below the line's 16 rows the picture is untouched; a caption that
      // is not empty put something in its box.
      EXPECT_TRUE(
          std::equal(bgr.begin() + 16 * 640 * 3, bgr.end(), picture.begin() + 16 * 640 * 3));
      const bool touched = !std::equal(bgr.begin(), bgr.begin() + 16 * 640 * 3, picture.begin());
      EXPECT_EQ(touched, std::string(c.caption) != "" || c.timestamp);
    });
    ASSERT_GT(avi.videoFrames, 5);
    EXPECT_EQ(matched, avi.videoFrames);
  }
}

class TestHost : public capture::CaptureHost {
 public:
  void StreamStarting() override {}
  void ShowPreview(const capture::PreviewPicture&) override {}
  void PostClose() override { ++closes; }
  const void* MessageOwner() const override { return this; }
  void ShowNoCompression() override { ++noCompression; }
  std::atomic<int> closes{0};
  std::atomic<int> noCompression{0};
};

// Catches: a missing codec that ends the recording, warns without its
// caption, leaves the buttons showing the codec, or still writes the codec.
TEST_F(RecordTest, MissingCodecsWarnAndRecordUncompressed) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  SocketTransport transport(camera.Directory());
  DeviceLink link(transport, test::TestLinkMessages());
  ASSERT_TRUE(link.DiscoverDevice());
  MessageRecorder messages;
  capture::AviRecordingWriter writer(
      [](std::string_view encoder) { return encoder != "mpeg4" && encoder != "adpcm_ms"; });
  capture::CaptureFlags flags;
  flags.g_Record_Mode = 1;
  flags.g_Stream_On = 1;
  TestHost host;
  capture::RecordingSettings settings;
  settings.path = folder_ + "/fallback.avi";
  settings.videoQuality = 12;
  settings.audioQuality = 10;
  {
    capture::StreamCycle cycle(link, flags, host, &writer, settings);
    cycle.Start();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    flags.g_Stream_On = 0;
    flags.g_Consumer_Run = 0;
    cycle.Stop();
  }
  const std::vector<Message> shown = messages.Messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "Error (AVI00014)");
  EXPECT_EQ(shown[0].text, "Fail to find Mpeg4 Codec  \nCaputred Video will be not compressed  ");
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(shown[1].caption, "Error (AVI00021)");
  EXPECT_EQ(shown[1].text, "Fail to find Audio Codec  \nCaputred Audio will be not compressed  ");
  EXPECT_EQ(host.noCompression, 1);
  EXPECT_EQ(host.closes, 0);
  const AviContents avi = ReadAvi(settings.path);
  EXPECT_EQ(avi.video.codec, "rawvideo");
  EXPECT_EQ(avi.audio.codec, "pcm_s16le");
  EXPECT_EQ(avi.videoFrames, writer.FramesWritten());
  EXPECT_GT(avi.videoFrames, 5);
}

// Catches: a full disk that goes unreported, is reported without its code,
// or leaves headers that do not match what was kept (a chunk cut in two, an
// index without room, no frame count or sizes), so a player shows no
// duration.
TEST_F(RecordTest, FullDiskEndsWithDiskFullAndAFileWithItsCounts) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  struct Disk {
    const char* video;
    const char* audio;
    size_t bytes;
  };
  for (const Disk& choice : {Disk{"none", "none", 4 << 20}, Disk{"xvid", "adpcm", 512 << 10}}) {
    SCOPED_TRACE(choice.video);
    const test::SmallFileSystem disk(choice.bytes);
    const std::string file = disk.Folder() + "/full.avi";
    const test::ProgramResult run =
        Record(camera, file, {"--seconds", "60", "--video", choice.video, "--audio", choice.audio},
               disk.InChild());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error (AVI00030): Disk Error or Disk Full !!     If your file systme "
                           "is FAT32, maximum file size is 4 GB!     (0x8007"),
              std::string::npos)
        << run.err;
    const AviContents avi = ReadAvi(file);
    ASSERT_TRUE(avi.opened);
    EXPECT_EQ(avi.streams, 2);
    EXPECT_GE(avi.videoFrames, 2);
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), 52u);
    const auto le32 = [&](size_t at) {
      return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
    };
    EXPECT_EQ(le32(4), bytes.size() - 8) << "the RIFF size";
    EXPECT_EQ(le32(48), static_cast<uint32_t>(avi.videoFrames)) << "the main header's frames";
    // As a player reads the headers: the frames kept, and their duration.
    const test::ProgramResult probe =
        test::RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v",
                          "-show_entries", "stream=nb_frames,duration", "-of", "csv=p=0", file});
    int frames = 0;
    double seconds = 0;
    ASSERT_EQ(std::sscanf(probe.out.c_str(), "%lf,%d", &seconds, &frames), 2) << probe.out;
    EXPECT_EQ(frames, avi.videoFrames);
    EXPECT_NEAR(seconds, frames * FrameDuration(true) / 1e7, 0.001);
  }
}

// Catches: a recording that a killed process leaves unreadable, or that a
// TERM (the tool's Stop) does not complete.
TEST_F(RecordTest, EndedOrKilledRecordingStillOpens) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  for (const int signal : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(signal);
    const std::string file = folder_ + "/ended" + std::to_string(signal) + ".avi";
    const pid_t pid = fork();
    if (pid == 0) {
      if (freopen("/dev/null", "w", stdout) == nullptr) {
        _exit(126);
      }
      execl(RD420CTL_PATH, RD420CTL_PATH, "--dir", camera.Directory().c_str(), "record",
            file.c_str(), "--seconds", "60", nullptr);
      _exit(127);
    }
    // Kill it once a couple of seconds are in the file.
    struct stat info {};
    for (int i = 0; i < 100 && (stat(file.c_str(), &info) != 0 || info.st_size < 100000); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) && WEXITSTATUS(status) == 0, signal == SIGTERM);
    const AviContents avi = ReadAvi(file);
    ASSERT_TRUE(avi.opened);
    EXPECT_EQ(avi.streams, 2);
    EXPECT_GE(avi.videoFrames, 10);
    EXPECT_GT(avi.sound.size(), 10000u);
  }
}

}  // namespace
}  // namespace rd420
