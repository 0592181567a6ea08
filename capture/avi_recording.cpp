#include "capture/avi_recording.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "capture/disk_checks.h"
#include "capture/overlay.h"
#include "platform/byte_order.h"
#include "platform/message.h"

namespace rd420::capture {
namespace {

using media::Failed;
using media::MediaResult;

constexpr int kAudioStream = 0;
constexpr int kVideoStream = 1;
constexpr uint32_t kVideoBufferTimeoutMs = 2000;
constexpr uint32_t kAudioBufferTimeoutMs = 1000;
constexpr uint32_t kAudioSampleTimeoutMs = 1000;
constexpr uint32_t kDeliverTimeoutMs = 2000;
constexpr int kCaptureAudioOnly = 3;
constexpr uint32_t kPcmSampleSize = 176400;
constexpr char kDiskFullText[] =
    "Disk Error or Disk Full !!    \nIf your file systme is FAT32, maximum file size is 4 GB!    ";

// The picture's timing for one aspect.
struct Timing {
  int64_t frameDuration;  // 100 ns
  double audioBufferSeconds;
  uint32_t bitRate;
};
Timing TimingFor(FrameGeometry geometry) {
  return geometry.height == 480 ? Timing{442200, 0.0442282, 166699008}
                                : Timing{331120, 0.0331125, 166993920};
}

// VIDEOINFOHEADER: rectangles zero, bit rate, average time per frame, then
// a BITMAPINFOHEADER of bottom-up 24-bit rows.
std::vector<uint8_t> VideoFormat(FrameGeometry geometry, const Timing& timing) {
  std::vector<uint8_t> format(media::kVideoInfoBytes, 0);
  StoreLe32(format.data() + 32, timing.bitRate);
  StoreLe32(format.data() + 40, static_cast<uint32_t>(timing.frameDuration));
  StoreLe32(format.data() + 48, 40);
  StoreLe32(format.data() + 52, static_cast<uint32_t>(geometry.width));
  StoreLe32(format.data() + 56, static_cast<uint32_t>(geometry.height));
  StoreLe16(format.data() + 60, 1);
  StoreLe16(format.data() + 62, 24);
  StoreLe32(format.data() + 68, static_cast<uint32_t>(geometry.BgrBytes()));
  return format;
}

// WAVEFORMATEX: PCM, 2 channels, 44100 Hz, 16 bits.
std::vector<uint8_t> AudioFormat() {
  std::vector<uint8_t> format(media::kWaveFormatBytes, 0);
  StoreLe16(format.data() + 0, 1);
  StoreLe16(format.data() + 2, media::kAudioChannels);
  StoreLe32(format.data() + 4, media::kAudioSampleRate);
  StoreLe32(format.data() + 8, kPcmSampleSize);
  StoreLe16(format.data() + 12, media::kAudioBytesPerFrame);
  StoreLe16(format.data() + 14, 16);
  return format;
}

std::string WithCode(const char* form, MediaResult result) {
  char text[256];
  std::snprintf(text, sizeof text, form, kDiskFullText, result);
  return text;
}

}  // namespace

// The objects of one recording, made by Start and released at its end.
// Members end in reverse order: the capture stops filling the target before
// the target goes, and the convert object completes the file while the
// source it reads is still there.
struct AviRecordingWriter::Graph {
  media::SampleTarget target;
  media::SampleSource source;
  media::MediaType videoType;
  media::MediaType audioType;
  std::unique_ptr<media::MediaConvert> convert;
  media::AudioCapture capture;
  DrawingSurface surface;
  FrameGeometry geometry;
};

AviRecordingWriter::AviRecordingWriter(media::EncoderAvailable available)
    : available_(std::move(available)) {
}

AviRecordingWriter::~AviRecordingWriter() {
  Release();
}

void AviRecordingWriter::Release() {
  if (graph_ != nullptr) {
    graph_->capture.StopCapture();
  }
  // The convert object completes what it can of the file as it goes.
  graph_.reset();
}

bool AviRecordingWriter::Fail(const char* text, const char* caption) {
  ShowMessage(host_->MessageOwner(), text, caption, MessageIcon::kWarning);
  Release();
  return false;
}

bool AviRecordingWriter::Start(const RecordingSettings& settings, FrameGeometry geometry,
                               RecordingHost& host) {
  Release();
  host_ = &host;
  settings_ = settings;
  i_ = 0;
  queuedAudioSeconds_ = 0;
  largestQueuedAudioSeconds_ = 0;
  const Timing timing = TimingFor(geometry);
  duration_ = timing.frameDuration;
  graph_ = std::make_unique<Graph>();
  Graph& g = *graph_;
  g.geometry = geometry;

  // The audio input: device 0, buffers of about one frame.
  g.capture.SelectAudioDevice(0);
  if (Failed(g.capture.SetAudioBufferSize(timing.audioBufferSeconds))) {
    return Fail("Fail to Set Audio Buffer", "Error (AVI00004)");
  }
  g.convert = std::make_unique<media::MediaConvert>(available_);
  if (Failed(g.source.SetStreamCount(2))) {
    return Fail("Fail to set type to Stream Count ", "Error (AVI00007)");
  }
  if (Failed(g.videoType.SetType(media::kMediaTypeVideo))) {
    return Fail("Fail to set type to MEDIATYPE_Video ", "Error (AVI00009)");
  }
  if (Failed(g.videoType.SetSubtype(media::kMediaSubtypeRgb24))) {
    return Fail("Fail to set subtype to MEDIASUBTYPE_RGB24 ", "Error (AVI00010)");
  }
  if (Failed(g.videoType.SetFormatType(media::kFormatVideoInfo))) {
    return Fail("Fail to set format to FORMAT_VideoInfo ", "Error (AVI00011)");
  }
  if ((settings.videoQuality & 8) != 0) {
    media::CompressorList* list = g.convert->VideoCompressors();
    if (list == nullptr) {
      return Fail("Fail to get video compressor collection objects ", "Error (AVI00012)");
    }
    int index = -1;
    const char* moniker =
        settings.videoQuality == kVideoXvid ? media::kMonikerXvid : media::kMonikerDiv3;
    if (Failed(list->Find(moniker, &index))) {
      return Fail("Fail to find Video compressors  ", "Error (AVI00013)");
    }
    if (index == -1) {
      ShowMessage(host_->MessageOwner(),
                  "Fail to find Mpeg4 Codec  \nCaputred Video will be not compressed  ",
                  "Error (AVI00014)", MessageIcon::kWarning);
      host.ShowNoCompression();
    }
    if (Failed(list->SetSelection(index))) {
      return Fail("Fail to put Video compressors  ", "Error (AVI00015)");
    }
  }
  if (Failed(g.videoType.SetFormatData(VideoFormat(geometry, timing)))) {
    return Fail("Fail to set format data  ", "Error (AVI00016)");
  }
  if (Failed(g.videoType.SetFixedSizeSamples(false))) {
    return Fail("Fail to put fixed image size sample  ", "Error (AVI00017)");
  }
  if (Failed(g.videoType.SetSampleSize(static_cast<uint32_t>(geometry.BgrBytes())))) {
    return Fail("Fail to put sample image size  ", "Error (AVI00018)");
  }
  if (Failed(g.source.SetMediaType(kVideoStream, g.videoType))) {
    return Fail("Fail to set the source media type  ", "Error (AVI00019)");
  }

  // From here captured audio collects in the target. Each sample handed
  // out lasts exactly one frame, so the sound keeps to the frames' time
  // stamps however long the recording runs.
  g.target.SetSampleDuration(static_cast<double>(duration_) / 1e7);
  g.capture.SetTargetObject(&g.target);
  g.capture.StartCapture(kCaptureAudioOnly);
  g.audioType.SetType(media::kMediaTypeAudio);
  g.audioType.SetSubtype(media::kMediaSubtypePcm);
  g.audioType.SetFormatType(media::kFormatWaveFormatEx);
  if (settings.audioQuality == kAudioAdpcm) {
    media::CompressorList* list = g.convert->AudioCompressors();
    int index = -1;
    list->Find(media::kMonikerMsAdpcm, &index);
    if (index < 0) {
      ShowMessage(host_->MessageOwner(),
                  "Fail to find Audio Codec  \nCaputred Audio will be not compressed  ",
                  "Error (AVI00021)", MessageIcon::kWarning);
    } else {
      list->SetSelection(index);
    }
  }
  g.audioType.SetFormatData(AudioFormat());
  g.audioType.SetFixedSizeSamples(true);
  g.audioType.SetSampleSize(kPcmSampleSize);
  if (Failed(g.source.SetMediaType(kAudioStream, g.audioType))) {
    return Fail("pVideoAndAudioSource->SetMediaType(1,pAudioMediaType)  ", "Error (AVI00022)");
  }
  if (Failed(g.convert->SetSourceObject(&g.source))) {
    return Fail("Fail to set the convert object source  ", "Error (AVI00023)");
  }
  if (Failed(g.convert->SetTargetFile(settings.path))) {
    return Fail("Fail to set the convert output file  ", "Error (AVI00024)");
  }
  if (Failed(g.convert->SetTargetFormat(0))) {
    return Fail("Fail to set the Target Format AVI  ", "Error (AVI00025)");
  }
  if (!CreateOverlaySurface(g.surface, geometry, host_->MessageOwner())) {
    Release();
    return false;
  }
  if (Failed(g.convert->StartConvert())) {
    return Fail("Fail to Start Convert Object  ", "Error (AVI00029)");
  }
  return true;
}

// Three tries: a writer that fell behind gets 200 ms, then 500 ms more.
bool AviRecordingWriter::GetVideoBuffer(media::MediaSample* sample) {
  MediaResult result = graph_->source.GetSampleBuffer(kVideoStream, kVideoBufferTimeoutMs, sample);
  for (const int pauseMs : {200, 500}) {
    if (!Failed(result)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    result = graph_->source.GetSampleBuffer(kVideoStream, kVideoBufferTimeoutMs, sample);
  }
  if (!Failed(result)) {
    return true;
  }
  const std::string text = WithCode("%s\n(0x%8.8X)", result);
  return Fail(text.c_str(), "Error (AVI00030)");
}

bool AviRecordingWriter::Frame(std::span<const uint8_t> bgr, FrameGeometry geometry) {
  if (graph_ == nullptr) {
    return false;
  }
  Graph& g = *graph_;
  DrawingSurface& surface = g.surface;
  if (geometry.width != g.geometry.width || geometry.height != g.geometry.height ||
      bgr.size() != surface.Pixels().size()) {
    return Fail("Fail to set DIB Data ", "Error (AVI00037)");
  }
  // The frame is copied once, into the surface the video sample points at.
  std::memcpy(surface.Pixels().data(), bgr.data(), bgr.size());
  const std::string text = OverlayText(settings_.displayLocalTime, settings_.displayCaption,
                                       settings_.caption, std::time(nullptr));
  if (!text.empty()) {
    surface.DrawText(0, 0, text);
  }

  media::MediaSample video;
  if (!GetVideoBuffer(&video)) {
    return false;
  }
  media::MediaSample audio;
  if (const MediaResult result =
          g.source.GetSampleBuffer(kAudioStream, kAudioBufferTimeoutMs, &audio);
      Failed(result)) {
    const std::string message = WithCode("%s-Audio\n(0x%8.8X)", result);
    return Fail(message.c_str(), "Error (AVI00031)");
  }
  media::MediaSample captured;
  if (Failed(g.target.GetSample(kAudioSampleTimeoutMs, &captured))) {
    return Fail("Fail to get Audio Sample Data  ", "Error (AVI00032)");
  }
  KeepAudioPace(captured.Data().size() / media::kAudioBytesPerFrame);
  queuedAudioSeconds_ = g.target.QueuedSeconds();
  // The first frames come while the camera settles.
  if (i_ >= 10) {
    largestQueuedAudioSeconds_ = std::max(largestQueuedAudioSeconds_, queuedAudioSeconds_);
  }
  if (Failed(audio.SetData(captured.Data()))) {
    return Fail("Fail to set Audio Data  ", "Error (AVI00033)");
  }
  const int64_t D = duration_;
  const int64_t T = i_ * D;
  if (Failed(video.SetTime(T, T + D))) {
    return Fail("Fail to set the time based on frame rate ", "Error (AVI00034)");
  }
  // The sound is placed three frames after the picture it travels with.
  audio.SetTime(T + 3 * D, T + 4 * D);
  if (Failed(video.SetMediaTime(i_, i_ + 1))) {
    return Fail("Fail to set media time ", "Error (AVI00035)");
  }
  audio.SetMediaTime(i_, i_ + 1);
  if (Failed(video.SetSyncPoint(true))) {
    return Fail("Fail to Set Sync Point  ", "Error (AVI00036)");
  }
  audio.SetSyncPoint(true);
  if (Failed(video.SetData(surface.Pixels()))) {
    return Fail("Fail to set DIB Data ", "Error (AVI00037)");
  }
  if (Failed(g.source.DeliverSample(kVideoStream, kDeliverTimeoutMs, video))) {
    return Fail("Fail to send the video sample downstrem ", "Error (AVI00038)");
  }
  g.source.DeliverSample(kAudioStream, kDeliverTimeoutMs, audio);
  ++i_;
  return true;
}

// Each frame takes one frame's duration of sound, so sound the camera's
// frames do not keep up with piles up. It is dropped in whole blocks, which
// keeps the pitch: all that came before the first frame, what is over after
// a stall (beyond two and a half frames), and for a camera slightly slower
// than its time stamps at most a quarter frame per frame above half a
// frame's slack.
void AviRecordingWriter::KeepAudioPace(size_t frameAudio) {
  media::SampleTarget& target = graph_->target;
  const auto waiting = [&] {
    return static_cast<size_t>(std::lround(target.QueuedSeconds() * media::kAudioSampleRate));
  };
  const size_t slack = frameAudio / 2;
  if (i_ == 0) {
    target.Discard(waiting());
    return;
  }
  if (const size_t over = waiting(); over > slack + 2 * frameAudio) {
    cutAudioFrames_ += target.Discard(over - slack);
  } else if (over > slack) {
    droppedAudioFrames_ += target.Discard(std::min(over - slack, frameAudio / 4));
  }
}

bool AviRecordingWriter::Finish() {
  if (graph_ == nullptr) {
    return true;
  }
  graph_->capture.StopCapture();
  if (Failed(graph_->convert->StopConvert())) {
    return Fail("Fail to stop convert process ", "Error (AVI00042)");
  }
  Release();
  return true;
}

}  // namespace rd420::capture
