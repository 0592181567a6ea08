#pragma once

// The multimedia objects a recording is built from: an audio capture
// object, a two-stream sample source, media types, media samples, a sample
// target and a convert object that compresses and writes the AVI file.
// They take the media-type GUID strings, codec monikers, stream numbers,
// formats and time stamps of the Windows multimedia objects they stand in
// for; underneath, libavformat's AVI muxer and libavcodec's encoders write
// the file and libavdevice reads the audio input. All objects of one
// recording are used by the one thread that made them, except the audio
// capture's own reading thread, which only fills the sample target.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rd420::media {

// Results shaped like the objects' result codes: 0 is success, values
// with the top bit set are failures.
using MediaResult = uint32_t;
inline constexpr MediaResult kOk = 0;
inline constexpr MediaResult kFail = 0x80004005;
inline constexpr MediaResult kInvalidArgument = 0x80070057;
inline constexpr MediaResult kOutOfMemory = 0x8007000E;
inline constexpr MediaResult kTimeout = 0x800705B4;
inline constexpr MediaResult kNotStarted = 0x80040227;  // the graph is not running
inline constexpr MediaResult kDiskFull = 0x80070070;
inline constexpr MediaResult kFileTooLarge = 0x800700DF;
inline constexpr bool Failed(MediaResult result) {
  return (result & 0x80000000u) != 0;
}

inline constexpr char kMediaTypeVideo[] = "{73646976-0000-0010-8000-00AA00389B71}";
inline constexpr char kMediaSubtypeRgb24[] = "{e436eb7d-524f-11ce-9f53-0020af0ba770}";
inline constexpr char kFormatVideoInfo[] = "{05589f80-c356-11ce-bf01-00aa0055595a}";
inline constexpr char kMediaTypeAudio[] = "{73647561-0000-0010-8000-00AA00389B71}";
inline constexpr char kMediaSubtypePcm[] = "{00000001-0000-0010-8000-00AA00389B71}";
inline constexpr char kFormatWaveFormatEx[] = "{05589F81-C356-11CE-BF01-00AA0055595A}";

inline constexpr char kMonikerXvid[] = "@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\xvid";
inline constexpr char kMonikerDiv3[] = "@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\div3";
inline constexpr char kMonikerMsAdpcm[] =
    "@device:cm:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\2Microsoft ADPCM";

inline constexpr size_t kVideoInfoBytes = 88;
inline constexpr size_t kWaveFormatBytes = 18;
inline constexpr int kAudioSampleRate = 44100;
inline constexpr size_t kAudioChannels = 2;
inline constexpr int kAudioBytesPerFrame = 4;  // 16-bit stereo

// FFmpeg's own log lines become trace lines (RD420_TRACE=1). Called by the
// objects that use FFmpeg; once is enough.
void RouteFfmpegLog();

// A media type: GUID strings of type, subtype and format type, and the
// format block. Setters refuse what is not a GUID string. FFmpeg works out
// the sample size itself, so those two setters only accept.
class MediaType {
 public:
  MediaResult SetType(std::string_view guid);
  MediaResult SetSubtype(std::string_view guid);
  MediaResult SetFormatType(std::string_view guid);
  MediaResult SetFormatData(std::span<const uint8_t> format);
  MediaResult SetFixedSizeSamples(bool fixed);
  MediaResult SetSampleSize(uint32_t bytes);

  const std::string& Type() const { return type_; }
  const std::string& Subtype() const { return subtype_; }
  const std::string& FormatType() const { return formatType_; }
  const std::vector<uint8_t>& FormatData() const { return format_; }

 private:
  std::string type_;
  std::string subtype_;
  std::string formatType_;
  std::vector<uint8_t> format_;
};

// One sample: its data and start time (100-ns units). The writer places a
// sample by its start alone and the encoder chooses its key frames, so the
// stop, the media time and the sync point are only checked (start before
// stop). The data is borrowed: it must outlive the delivery.
class MediaSample {
 public:
  MediaResult SetData(std::span<const uint8_t> data);
  std::span<const uint8_t> Data() const {
    return own_.empty() ? data_ : std::span<const uint8_t>(own_);
  }
  MediaResult SetTime(int64_t start, int64_t stop);
  MediaResult SetMediaTime(int64_t start, int64_t stop);
  MediaResult SetSyncPoint(bool sync);
  int64_t TimeStart() const { return timeStart_; }

 private:
  friend class SampleTarget;
  std::span<const uint8_t> data_;
  std::vector<uint8_t> own_;  // a captured sample keeps its bytes here
  int64_t timeStart_ = 0;
};

// A list of compressors by moniker. Find gives the index of a moniker, -1
// when no encoder serves it; the selection is an index or -1 for none.
class CompressorList {
 public:
  explicit CompressorList(std::vector<std::string> monikers) : monikers_(std::move(monikers)) {}
  MediaResult Find(std::string_view moniker, int* index) const;
  MediaResult SetSelection(int index);
  int Selection() const { return selection_; }
  const std::string* Selected() const;

 private:
  std::vector<std::string> monikers_;
  int selection_ = -1;
};

// Collects captured audio for the recording thread. The capture's reading
// thread appends; the recording thread takes one sample of about a frame's
// duration per video frame.
class SampleTarget {
 public:
  SampleTarget();
  ~SampleTarget();
  SampleTarget(const SampleTarget&) = delete;
  SampleTarget& operator=(const SampleTarget&) = delete;

  // How many audio frames (one per channel pair) the next samples hold;
  // the fraction carries over, so the samples follow this duration exactly.
  void SetSampleDuration(double seconds);
  // Waits up to `timeoutMs` for one sample of the set duration: the oldest
  // audio waiting, as captured.
  MediaResult GetSample(uint32_t timeoutMs, MediaSample* sample);
  // Drops up to `frames` of the oldest audio waiting; returns how many.
  size_t Discard(size_t frames);
  // Captured 16-bit stereo frames; called by the capture's reading thread.
  void Append(std::span<const int16_t> interleaved);
  // The audio waiting, in seconds.
  double QueuedSeconds() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The audio input: a list of inputs (PulseAudio, then ALSA, each through
// libavdevice; with none there, one that delivers silence, or a 1 kHz test
// tone when RD420_AUDIO_TONE=1), a buffer size and a target to fill.
class AudioCapture {
 public:
  AudioCapture();
  ~AudioCapture();  // stops the capture
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  const std::vector<std::string>& AudioDevices() const { return devices_; }
  MediaResult SelectAudioDevice(int index);
  MediaResult SetAudioBufferSize(double seconds);
  MediaResult SetTargetObject(SampleTarget* target);
  // Starts reading into the target. `mode` 3 captures audio only, the one
  // mode there is.
  MediaResult StartCapture(int mode);
  MediaResult StopCapture();

 private:
  struct Reader;
  std::vector<std::string> devices_;
  int selected_ = -1;
  double bufferSeconds_ = 0.05;
  SampleTarget* target_ = nullptr;
  std::unique_ptr<Reader> reader_;
};

// The two-stream sample source: stream 0 audio, stream 1 video. Samples
// are taken with GetSampleBuffer, filled and given back with DeliverSample,
// which the convert object encodes and writes at once.
class MediaConvert;
class SampleSource {
 public:
  MediaResult SetStreamCount(int count);
  MediaResult SetMediaType(int stream, const MediaType& type);
  // Fails with the writer's error once the file can take no more (a full
  // disk, a file-size limit), or when the convert object is not running.
  MediaResult GetSampleBuffer(int stream, uint32_t timeoutMs, MediaSample* sample);
  MediaResult DeliverSample(int stream, uint32_t timeoutMs, const MediaSample& sample);

  const MediaType* StreamType(int stream) const;

 private:
  friend class MediaConvert;
  int streamCount_ = 0;
  MediaType types_[2];
  bool typeSet_[2] = {false, false};
  MediaConvert* convert_ = nullptr;
};

// Which encoders may be used; tests take one away to see the fallback.
using EncoderAvailable = std::function<bool(std::string_view ffmpegEncoderName)>;

// The convert object: compressor lists, the source, the target file and
// format, start and stop. Stop completes the AVI file.
class MediaConvert {
 public:
  explicit MediaConvert(EncoderAvailable available = {});
  ~MediaConvert();
  MediaConvert(const MediaConvert&) = delete;
  MediaConvert& operator=(const MediaConvert&) = delete;

  CompressorList* VideoCompressors() { return &videoCompressors_; }
  CompressorList* AudioCompressors() { return &audioCompressors_; }
  MediaResult SetSourceObject(SampleSource* source);
  MediaResult SetTargetFile(std::string_view path);
  MediaResult SetTargetFormat(int format);  // 0: AVI
  MediaResult StartConvert();
  MediaResult StopConvert();

 private:
  friend class SampleSource;
  struct Writer;
  MediaResult Deliver(int stream, const MediaSample& sample);
  MediaResult WriterState() const;

  CompressorList videoCompressors_;
  CompressorList audioCompressors_;
  SampleSource* source_ = nullptr;
  std::string path_;
  std::unique_ptr<Writer> writer_;
};

}  // namespace rd420::media
