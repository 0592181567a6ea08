// The convert object: encodes the source's samples with libavcodec and
// writes them with libavformat's AVI muxer, on the recording thread.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/byte_order.h"
#include "platform/media.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace rd420::media {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // sample times are in 100 ns
// Fixed quantisers: the Xvid choice keeps detail for documents, the low
// quality one trades it for size.
constexpr int kXvidQuantiser = 4;
constexpr int kDiv3Quantiser = 8;
constexpr int kKeyFrameInterval = 60;

// What the AVI muxer adds to the file per packet: its chunk header and pad
// byte, then 16 bytes in the old index and, once the file nears 1 GB, 8
// more in the OpenDML standard index; and a little for the index and list
// headers.
constexpr int64_t kChunkOverhead = 9;
constexpr int64_t kIndexBytesPerPacket = 16;
constexpr int64_t kOpenDmlIndexBytesPerPacket = 8;
constexpr int64_t kOpenDmlFrom = 960 << 20;
constexpr int64_t kIndexHeaderBytes = 4096;
// The file's room is allocated ahead in steps of this, not per packet.
constexpr int64_t kReserveStep = 4 << 20;

struct VideoChoice {
  const char* moniker;
  const char* encoder;
  uint32_t tag;
  int quantiser;
};
constexpr VideoChoice kVideoChoices[] = {
    {kMonikerXvid, "mpeg4", MKTAG('X', 'V', 'I', 'D'), kXvidQuantiser},
    // FFmpeg tags this encoder MP43 unless told; players expect DIV3.
    {kMonikerDiv3, "msmpeg4", MKTAG('D', 'I', 'V', '3'), kDiv3Quantiser},
};

bool SameGuid(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

MediaResult FromAvError(int error) {
  switch (error) {
    case AVERROR(ENOSPC):
      return kDiskFull;
    case AVERROR(EFBIG):
      return kFileTooLarge;
    case AVERROR(ENOMEM):
      return kOutOfMemory;
    default:
      return kFail;
  }
}

std::vector<std::string> Served(const EncoderAvailable& available, bool video) {
  std::vector<std::string> monikers;
  const auto serves = [&](const char* encoder) {
    return avcodec_find_encoder_by_name(encoder) != nullptr && (!available || available(encoder));
  };
  if (video) {
    for (const VideoChoice& choice : kVideoChoices) {
      if (serves(choice.encoder)) {
        monikers.emplace_back(choice.moniker);
      }
    }
  } else if (serves("adpcm_ms")) {
    monikers.emplace_back(kMonikerMsAdpcm);
  }
  return monikers;
}

struct CodecContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FifoFree {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct SwsFree {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

}  // namespace

// What StartConvert opens and StopConvert (or the object's end) completes.
struct MediaConvert::Writer {
  ~Writer() {
    if (format != nullptr) {
      if (!finished) {
        Finish();  // a recording ended by a failure still gets its index
      }
      avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  // Opens the file as FFmpeg's muxing example does: the streams added,
  // each one's encoder opened, then the file and its header.
  MediaResult Open(const std::string& path, const std::string* videoMoniker, bool adpcm,
                   std::span<const uint8_t> videoInfo, std::span<const uint8_t> waveFormat);
  // Takes the frame's size and duration; false when either format is not
  // one we record.
  bool ReadFormats(std::span<const uint8_t> videoInfo, std::span<const uint8_t> waveFormat);
  void DescribeRawVideo();
  MediaResult OpenVideo(const VideoChoice& choice);
  MediaResult OpenAudio(bool adpcm);
  MediaResult OpenFile(const std::string& path);
  MediaResult Video(const MediaSample& sample);
  MediaResult Audio(const MediaSample& sample);
  MediaResult Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame,
                     AVRational packetBase);
  MediaResult Write(AVPacket* packet, AVStream* stream, AVRational timeBase);
  MediaResult EncodeAudioBlocks(bool flush);
  bool Reserve(int64_t packetBytes);
  void CutToLastChunk();
  MediaResult Finish();

  AVFormatContext* format = nullptr;
  std::string filePath;
  int64_t completeBytes = 0;  // the file up to the end of the last chunk written whole
  // The file again, to allocate its room ahead of the muxer (invalid where
  // the file system cannot), and how far it is allocated.
  UniqueFd room;
  int64_t allocated = 0;
  // The headers and every chunk given to the muxer, and how many.
  int64_t chunkBytes = 0;
  int64_t packets = 0;
  rlim_t sizeLimit = RLIM_INFINITY;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  std::unique_ptr<AVCodecContext, CodecContextFree> videoCodec;  // null: raw DIB frames
  std::unique_ptr<AVCodecContext, CodecContextFree> audioCodec;
  std::unique_ptr<SwsContext, SwsFree> toYuv;
  std::unique_ptr<AVFrame, FrameFree> picture;
  std::unique_ptr<AVFrame, FrameFree> sound;
  std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
  std::unique_ptr<AVAudioFifo, FifoFree> fifo;
  int width = 0;
  int height = 0;  // > 0: rows run bottom-up
  int64_t frameDuration = 0;
  int64_t nextVideoPts = 0;
  int64_t audioQueued = 0;  // audio frames given to the fifo, silence included
  int64_t audioPts = 0;     // audio frames encoded
  MediaResult error = kOk;  // the first write failure; sticky
  bool finished = false;
};

MediaResult MediaConvert::Writer::Open(const std::string& path, const std::string* videoMoniker,
                                       bool adpcm, std::span<const uint8_t> videoInfo,
                                       std::span<const uint8_t> waveFormat) {
  if (!ReadFormats(videoInfo, waveFormat)) {
    return kInvalidArgument;
  }
  if (avformat_alloc_output_context2(&format, nullptr, "avi", path.c_str()) < 0) {
    return kOutOfMemory;
  }
  // Packets reach the file as they are written, so a recording whose
  // process is killed keeps every frame up to the last flush.
  format->flags |= AVFMT_FLAG_FLUSH_PACKETS;
  format->flush_packets = 1;
  videoStream = avformat_new_stream(format, nullptr);
  audioStream = avformat_new_stream(format, nullptr);
  if (videoStream == nullptr || audioStream == nullptr) {
    return kOutOfMemory;
  }
  const VideoChoice* choice = nullptr;
  for (const VideoChoice& c : kVideoChoices) {
    if (videoMoniker != nullptr && *videoMoniker == c.moniker) {
      choice = &c;
    }
  }
  if (choice == nullptr) {
    DescribeRawVideo();
  } else if (const MediaResult opened = OpenVideo(*choice); opened != kOk) {
    return opened;
  }
  int frameRateNum = 0;
  int frameRateDen = 0;
  av_reduce(&frameRateNum, &frameRateDen, frameDuration, kUnitsPerSecond, INT_MAX);
  videoStream->time_base = {frameRateNum, frameRateDen};
  videoStream->avg_frame_rate = av_inv_q(videoStream->time_base);
  if (const MediaResult opened = OpenAudio(adpcm); opened != kOk) {
    return opened;
  }
  return OpenFile(path);
}

bool MediaConvert::Writer::ReadFormats(std::span<const uint8_t> videoInfo,
                                       std::span<const uint8_t> waveFormat) {
  frameDuration = static_cast<int64_t>(LoadLe32(videoInfo.data() + 40)) |
                  static_cast<int64_t>(LoadLe32(videoInfo.data() + 44)) << 32;
  width = static_cast<int32_t>(LoadLe32(videoInfo.data() + 52));
  height = static_cast<int32_t>(LoadLe32(videoInfo.data() + 56));
  const uint16_t bits = LoadLe16(videoInfo.data() + 62);
  const uint32_t compression = LoadLe32(videoInfo.data() + 64);
  if (frameDuration <= 0 || width <= 0 || width > 8192 || height == 0 || height > 8192 ||
      height < -8192 || bits != 24 || compression != 0 || width % 2 != 0 || height % 2 != 0) {
    return false;
  }
  return LoadLe16(waveFormat.data() + 0) == 1 &&
         LoadLe16(waveFormat.data() + 2) == kAudioChannels &&
         LoadLe32(waveFormat.data() + 4) == kAudioSampleRate &&
         LoadLe16(waveFormat.data() + 14) == 16;
}

void MediaConvert::Writer::DescribeRawVideo() {
  // A DIB stream: the rows go in as they come, bottom-up when the height is
  // positive.
  const int absHeight = height < 0 ? -height : height;
  AVCodecParameters* par = videoStream->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_RAWVIDEO;
  par->codec_tag = 0;
  par->format = AV_PIX_FMT_BGR24;
  par->bits_per_coded_sample = 24;
  par->width = width;
  par->height = absHeight;
  par->bit_rate = static_cast<int64_t>(width) * absHeight * 24 * kUnitsPerSecond / frameDuration;
  av_opt_set_int(format->priv_data, "flipped_raw_rgb", height > 0 ? 1 : 0, 0);
}

MediaResult MediaConvert::Writer::OpenVideo(const VideoChoice& choice) {
  const int absHeight = height < 0 ? -height : height;
  const AVCodec* encoder = avcodec_find_encoder_by_name(choice.encoder);
  videoCodec.reset(encoder == nullptr ? nullptr : avcodec_alloc_context3(encoder));
  if (videoCodec == nullptr) {
    return kFail;
  }
  AVCodecContext* c = videoCodec.get();
  c->width = width;
  c->height = absHeight;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  // MPEG-4 carries its clock in 16 bits, so the encoder gets the nearest
  // such rate; the file's own rate stays exact, and pts count frames.
  int num = 0;
  int den = 0;
  av_reduce(&num, &den, frameDuration, kUnitsPerSecond, 65535);
  c->time_base = {num, den};
  c->framerate = {den, num};
  c->gop_size = kKeyFrameInterval;
  c->max_b_frames = 0;
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * choice.quantiser;
  c->codec_tag = choice.tag;
  if (avcodec_open2(c, encoder, nullptr) < 0) {
    return kFail;
  }
  avcodec_parameters_from_context(videoStream->codecpar, c);
  videoStream->codecpar->codec_tag = choice.tag;
  picture.reset(av_frame_alloc());
  toYuv.reset(sws_getContext(width, absHeight, AV_PIX_FMT_BGR24, width, absHeight,
                             AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (picture == nullptr || toYuv == nullptr) {
    return kOutOfMemory;
  }
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = width;
  picture->height = absHeight;
  return av_frame_get_buffer(picture.get(), 0) < 0 ? kOutOfMemory : kOk;
}

MediaResult MediaConvert::Writer::OpenAudio(bool adpcm) {
  const AVCodec* audioEncoder = avcodec_find_encoder_by_name(adpcm ? "adpcm_ms" : "pcm_s16le");
  audioCodec.reset(audioEncoder == nullptr ? nullptr : avcodec_alloc_context3(audioEncoder));
  if (audioCodec == nullptr) {
    return kFail;
  }
  AVCodecContext* a = audioCodec.get();
  a->sample_fmt = AV_SAMPLE_FMT_S16;
  a->sample_rate = kAudioSampleRate;
  av_channel_layout_default(&a->ch_layout, kAudioChannels);
  a->time_base = {1, kAudioSampleRate};
  if (avcodec_open2(a, audioEncoder, nullptr) < 0) {
    return kFail;
  }
  if (adpcm) {
    // The muxer writes bit_rate / 8 as the average byte rate; left at 0 it
    // writes a made-up one and players get the duration wrong.
    a->bit_rate = static_cast<int64_t>(kAudioSampleRate) * a->block_align * 8 / a->frame_size;
  }
  avcodec_parameters_from_context(audioStream->codecpar, a);
  audioStream->time_base = {1, kAudioSampleRate};
  fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, kAudioChannels, kAudioSampleRate));
  sound.reset(av_frame_alloc());
  return fifo == nullptr || sound == nullptr ? kOutOfMemory : kOk;
}

MediaResult MediaConvert::Writer::OpenFile(const std::string& path) {
  if (const int opened = avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE); opened < 0) {
    Trace("media: cannot open %s: %d", path.c_str(), opened);
    return opened == AVERROR(ENOSPC) || opened == AVERROR(EFBIG) ? FromAvError(opened) : kFail;
  }
  if (const int written = avformat_write_header(format, nullptr); written < 0) {
    return FromAvError(written);
  }
  avio_flush(format->pb);
  if (format->pb->error < 0) {
    return FromAvError(format->pb->error);
  }
  filePath = path;
  completeBytes = avio_tell(format->pb);
  chunkBytes = completeBytes;
  room.Reset(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (rlimit limit{}; getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    sizeLimit = limit.rlim_cur;
  }
  return kOk;
}

// A full disk must not cut a chunk or leave the index without room: the
// trailer would then fail too, and the headers keep their placeholders (no
// frame count, no sizes). So the room for a packet and its share of the
// index is allocated before the muxer gets it; when none is left, the
// recording ends after the last whole packet and the trailer writes into
// the room kept for it. False, with errno, when the room cannot be had.
bool MediaConvert::Writer::Reserve(int64_t packetBytes) {
  const int64_t chunks = chunkBytes + packetBytes + kChunkOverhead;
  const int64_t perPacket =
      kIndexBytesPerPacket + (chunks >= kOpenDmlFrom ? kOpenDmlIndexBytesPerPacket : int64_t{0});
  const int64_t need = chunks + (packets + 1) * perPacket + kIndexHeaderBytes;
  if (room.Valid() && need > allocated) {
    // A file-size limit stops the file as a full disk would, but only a
    // write past it would tell.
    if (sizeLimit != RLIM_INFINITY && need > static_cast<int64_t>(sizeLimit)) {
      errno = EFBIG;
      return false;
    }
    const int64_t ahead = sizeLimit == RLIM_INFINITY
                              ? need + kReserveStep
                              : std::min(need + kReserveStep, static_cast<int64_t>(sizeLimit));
    if (fallocate(room.Get(), FALLOC_FL_KEEP_SIZE, allocated, ahead - allocated) == 0) {
      allocated = ahead;
    } else if (errno == EOPNOTSUPP || errno == ENOSYS) {
      room.Reset();  // writes go on unguarded; a failure cuts back instead
    } else if (fallocate(room.Get(), FALLOC_FL_KEEP_SIZE, allocated, need - allocated) == 0) {
      allocated = need;
    } else {
      return false;
    }
  }
  chunkBytes = chunks;
  ++packets;
  return true;
}

MediaResult MediaConvert::Writer::Write(AVPacket* out, AVStream* stream, AVRational timeBase) {
  if (!Reserve(out->size)) {
    error = FromAvError(AVERROR(errno));
    Trace("media: no room for the next packet: %s", std::strerror(errno));
    av_packet_unref(out);
    return error;
  }
  out->stream_index = stream->index;
  av_packet_rescale_ts(out, timeBase, stream->time_base);
  const int written = av_interleaved_write_frame(format, out);
  if (written < 0) {
    error = FromAvError(written);
    Trace("media: writing failed (%d)", written);
  } else if (format->pb->error == 0) {
    completeBytes = avio_tell(format->pb);  // packets are flushed as written
  }
  return error;
}

MediaResult MediaConvert::Writer::Encode(AVCodecContext* codec, AVStream* stream,
                                         const AVFrame* frame, AVRational packetBase) {
  if (avcodec_send_frame(codec, frame) < 0) {
    return kFail;
  }
  for (;;) {
    const int received = avcodec_receive_packet(codec, packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
      return kOk;
    }
    if (received < 0) {
      return kFail;
    }
    if (stream == videoStream) {
      packet->duration = 1;  // pts counts frames already
    }
    if (Failed(Write(packet.get(), stream, packetBase))) {
      return error;
    }
  }
}

MediaResult MediaConvert::Writer::Video(const MediaSample& sample) {
  const int absHeight = height < 0 ? -height : height;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const std::span<const uint8_t> rows = sample.Data();
  if (rows.size() < rowBytes * static_cast<size_t>(absHeight)) {
    return kInvalidArgument;
  }
  // The sample's start time places it; a frame never goes before the last.
  const int64_t pts =
      std::max(nextVideoPts, (sample.TimeStart() + frameDuration / 2) / frameDuration);
  nextVideoPts = pts + 1;
  if (videoCodec == nullptr) {
    if (av_new_packet(packet.get(), static_cast<int>(rowBytes) * absHeight) < 0) {
      return kOutOfMemory;
    }
    std::memcpy(packet->data, rows.data(), rowBytes * static_cast<size_t>(absHeight));
    packet->pts = packet->dts = pts;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    return Write(packet.get(), videoStream, videoStream->time_base);
  }
  if (av_frame_make_writable(picture.get()) < 0) {
    return kOutOfMemory;
  }
  // Bottom-up rows are read from the last one up with a negative stride.
  const uint8_t* source = height > 0 ? rows.data() + rowBytes * (absHeight - 1) : rows.data();
  const int stride = height > 0 ? -static_cast<int>(rowBytes) : static_cast<int>(rowBytes);
  sws_scale(toYuv.get(), &source, &stride, 0, absHeight, picture->data, picture->linesize);
  picture->pts = pts;
  picture->quality = videoCodec->global_quality;
  return Encode(videoCodec.get(), videoStream, picture.get(), videoStream->time_base);
}

MediaResult MediaConvert::Writer::EncodeAudioBlocks(bool flush) {
  AVCodecContext* a = audioCodec.get();
  // PCM takes any length; ADPCM whole blocks of frame_size audio frames.
  const int block = a->frame_size > 0 ? a->frame_size : 4096;
  while (av_audio_fifo_size(fifo.get()) >= block || (flush && av_audio_fifo_size(fifo.get()) > 0)) {
    int frames = std::min(block, av_audio_fifo_size(fifo.get()));
    const int available = frames;
    if (a->frame_size > 0) {
      frames = block;  // the last block is padded with silence
    }
    sound->nb_samples = frames;
    sound->format = AV_SAMPLE_FMT_S16;
    sound->sample_rate = kAudioSampleRate;
    av_channel_layout_copy(&sound->ch_layout, &a->ch_layout);
    if (av_frame_get_buffer(sound.get(), 0) < 0) {
      return kOutOfMemory;
    }
    std::memset(sound->data[0], 0, static_cast<size_t>(frames) * kAudioBytesPerFrame);
    av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(sound->data), available);
    sound->pts = audioPts;
    audioPts += frames;
    const MediaResult encoded = Encode(a, audioStream, sound.get(), a->time_base);
    av_frame_unref(sound.get());
    if (Failed(encoded)) {
      return encoded;
    }
  }
  return kOk;
}

MediaResult MediaConvert::Writer::Audio(const MediaSample& sample) {
  // The start time places the sound: a gap before it is filled with silence.
  const int64_t at = sample.TimeStart() * kAudioSampleRate / kUnitsPerSecond;
  if (at > audioQueued) {
    std::vector<uint8_t> silence(static_cast<size_t>(at - audioQueued) * kAudioBytesPerFrame, 0);
    void* planes[] = {silence.data()};
    av_audio_fifo_write(fifo.get(), planes, static_cast<int>(at - audioQueued));
    audioQueued = at;
  }
  const std::span<const uint8_t> data = sample.Data();
  const int frames = static_cast<int>(data.size() / kAudioBytesPerFrame);
  void* planes[] = {const_cast<uint8_t*>(data.data())};
  if (frames > 0 && av_audio_fifo_write(fifo.get(), planes, frames) < frames) {
    return kOutOfMemory;
  }
  audioQueued += frames;
  return EncodeAudioBlocks(false);
}

// After a failed write (full disk, size limit) the file ends in part of a
// chunk and the output refuses every further byte, the trailer's too. The
// part is cut off and the output told to go on from the last whole chunk,
// so the trailer can still set the sizes and counts; its index may then
// list the few packets that never reached the file.
void MediaConvert::Writer::CutToLastChunk() {
  AVIOContext* out = format->pb;
  if (out == nullptr || filePath.empty()) {
    return;
  }
  // Packets still waiting to be interleaved go nowhere while the error stands.
  for (int waiting = 0; waiting < 1000 && av_interleaved_write_frame(format, nullptr) < 0;
       ++waiting) {
  }
  avio_flush(out);
  if (truncate(filePath.c_str(), completeBytes) != 0) {
    Trace("media: cannot cut %s back: %s", filePath.c_str(), std::strerror(errno));
    return;
  }
  out->error = 0;
  if (avio_seek(out, completeBytes, SEEK_SET) < 0) {
    out->error = AVERROR(EIO);
  }
}

MediaResult MediaConvert::Writer::Finish() {
  finished = true;
  if (!Failed(error)) {
    EncodeAudioBlocks(true);
    Encode(audioCodec.get(), audioStream, nullptr, audioCodec->time_base);
    if (videoCodec != nullptr) {
      Encode(videoCodec.get(), videoStream, nullptr, videoStream->time_base);
    }
  }
  // A write that failed where no room was kept ends in part of a chunk.
  if (format->pb->error < 0) {
    CutToLastChunk();
  }
  // The trailer writes the index and the real sizes into the headers.
  const int trailer = av_write_trailer(format);
  avio_flush(format->pb);
  // The room kept past the end goes back to the disk.
  if (struct stat written{};
      room.Valid() && fstat(room.Get(), &written) == 0 && allocated > written.st_size) {
    fallocate(room.Get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, written.st_size,
              allocated - written.st_size);
  }
  if (Failed(error)) {
    return error;
  }
  if (trailer < 0 || format->pb->error < 0) {
    return FromAvError(trailer < 0 ? trailer : format->pb->error);
  }
  return kOk;
}

void RouteFfmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    av_log_set_callback([](void* object, int level, const char* format, va_list arguments) {
      if (level > AV_LOG_WARNING) {
        return;
      }
      char line[512];
      int prefix = 1;
      av_log_format_line2(object, level, format, arguments, line, sizeof line, &prefix);
      line[std::strcspn(line, "\n")] = '\0';
      Trace("ffmpeg: %s", line);
    });
  });
}

MediaConvert::MediaConvert(EncoderAvailable available)
    : videoCompressors_(Served(available, true)), audioCompressors_(Served(available, false)) {
  RouteFfmpegLog();
}

MediaConvert::~MediaConvert() {
  if (source_ != nullptr && source_->convert_ == this) {
    source_->convert_ = nullptr;
  }
}

MediaResult MediaConvert::SetSourceObject(SampleSource* source) {
  if (source == nullptr || writer_ != nullptr) {
    return kInvalidArgument;
  }
  source_ = source;
  return kOk;
}

MediaResult MediaConvert::SetTargetFile(std::string_view path) {
  if (path.empty() || writer_ != nullptr) {
    return kInvalidArgument;
  }
  path_ = path;
  return kOk;
}

MediaResult MediaConvert::SetTargetFormat(int format) {
  return format == 0 ? kOk : kInvalidArgument;  // AVI only
}

MediaResult MediaConvert::StartConvert() {
  if (source_ == nullptr || path_.empty() || writer_ != nullptr) {
    return kNotStarted;
  }
  const MediaType* audio = source_->StreamType(0);
  const MediaType* video = source_->StreamType(1);
  if (audio == nullptr || video == nullptr || !SameGuid(video->Type(), kMediaTypeVideo) ||
      !SameGuid(video->Subtype(), kMediaSubtypeRgb24) ||
      !SameGuid(video->FormatType(), kFormatVideoInfo) ||
      video->FormatData().size() != kVideoInfoBytes || !SameGuid(audio->Type(), kMediaTypeAudio) ||
      !SameGuid(audio->Subtype(), kMediaSubtypePcm) ||
      !SameGuid(audio->FormatType(), kFormatWaveFormatEx) ||
      audio->FormatData().size() != kWaveFormatBytes) {
    return kInvalidArgument;
  }
  auto writer = std::make_unique<Writer>();
  const MediaResult opened =
      writer->Open(path_, videoCompressors_.Selected(), audioCompressors_.Selected() != nullptr,
                   video->FormatData(), audio->FormatData());
  if (Failed(opened)) {
    writer->finished = true;  // nothing to complete
    return opened;
  }
  writer_ = std::move(writer);
  source_->convert_ = this;
  return kOk;
}

MediaResult MediaConvert::StopConvert() {
  if (writer_ == nullptr) {
    return kNotStarted;
  }
  const MediaResult finished = writer_->Finish();
  writer_.reset();
  source_->convert_ = nullptr;
  return finished;
}

MediaResult MediaConvert::Deliver(int stream, const MediaSample& sample) {
  if (writer_ == nullptr) {
    return kNotStarted;
  }
  if (Failed(writer_->error)) {
    return writer_->error;
  }
  const MediaResult delivered = stream == 1 ? writer_->Video(sample) : writer_->Audio(sample);
  // A write error is the file's state, reported when the next buffer is
  // asked for; the sample itself was taken.
  return delivered == writer_->error ? kOk : delivered;
}

MediaResult MediaConvert::WriterState() const {
  return writer_ == nullptr ? kNotStarted : writer_->error;
}

}  // namespace rd420::media
