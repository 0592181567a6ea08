// The audio capture object: reads the computer's audio input through
// libavdevice on a thread of its own and fills the sample target.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string_view>
#include <thread>

#include "platform/media.h"
#include "platform/trace.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace rd420::media {
namespace {

constexpr char kSilence[] = "silence";
constexpr char kTestTone[] = "test tone (1 kHz)";
constexpr double kToneHz = 1000;
constexpr double kToneAmplitude = 8000;
constexpr auto kGeneratorTick = std::chrono::milliseconds(10);
constexpr auto kDeviceIdle = std::chrono::milliseconds(5);

// The libavdevice inputs tried, in this order.
struct DeviceInput {
  const char* label;
  const char* format;
  const char* url;
};
constexpr DeviceInput kInputs[] = {{"PulseAudio default", "pulse", "default"},
                                   {"ALSA default", "alsa", "default"}};

// ALSA is asked only where the kernel shows a capture device; without one
// it prints its complaints straight to the terminal.
bool HasAlsaCapture() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("pcmC") && name.ends_with("c")) {
      return true;
    }
  }
  return false;
}

bool ToneAsked() {
  const char* tone = std::getenv("RD420_AUDIO_TONE");
  return tone != nullptr && std::string_view(tone) == "1";
}

AVFormatContext* OpenInput(const DeviceInput& input, double bufferSeconds) {
  const AVInputFormat* format = av_find_input_format(input.format);
  if (format == nullptr) {
    return nullptr;
  }
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "sample_rate", kAudioSampleRate, 0);
  av_dict_set_int(&options, "channels", kAudioChannels, 0);
  if (std::strcmp(input.format, "pulse") == 0) {
    av_dict_set_int(&options, "fragment_size",
                    static_cast<int64_t>(bufferSeconds * kAudioSampleRate) * kAudioBytesPerFrame,
                    0);
  }
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    av_dict_free(&options);
    return nullptr;
  }
  // A read that would wait returns at once, so stopping never waits on a
  // device that has gone quiet.
  context->flags |= AVFMT_FLAG_NONBLOCK;
  const int opened = avformat_open_input(&context, input.url, format, &options);
  av_dict_free(&options);
  if (opened < 0) {
    return nullptr;
  }
  // Only what the recording takes: 16-bit stereo at 44100 Hz.
  const AVCodecParameters* par = context->nb_streams == 1 ? context->streams[0]->codecpar : nullptr;
  if (par == nullptr || par->codec_id != AV_CODEC_ID_PCM_S16LE ||
      par->sample_rate != kAudioSampleRate ||
      par->ch_layout.nb_channels != static_cast<int>(kAudioChannels)) {
    avformat_close_input(&context);
    return nullptr;
  }
  return context;
}

}  // namespace

// The reading thread of one capture: a device, or silence or the tone made
// at the pace of the clock, as a device would deliver them.
struct AudioCapture::Reader {
  ~Reader() {
    stop = true;
    if (thread.joinable()) {
      thread.join();
    }
    avformat_close_input(&device);
  }

  void ReadDevice() {
    AVPacket* packet = av_packet_alloc();
    while (!stop && packet != nullptr) {
      const int read = av_read_frame(device, packet);
      if (read == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(kDeviceIdle);
        continue;
      }
      if (read < 0) {
        break;
      }
      target->Append({reinterpret_cast<const int16_t*>(packet->data),
                      static_cast<size_t>(packet->size) / sizeof(int16_t)});
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }

  void Generate(bool tone) {
    const auto start = std::chrono::steady_clock::now();
    uint64_t made = 0;
    std::vector<int16_t> block;
    while (!stop) {
      std::this_thread::sleep_for(kGeneratorTick);
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      const auto due = static_cast<uint64_t>(elapsed.count() * kAudioSampleRate);
      block.assign((due - made) * kAudioChannels, 0);
      for (uint64_t i = made; tone && i < due; ++i) {
        const double phase = 2 * std::numbers::pi * kToneHz *
                             static_cast<double>(i % kAudioSampleRate) / kAudioSampleRate;
        const auto value = static_cast<int16_t>(std::lround(kToneAmplitude * std::sin(phase)));
        block[(i - made) * 2] = value;
        block[(i - made) * 2 + 1] = value;
      }
      made = due;
      target->Append(block);
    }
  }

  SampleTarget* target = nullptr;
  AVFormatContext* device = nullptr;
  std::atomic<bool> stop{false};
  std::thread thread;
};

AudioCapture::AudioCapture() {
  if (ToneAsked()) {
    devices_.emplace_back(kTestTone);
    return;
  }
  RouteFfmpegLog();
  avdevice_register_all();
  for (const DeviceInput& input : kInputs) {
    if (std::strcmp(input.format, "alsa") == 0 && !HasAlsaCapture()) {
      continue;
    }
    if (AVFormatContext* context = OpenInput(input, bufferSeconds_)) {
      avformat_close_input(&context);
      devices_.emplace_back(input.label);
    }
  }
  if (devices_.empty()) {
    devices_.emplace_back(kSilence);  // a machine without audio input still records
  }
}

AudioCapture::~AudioCapture() {
  StopCapture();
}

MediaResult AudioCapture::SelectAudioDevice(int index) {
  if (index < 0 || index >= static_cast<int>(devices_.size()) || reader_ != nullptr) {
    return kInvalidArgument;
  }
  selected_ = index;
  return kOk;
}

MediaResult AudioCapture::SetAudioBufferSize(double seconds) {
  if (!(seconds > 0 && seconds <= 10) || reader_ != nullptr) {
    return kInvalidArgument;
  }
  bufferSeconds_ = seconds;
  return kOk;
}

MediaResult AudioCapture::SetTargetObject(SampleTarget* target) {
  if (target == nullptr || reader_ != nullptr) {
    return kInvalidArgument;
  }
  target_ = target;
  return kOk;
}

MediaResult AudioCapture::StartCapture(int mode) {
  if (mode != 3 || target_ == nullptr || selected_ < 0 || reader_ != nullptr) {
    return kInvalidArgument;
  }
  auto reader = std::make_unique<Reader>();
  reader->target = target_;
  const std::string& name = devices_[static_cast<size_t>(selected_)];
  for (const DeviceInput& input : kInputs) {
    if (name == input.label) {
      reader->device = OpenInput(input, bufferSeconds_);
      if (reader->device == nullptr) {
        return kFail;  // the input went away since the list was made
      }
    }
  }
  const bool tone = name == kTestTone;
  Reader* r = reader.get();
  try {
    reader->thread = std::thread([r, tone] {
      if (r->device != nullptr) {
        r->ReadDevice();
      } else {
        r->Generate(tone);
      }
    });
  } catch (const std::system_error&) {
    return kOutOfMemory;
  }
  Trace("media: capturing audio from %s", name.c_str());
  reader_ = std::move(reader);
  return kOk;
}

MediaResult AudioCapture::StopCapture() {
  reader_.reset();
  return kOk;
}

}  // namespace rd420::media
