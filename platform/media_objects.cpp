// The small objects of a recording graph: media types, samples, compressor
// lists, the sample source and the sample target.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/media.h"

namespace rd420::media {
namespace {

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", hexadecimal digits in either case.
bool IsGuidString(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') {
    return false;
  }
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

MediaResult SetGuid(std::string& field, std::string_view guid) {
  if (!IsGuidString(guid)) {
    return kInvalidArgument;
  }
  field = guid;
  return kOk;
}

}  // namespace

MediaResult MediaType::SetType(std::string_view guid) {
  return SetGuid(type_, guid);
}
MediaResult MediaType::SetSubtype(std::string_view guid) {
  return SetGuid(subtype_, guid);
}
MediaResult MediaType::SetFormatType(std::string_view guid) {
  return SetGuid(formatType_, guid);
}
MediaResult MediaType::SetFormatData(std::span<const uint8_t> format) {
  if (format.empty()) {
    return kInvalidArgument;
  }
  format_.assign(format.begin(), format.end());
  return kOk;
}
MediaResult MediaType::SetFixedSizeSamples(bool) {
  return kOk;
}
MediaResult MediaType::SetSampleSize(uint32_t) {
  return kOk;
}

MediaResult MediaSample::SetData(std::span<const uint8_t> data) {
  own_.clear();
  data_ = data;
  return kOk;
}
MediaResult MediaSample::SetTime(int64_t start, int64_t stop) {
  if (stop < start) {
    return kInvalidArgument;
  }
  timeStart_ = start;
  return kOk;
}
MediaResult MediaSample::SetMediaTime(int64_t start, int64_t stop) {
  if (stop < start) {
    return kInvalidArgument;
  }
  return kOk;
}
MediaResult MediaSample::SetSyncPoint(bool) {
  return kOk;
}

MediaResult CompressorList::Find(std::string_view moniker, int* index) const {
  if (index == nullptr) {
    return kInvalidArgument;
  }
  *index = -1;
  for (size_t i = 0; i < monikers_.size(); ++i) {
    if (SameIgnoringCase(monikers_[i], moniker)) {
      *index = static_cast<int>(i);
    }
  }
  return kOk;
}

MediaResult CompressorList::SetSelection(int index) {
  if (index < -1 || index >= static_cast<int>(monikers_.size())) {
    return kInvalidArgument;
  }
  selection_ = index;
  return kOk;
}

const std::string* CompressorList::Selected() const {
  return selection_ < 0 ? nullptr : &monikers_[static_cast<size_t>(selection_)];
}

MediaResult SampleSource::SetStreamCount(int count) {
  if (count != 2) {
    return kInvalidArgument;  // one audio and one video stream, as recorded
  }
  streamCount_ = count;
  return kOk;
}

MediaResult SampleSource::SetMediaType(int stream, const MediaType& type) {
  if (stream < 0 || stream >= streamCount_) {
    return kInvalidArgument;
  }
  types_[stream] = type;
  typeSet_[stream] = true;
  return kOk;
}

const MediaType* SampleSource::StreamType(int stream) const {
  return stream >= 0 && stream < 2 && typeSet_[stream] ? &types_[stream] : nullptr;
}

MediaResult SampleSource::GetSampleBuffer(int stream, uint32_t, MediaSample* sample) {
  if (stream < 0 || stream >= streamCount_ || sample == nullptr) {
    return kInvalidArgument;
  }
  if (convert_ == nullptr) {
    return kNotStarted;
  }
  // The writer takes every sample at once, so a buffer is free unless the
  // file can take no more.
  const MediaResult state = convert_->WriterState();
  if (Failed(state)) {
    return state;
  }
  *sample = MediaSample();
  return kOk;
}

MediaResult SampleSource::DeliverSample(int stream, uint32_t, const MediaSample& sample) {
  if (stream < 0 || stream >= streamCount_) {
    return kInvalidArgument;
  }
  if (convert_ == nullptr) {
    return kNotStarted;
  }
  return convert_->Deliver(stream, sample);
}

struct SampleTarget::State {
  mutable std::mutex mutex;
  std::condition_variable arrived;
  std::deque<int16_t> queue;  // interleaved stereo
  double framesPerSample = 0;
  double carry = 0;
};

SampleTarget::SampleTarget() : state_(std::make_unique<State>()) {
}
SampleTarget::~SampleTarget() = default;

void SampleTarget::SetSampleDuration(double seconds) {
  std::lock_guard lock(state_->mutex);
  state_->framesPerSample = seconds * kAudioSampleRate;
}

MediaResult SampleTarget::GetSample(uint32_t timeoutMs, MediaSample* sample) {
  if (sample == nullptr) {
    return kInvalidArgument;
  }
  std::unique_lock lock(state_->mutex);
  State& s = *state_;
  if (s.framesPerSample <= 0) {
    return kNotStarted;
  }
  const double exact = s.framesPerSample + s.carry;
  const auto frames = static_cast<size_t>(std::floor(exact));
  const auto queued = [&] { return s.queue.size() / kAudioChannels; };
  if (!s.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return queued() >= frames; })) {
    return kTimeout;
  }
  s.carry = exact - static_cast<double>(frames);
  *sample = MediaSample();
  sample->own_.resize(frames * kAudioBytesPerFrame);
  std::copy_n(s.queue.begin(), frames * kAudioChannels,
              reinterpret_cast<int16_t*>(sample->own_.data()));
  s.queue.erase(s.queue.begin(),
                s.queue.begin() + static_cast<std::ptrdiff_t>(frames * kAudioChannels));
  return kOk;
}

size_t SampleTarget::Discard(size_t frames) {
  std::lock_guard lock(state_->mutex);
  const size_t gone = std::min(frames, state_->queue.size() / kAudioChannels);
  state_->queue.erase(state_->queue.begin(),
                      state_->queue.begin() + static_cast<std::ptrdiff_t>(gone * kAudioChannels));
  return gone;
}

void SampleTarget::Append(std::span<const int16_t> interleaved) {
  {
    std::lock_guard lock(state_->mutex);
    state_->queue.insert(state_->queue.end(), interleaved.begin(), interleaved.end());
  }
  state_->arrived.notify_all();
}

double SampleTarget::QueuedSeconds() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<double>(state_->queue.size() / kAudioChannels) / kAudioSampleRate;
}

}  // namespace rd420::media
