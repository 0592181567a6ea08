#include "platform/imaging.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <tuple>
#include <vector>

namespace rd420 {
namespace {

using Bytes = std::vector<uint8_t>;

void PutU32(Bytes& bytes, size_t at, int64_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

Bytes DibHeader(int width, int height) {
  Bytes header(40, 0);
  PutU32(header, 0, 40);
  PutU32(header, 4, width);
  PutU32(header, 8, height);
  header[12] = 1;   // biPlanes
  header[14] = 24;  // biBitCount
  return header;
}

Bytes Counting(size_t count) {
  Bytes bytes(count);
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

Bytes Copy(std::span<const uint8_t> bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

// Catches: bottom-up rows copied as they come, so the picture lands upside down.
TEST(ImagingBitmap, BottomUpDibIsTurnedTopDown) {
  ImagingBitmap bitmap;
  ASSERT_TRUE(bitmap.Create(4, 2, 24));
  ASSERT_TRUE(bitmap.ConvertFromDib(DibHeader(4, 2), Counting(24)));
  EXPECT_EQ(Copy(bitmap.Row(0)), Bytes({13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}));
  EXPECT_EQ(Copy(bitmap.Row(1)), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

// Catches: a negative height read as bottom-up or as a size mismatch.
TEST(ImagingBitmap, TopDownDibKeepsRowOrder) {
  ImagingBitmap bitmap;
  ASSERT_TRUE(bitmap.Create(4, 2, 24));
  ASSERT_TRUE(bitmap.ConvertFromDib(DibHeader(4, -2), Counting(24)));
  EXPECT_EQ(Copy(bitmap.Pixels()), Counting(24));
}

// Catches: DIB rows read without their 4-byte padding, or the padding copied in.
TEST(ImagingBitmap, PaddedDibRowsSkipThePadding) {
  ImagingBitmap bitmap;
  ASSERT_TRUE(bitmap.Create(3, 2, 24));
  Bytes dib(24, 0xEE);  // two rows of 9 bytes and 3 padding
  std::iota(dib.begin(), dib.begin() + 9, uint8_t{10});
  std::iota(dib.begin() + 12, dib.begin() + 21, uint8_t{30});
  ASSERT_TRUE(bitmap.ConvertFromDib(DibHeader(3, 2), dib));
  EXPECT_EQ(Copy(bitmap.Pixels()),
            Bytes({30, 31, 32, 33, 34, 35, 36, 37, 38, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
}

// Catches: a header, size or pixel count the bitmap cannot take being accepted, or a
// rejected DIB writing some of its rows in.
TEST(ImagingBitmap, RejectsWhatItCannotHold) {
  using Spoil = std::function<void(Bytes & header, Bytes & pixels)>;
  const std::vector<std::pair<const char*, Spoil>> spoiled = {
      {"biSize 12", [](Bytes& h, Bytes&) { PutU32(h, 0, 12); }},
      {"32 bpp", [](Bytes& h, Bytes&) { h[14] = 32; }},
      {"compression 1", [](Bytes& h, Bytes&) { PutU32(h, 16, 1); }},
      {"width differs", [](Bytes& h, Bytes&) { PutU32(h, 4, 8); }},
      {"height differs", [](Bytes& h, Bytes&) { PutU32(h, 8, -3); }},
      {"pixels one short", [](Bytes&, Bytes& p) { p.pop_back(); }},
      {"header one short", [](Bytes& h, Bytes&) { h.pop_back(); }},
  };
  ImagingBitmap unspoilt;  // else every rejection below would prove nothing
  ASSERT_TRUE(unspoilt.Create(4, 2, 24));
  ASSERT_TRUE(unspoilt.ConvertFromDib(DibHeader(4, 2), Counting(24)));
  for (const auto& [what, spoil] : spoiled) {
    SCOPED_TRACE(what);
    ImagingBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(4, 2, 24));
    Bytes header = DibHeader(4, 2), pixels = Counting(24);
    spoil(header, pixels);
    EXPECT_FALSE(bitmap.ConvertFromDib(header, pixels));
    EXPECT_EQ(Copy(bitmap.Pixels()), Bytes(24, 0)) << "a rejected DIB changed the bitmap";
  }
  using Size = std::tuple<int, int, int>;
  for (const auto& [width, height, bpp] : {Size{4, 2, 8}, Size{0, 2, 24}, Size{4, 16385, 24}}) {
    ImagingBitmap bitmap;
    EXPECT_FALSE(bitmap.Create(width, height, bpp)) << width << "x" << height << "x" << bpp;
    EXPECT_TRUE(bitmap.Empty());
  }
}

// Catches: Free leaving the size or pixels behind, or a freed bitmap taking a DIB.
TEST(ImagingBitmap, FreedBitmapIsEmptyAndTakesNoDib) {
  ImagingBitmap bitmap;
  ASSERT_TRUE(bitmap.Create(4, 2, 24));
  bitmap.Free();
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_EQ(bitmap.Width() + bitmap.Height(), 0);
  EXPECT_FALSE(bitmap.ConvertFromDib(DibHeader(4, 2), Counting(24)));
  EXPECT_TRUE(bitmap.Pixels().empty());
}

}  // namespace
}  // namespace rd420
