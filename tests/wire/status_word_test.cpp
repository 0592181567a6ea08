#include "wire/status_word.h"

#include <gtest/gtest.h>

namespace rd420 {
namespace {

// Catches: the handler acting on words without the echo and validity bits.
TEST(StatusWord, ValidOnlyWithAllOf0x61800000) {
  EXPECT_TRUE(IsValidStatus(0x61802000));
  EXPECT_TRUE(IsValidStatus(0x61C02804));
  EXPECT_FALSE(IsValidStatus(0x61002000));  // bit 23 clear
  EXPECT_FALSE(IsValidStatus(0x60802000));  // echo incomplete
  EXPECT_FALSE(IsValidStatus(0x00000000));
}

// Catches: the resolution check reading the wrong bits in either aspect.
TEST(StatusWord, AspectChangeInEitherMode) {
  EXPECT_TRUE(AspectChanged(true, 0x61C02000));  // 4:3 camera now 16:9
  EXPECT_FALSE(AspectChanged(true, 0x61802000));
  EXPECT_FALSE(AspectChanged(true, 0x00000000));  // invalid word is no change in 4:3
  EXPECT_TRUE(AspectChanged(false, 0x00000000));  // but is one in 16:9
  EXPECT_TRUE(AspectChanged(false, 0x61802000));
  EXPECT_FALSE(AspectChanged(false, 0x61C02000));
  EXPECT_TRUE(IsAspect43(0x61802000));
  EXPECT_FALSE(IsAspect43(0x61C02000));
}

// Catches: a decoded bit that contradicts the word.
TEST(StatusWord, DescriptionFollowsEachBit) {
  const auto lit = DescribeStatus(0x61802804);
  const auto dark = DescribeStatus(0x61800400);
  auto has = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has(lit, "bit 11 freeze: on"));
  EXPECT_TRUE(has(lit, "bit 2 lamp: on"));
  EXPECT_TRUE(has(lit, "bit 10 aperture: on"));
  EXPECT_TRUE(has(lit, "bit 13 function commands: accepted"));
  EXPECT_TRUE(has(dark, "bit 11 freeze: off"));
  EXPECT_TRUE(has(dark, "bit 10 aperture: off"));
  EXPECT_TRUE(has(dark, "bit 13 function commands: not accepted"));
  EXPECT_TRUE(has(DescribeStatus(0x00000000), "bits 31-24 poll echo 0x00: not a status reply"));
}

}  // namespace
}  // namespace rd420
