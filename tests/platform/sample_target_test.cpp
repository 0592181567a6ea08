#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/media.h"

namespace rd420::media {
namespace {

// Catches: sound that the target changes (resampled, sped up) when more
// of it waits than one sample takes, or samples that do not follow on.
TEST(SampleTarget, HandsOutTheSoundAsCapturedWhateverWaits) {
  SampleTarget target;
  target.SetSampleDuration(100.0 / kAudioSampleRate);  // 100 audio frames a sample
  std::vector<int16_t> captured(400 * kAudioChannels);
  for (size_t i = 0; i < captured.size(); ++i) {
    captured[i] = static_cast<int16_t>(i * 37);
  }
  target.Append(captured);
  for (size_t sample = 0; sample < 3; ++sample) {
    MediaSample out;
    ASSERT_EQ(target.GetSample(0, &out), kOk);
    ASSERT_EQ(out.Data().size(), 100 * kAudioBytesPerFrame);
    EXPECT_EQ(std::memcmp(out.Data().data(), captured.data() + sample * 200, out.Data().size()), 0)
        << sample;
  }
  EXPECT_EQ(target.Discard(1000), 100u);
  EXPECT_EQ(target.QueuedSeconds(), 0);
}

}  // namespace
}  // namespace rd420::media
