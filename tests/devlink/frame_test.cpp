#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "devlink/convert_frame.h"
#include "devlink/frame_bitmap.h"
#include "platform/byte_order.h"
#include "wire/frame_format.h"

namespace rd420 {
namespace {

// Catches: a wrong width, height or resolution word for one of the camera's
// four frame shapes.
TEST(FrameFormat, SizesAndResolutionWords) {
  EXPECT_EQ(FrameSize(true, Resolution::kFull), 2457600u);
  EXPECT_EQ(FrameSize(true, Resolution::kHalf), 614400u);
  EXPECT_EQ(FrameSize(false, Resolution::kFull), 1843200u);
  EXPECT_EQ(FrameSize(false, Resolution::kHalf), 460800u);
  EXPECT_EQ(FrameGeometryFor(false, Resolution::kHalf).height, 360);
  EXPECT_EQ(ResolutionForMode(kModeOneToOne), Resolution::kFull);
  EXPECT_EQ(ResolutionForMode(kModeFullScreen), Resolution::kFull);
  EXPECT_EQ(ResolutionForMode(kModeHalf), Resolution::kHalf);
  EXPECT_EQ(ResolutionCommand(Resolution::kFull), 0x00310000u);
  EXPECT_EQ(ResolutionCommand(Resolution::kHalf), 0x00310001u);
}

using ConvertFunction = void (*)(uint8_t*, const uint8_t*, size_t);

struct ConvertPath {
  const char* name;
  ConvertFunction convert;
};

class ConvertFrameTest : public ::testing::TestWithParam<ConvertPath> {
 protected:
  void SetUp() override {
#if RD420_X86_SIMD
    if (GetParam().convert == ConvertFrameAvx2 && !CpuHasAvx2()) {
      GTEST_SKIP() << "no AVX2 on this processor";
    }
#endif
  }
  std::vector<uint8_t> Convert(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out(in.size() / 4 * 6);
    GetParam().convert(out.data(), in.data(), in.size());
    return out;
  }
};

// Catches: a chroma sample read from the wrong byte of the V,Y,U,Y group,
// a missed clamp, or a logical instead of an arithmetic shift.
TEST_P(ConvertFrameTest, HandComputedGroups) {
  // Each case is put at several places of a long row so every lane of the
  // vector paths is checked, not only the scalar tail.
  const struct {
    std::vector<uint8_t> group;
    std::vector<uint8_t> bgr;
  } cases[] = {
      {{0x80, 0x80, 0x80, 0x80}, {0x80, 0x80, 0x80, 0x80, 0x80, 0x80}},
      {{0x80, 0x00, 0x80, 0xFF}, {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}},
      {{0xFF, 0x80, 0x80, 0x80}, {128, 37, 255, 128, 37, 255}},
      {{0x00, 0x00, 0x00, 0x00}, {0, 135, 0, 0, 135, 0}},
      // u = 127: blue (256 * 0 + 454 * 127) >> 8 = 225; green (-88 * 127) >> 8
      // = -44 (rounded down from -43.7), clamped to 0.
      {{0x80, 0x00, 0xFF, 0x10}, {225, 0, 0, 241, 0, 16}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> in;
    for (int i = 0; i < 37; ++i) {
      in.insert(in.end(), c.group.begin(), c.group.end());
    }
    const std::vector<uint8_t> out = Convert(in);
    for (size_t pixel = 0; pixel < out.size(); pixel += 6) {
      ASSERT_EQ(std::vector<uint8_t>(out.begin() + pixel, out.begin() + pixel + 6), c.bgr)
          << "group " << pixel / 6;
    }
  }
}

// Catches: a write past length / 4 * 6 bytes, a remainder of 1..3 bytes
// converted, or a vector step that mishandles unaligned pointers.
TEST_P(ConvertFrameTest, LengthsAndAlignmentsMatchTheReference) {
  std::mt19937 random(42);
  std::vector<uint8_t> source(4096 + 64);
  for (uint8_t& byte : source) {
    byte = static_cast<uint8_t>(random());
  }
  for (size_t length : {0, 1, 3, 4, 7, 31, 32, 33, 63, 64, 65, 95, 127, 128, 130, 1001, 4096}) {
    for (size_t offset : {0, 1, 3}) {
      const uint8_t* in = source.data() + offset;
      const size_t written = length / 4 * 6;
      std::vector<uint8_t> expected(written + 64 + offset, 0xFF);
      std::vector<uint8_t> actual(written + 64 + offset, 0xFF);
      ConvertFrameReference(expected.data() + offset, in, length);
      GetParam().convert(actual.data() + offset, in, length);
      ASSERT_EQ(expected, actual) << "length " << length << " offset " << offset;
      ASSERT_EQ(actual[offset + written], 0xFF);
    }
  }
}

// The vector paths and the dispatcher, which the reference defines.
class ConvertFrameFastPathTest : public ConvertFrameTest {};

// Catches: any (V, Y, U) combination, on either pixel of a group, for which
// the fast path differs from the formula by even one bit.
TEST_P(ConvertFrameFastPathTest, EveryInputMatchesTheReference) {
  // Group i holds V = i >> 16, Y0 = (i >> 8) & 255, U = i & 255 and
  // Y1 = 255 - Y0, so each pixel position sees all 2^24 combinations.
  constexpr size_t kGroups = size_t{1} << 24;
  std::vector<uint8_t> in(kGroups * 4);
  for (size_t i = 0; i < kGroups; ++i) {
    in[4 * i] = static_cast<uint8_t>(i >> 16);
    in[4 * i + 1] = static_cast<uint8_t>(i >> 8);
    in[4 * i + 2] = static_cast<uint8_t>(i);
    in[4 * i + 3] = static_cast<uint8_t>(255 - (i >> 8));
  }
  std::vector<uint8_t> expected(kGroups * 6);
  ConvertFrameReference(expected.data(), in.data(), in.size());
  const std::vector<uint8_t> actual = Convert(in);
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), actual.begin());
  EXPECT_TRUE(mismatch.first == expected.end())
      << "first difference in group " << (mismatch.first - expected.begin()) / 6;
}

const ConvertPath kFastPaths[] = {
#if RD420_X86_SIMD
    {"Sse2", ConvertFrameSse2},
    {"Avx2", ConvertFrameAvx2},
#endif
    {"Chosen", ConvertFrame}};
std::string PathName(const ::testing::TestParamInfo<ConvertPath>& path) {
  return path.param.name;
}

INSTANTIATE_TEST_SUITE_P(Reference, ConvertFrameTest,
                         ::testing::Values(ConvertPath{"Reference", ConvertFrameReference}),
                         PathName);
INSTANTIATE_TEST_SUITE_P(Paths, ConvertFrameTest, ::testing::ValuesIn(kFastPaths), PathName);
INSTANTIATE_TEST_SUITE_P(Paths, ConvertFrameFastPathTest, ::testing::ValuesIn(kFastPaths),
                         PathName);

// Catches: a header field a BMP reader or printer relies on written wrong,
// or a frame length with a stray byte converting past the pixels.
TEST(FrameBitmap, HeaderAndPixels) {
  FrameBitmap bitmap(FrameBitmap::kStillPelsPerMeter);
  ASSERT_TRUE(bitmap.Allocate(FrameGeometryFor(true, Resolution::kFull)));
  const uint8_t* header = bitmap.Block().data();
  EXPECT_EQ(bitmap.Block().size(), 40u + 1280 * 960 * 3);
  EXPECT_EQ(LoadLe32(header), 40u);
  EXPECT_EQ(LoadLe32(header + 4), 1280u);
  EXPECT_EQ(LoadLe32(header + 8), 960u);
  EXPECT_EQ(LoadLe16(header + 12), 1);
  EXPECT_EQ(LoadLe16(header + 14), 24);
  EXPECT_EQ(LoadLe32(header + 16), 0u);
  EXPECT_EQ(LoadLe32(header + 20), 1280u * 960 * 3);
  EXPECT_EQ(LoadLe32(header + 24), 2834u);
  EXPECT_EQ(LoadLe32(header + 28), 2834u);
  EXPECT_EQ(LoadLe32(header + 32), 0u);
  EXPECT_EQ(LoadLe32(header + 36), 0u);

  std::vector<uint8_t> frame(2457601, 0x80);
  frame[2] = 0xFF;  // first group: U = 255 turns its pixels blue
  bitmap.ConvertFrom(frame);
  EXPECT_EQ(bitmap.Pixels()[0], 255);
  EXPECT_EQ(bitmap.Pixels()[3], 255);
  EXPECT_EQ(bitmap.Pixels()[6], 0x80);
  EXPECT_EQ(bitmap.Pixels().back(), 0x80);

  FrameBitmap display(FrameBitmap::kDisplayPelsPerMeter);
  ASSERT_TRUE(display.Allocate(FrameGeometryFor(false, Resolution::kHalf)));
  EXPECT_EQ(LoadLe32(display.Block().data() + 8), 360u);
  EXPECT_EQ(LoadLe32(display.Block().data() + 24), 0u);
}

}  // namespace
}  // namespace rd420
