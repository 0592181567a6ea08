#include "support/avi_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace rd420::test {

uint32_t FourCc(const char (&code)[5]) {
  return MKTAG(code[0], code[1], code[2], code[3]);
}

namespace {

struct Decoder {
  AVCodecContext* context = nullptr;
  ~Decoder() { avcodec_free_context(&context); }
  bool Open(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    context = codec == nullptr ? nullptr : avcodec_alloc_context3(codec);
    return context != nullptr && avcodec_parameters_to_context(context, stream->codecpar) >= 0 &&
           avcodec_open2(context, codec, nullptr) >= 0;
  }
};

}  // namespace

AviContents ReadAvi(const std::string& path,
                    const std::function<void(int index, std::span<const uint8_t> bgr)>& frame) {
  AviContents contents;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
    return contents;
  }
  avformat_find_stream_info(format, nullptr);
  contents.opened = true;
  contents.streams = static_cast<int>(format->nb_streams);
  const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  Decoder video;
  Decoder audio;
  if (videoIndex >= 0) {
    const AVStream* s = format->streams[videoIndex];
    contents.video.codec = avcodec_get_name(s->codecpar->codec_id);
    contents.video.tag = s->codecpar->codec_tag;
    contents.video.width = s->codecpar->width;
    contents.video.height = s->codecpar->height;
    contents.video.frameDuration = av_rescale(10000000, s->time_base.num, s->time_base.den);
    video.Open(s);
  }
  if (audioIndex >= 0) {
    const AVStream* s = format->streams[audioIndex];
    contents.audio.codec = avcodec_get_name(s->codecpar->codec_id);
    contents.audio.tag = s->codecpar->codec_tag;
    contents.audio.sampleRate = s->codecpar->sample_rate;
    contents.audio.channels = s->codecpar->ch_layout.nb_channels;
    contents.audio.bitRate = s->codecpar->bit_rate;
    audio.Open(s);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* decoded = av_frame_alloc();
  SwsContext* toBgr = nullptr;
  std::vector<uint8_t> bgr;
  const auto drain = [&](Decoder& decoder, bool isVideo) {
    while (decoder.context != nullptr && avcodec_receive_frame(decoder.context, decoded) >= 0) {
      if (isVideo) {
        const int w = decoded->width;
        const int h = decoded->height;
        toBgr = sws_getCachedContext(toBgr, w, h, static_cast<AVPixelFormat>(decoded->format), w, h,
                                     AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
        bgr.resize(static_cast<size_t>(w) * h * 3);
        uint8_t* planes[] = {bgr.data()};
        const int strides[] = {w * 3};
        sws_scale(toBgr, decoded->data, decoded->linesize, 0, h, planes, strides);
        if (frame) {
          frame(contents.videoFrames, bgr);
        }
        ++contents.videoFrames;
      } else if (decoded->format == AV_SAMPLE_FMT_S16) {
        const auto* samples = reinterpret_cast<const int16_t*>(decoded->data[0]);
        contents.sound.insert(contents.sound.end(), samples,
                              samples + decoded->nb_samples * decoded->ch_layout.nb_channels);
      } else if (decoded->format == AV_SAMPLE_FMT_S16P) {
        for (int i = 0; i < decoded->nb_samples; ++i) {
          for (int c = 0; c < decoded->ch_layout.nb_channels; ++c) {
            contents.sound.push_back(reinterpret_cast<const int16_t*>(decoded->data[c])[i]);
          }
        }
      }
      av_frame_unref(decoded);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == videoIndex && video.context != nullptr) {
      avcodec_send_packet(video.context, packet);
      drain(video, true);
    } else if (packet->stream_index == audioIndex && audio.context != nullptr) {
      avcodec_send_packet(audio.context, packet);
      drain(audio, false);
    }
    av_packet_unref(packet);
  }
  for (Decoder* decoder : {&video, &audio}) {
    if (decoder->context != nullptr) {
      avcodec_send_packet(decoder->context, nullptr);
      drain(*decoder, decoder == &video);
    }
  }
  sws_freeContext(toBgr);
  av_frame_free(&decoded);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return contents;
}

}  // namespace rd420::test
