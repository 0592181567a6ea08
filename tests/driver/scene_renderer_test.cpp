#include "driver/scene_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace rd420::sim {
namespace {

struct Size {
  int width;
  int height;
};

constexpr Size kSizes[] = {{1280, 960}, {1280, 720}, {640, 480}, {640, 360}};

SceneSettings SettingsFor(Size size) {
  SceneSettings s;
  s.width = size.width;
  s.height = size.height;
  return s;
}

size_t FrameBytes(const SceneSettings& s) {
  return static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 2;
}

std::vector<uint8_t> RenderFrame(const SceneSettings& s, uint32_t sequence) {
  SceneRenderer renderer;
  std::vector<uint8_t> frame(FrameBytes(s));
  renderer.Render(s, sequence, frame);
  return frame;
}

struct Rgb {
  int r;
  int g;
  int b;
};

// Offset of the 4-byte group holding picture pixel (x, y), y = 0 at the top;
// the frame is stored bottom-up.
size_t GroupOffset(const SceneSettings& s, int x, int y) {
  return static_cast<size_t>(s.height - 1 - y) * static_cast<size_t>(s.width) * 2 +
         static_cast<size_t>(x / 2) * 4;
}

int LumaAt(const std::vector<uint8_t>& frame, const SceneSettings& s, int x, int y) {
  return frame[GroupOffset(s, x, y) + 1 + 2 * static_cast<size_t>(x % 2)];
}

// Converts a pixel back the way the viewer does (full-range BT.601 integer).
Rgb PixelAt(const std::vector<uint8_t>& frame, const SceneSettings& s, int x, int y) {
  const size_t at = GroupOffset(s, x, y);
  const int v = frame[at] - 128;
  const int u = frame[at + 2] - 128;
  const int luma = LumaAt(frame, s, x, y);
  return {std::clamp((256 * luma + 359 * v) >> 8, 0, 255),
          std::clamp((256 * luma - (183 * v + 88 * u)) >> 8, 0, 255),
          std::clamp((256 * luma + 454 * u) >> 8, 0, 255)};
}

double MeanLuma(const std::vector<uint8_t>& frame) {
  uint64_t sum = 0;
  for (size_t i = 1; i < frame.size(); i += 2) {
    sum += frame[i];
  }
  return static_cast<double>(sum) / static_cast<double>(frame.size() / 2);
}

// Sum of luma steps between horizontal neighbours: large for a sharp picture.
uint64_t EdgeEnergy(const std::vector<uint8_t>& frame, const SceneSettings& s) {
  uint64_t sum = 0;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 1; x < s.width; ++x) {
      sum += static_cast<uint64_t>(std::abs(LumaAt(frame, s, x, y) - LumaAt(frame, s, x - 1, y)));
    }
  }
  return sum;
}

// A point of blank paper below the frame counter, at the same place of the
// picture for both aspect ratios.
int PaperX(const SceneSettings& s) {
  return s.width / 2;
}
int PaperY(const SceneSettings& s) {
  return s.height * 815 / 1000;
}

// --- Sequence stamp -------------------------------------------------------

// Catches a stamp written in the wrong order, place or size for any frame size.
TEST(SequenceStampTest, RoundTripsAtEverySize) {
  const uint32_t values[] = {0u, 1u, 2u, 0x80000000u, 0x12345678u, 0xDEADBEEFu, 0xFFFFFFFFu};
  for (Size size : kSizes) {
    SceneRenderer renderer;
    std::vector<uint8_t> frame(FrameBytes(SettingsFor(size)));
    for (uint32_t value : values) {
      renderer.Render(SettingsFor(size), value, frame);
      EXPECT_EQ(ReadSequenceStamp(frame), value) << size.width << "x" << size.height;
    }
  }
}

// Catches wrong group bytes (levels, neutral chroma) or least significant bit first.
TEST(SequenceStampTest, GroupsUseVideoLevelsMostSignificantBitFirst) {
  const std::vector<uint8_t> frame = RenderFrame(SettingsFor(kSizes[0]), 0xA0000001u);
  const std::vector<uint8_t> one = {128, 235, 128, 235};
  const std::vector<uint8_t> zero = {128, 16, 128, 16};
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 4), one);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 4, frame.begin() + 8), zero);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 8, frame.begin() + 12), one);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 120, frame.begin() + 124), zero);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 124, frame.begin() + 128), one);
}

// Catches reading past the end of a short frame, and a wrong threshold.
TEST(SequenceStampTest, ReadsZeroFromShortFrameAndThresholdsAt128) {
  const std::vector<uint8_t> shortFrame(kSequenceBits * 4 - 1, 235);
  EXPECT_EQ(ReadSequenceStamp(shortFrame), 0u);
  EXPECT_EQ(ReadSequenceStamp({}), 0u);

  std::vector<uint8_t> frame(kSequenceBits * 4, 127);
  EXPECT_EQ(ReadSequenceStamp(frame), 0u);
  for (size_t i = 1; i < frame.size(); i += 4) {
    frame[i] = 128;
  }
  EXPECT_EQ(ReadSequenceStamp(frame), 0xFFFFFFFFu);
}

// --- Frame contents over time -----------------------------------------------

// Catches nondeterminism and a stale still after the settings change and back.
TEST(SceneRendererFrameTest, SameSequenceAndSettingsGiveIdenticalBytes) {
  for (Size size : kSizes) {
    const SceneSettings plain = SettingsFor(size);
    SceneSettings zoomed = plain;
    zoomed.zoom = 1500;
    zoomed.focus = 100;

    SceneRenderer renderer;
    std::vector<uint8_t> first(FrameBytes(plain));
    std::vector<uint8_t> zoomedFrame(FrameBytes(plain));
    std::vector<uint8_t> again(FrameBytes(plain));
    renderer.Render(plain, 42, first);
    renderer.Render(zoomed, 42, zoomedFrame);
    renderer.Render(plain, 42, again);

    EXPECT_NE(first, zoomedFrame) << size.width << "x" << size.height;
    EXPECT_EQ(first, again) << size.width << "x" << size.height;
    EXPECT_EQ(first, RenderFrame(plain, 42)) << size.width << "x" << size.height;
    EXPECT_EQ(zoomedFrame, RenderFrame(zoomed, 42)) << size.width << "x" << size.height;
  }
}

// Catches bytes of the frame left as they were in the caller's buffer.
TEST(SceneRendererFrameTest, OverwritesEveryByteOfTheFrame) {
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    SceneRenderer renderer;
    std::vector<uint8_t> zeros(FrameBytes(s), 0x00);
    std::vector<uint8_t> ones(FrameBytes(s), 0xFF);
    renderer.Render(s, 7, zeros);
    renderer.Render(s, 7, ones);
    EXPECT_EQ(zeros, ones) << size.width << "x" << size.height;
  }
}

// Catches a marker that does not move, so a live picture would look frozen.
TEST(SceneRendererFrameTest, NextSequenceMovesTheMarker) {
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    const std::vector<uint8_t> before = RenderFrame(s, 100);
    const std::vector<uint8_t> after = RenderFrame(s, 101);
    // The marker is the only strongly blue thing that can change; the counter
    // is neutral ink and the stamp sits in the bottom row, skipped here.
    int changedBlue = 0;
    for (int y = 0; y < s.height - 1; ++y) {
      for (int x = 0; x < s.width; ++x) {
        if (LumaAt(before, s, x, y) == LumaAt(after, s, x, y)) {
          continue;
        }
        for (const std::vector<uint8_t>* frame : {&before, &after}) {
          const Rgb c = PixelAt(*frame, s, x, y);
          if (c.b > c.r + 60 && c.b > c.g + 60) {
            ++changedBlue;
          }
        }
      }
    }
    EXPECT_GT(changedBlue, 0) << size.width << "x" << size.height;
  }
}

// Catches a missing frame counter, or one that does not follow the sequence.
TEST(SceneRendererFrameTest, FrameCounterGrowsWithTheNumber) {
  // Counts dark neutral pixels (ink) in the lower third of the picture, where
  // the counter sits below the chart; the marker is blue, so only the counter
  // changes this count between two sequences.
  auto inkPixels = [](const std::vector<uint8_t>& frame, const SceneSettings& s) {
    int count = 0;
    for (int y = s.height * 2 / 3; y < s.height - 1; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const Rgb c = PixelAt(frame, s, x, y);
        const int high = std::max({c.r, c.g, c.b});
        count += high < 90 && high - std::min({c.r, c.g, c.b}) < 30 ? 1 : 0;
      }
    }
    return count;
  };
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    const int oneDigit = inkPixels(RenderFrame(s, 7), s);
    const int tenDigits = inkPixels(RenderFrame(s, 1777777777u), s);
    // Nine more glyphs of at least 9 dots each, a dot covering >= 4 pixels.
    EXPECT_GT(tenDigits, oneDigit + 9 * 9 * 4) << size.width << "x" << size.height;
  }
}

// --- Buffer bounds ------------------------------------------------------------

// Catches writes past the end of an exactly sized frame.
TEST(SceneRendererBufferTest, LeavesTheByteAfterTheFrameUntouched) {
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    for (uint32_t sequence : {0u, 1u, 12345u, 0xFFFFFFFFu}) {
      std::vector<uint8_t> buffer(FrameBytes(s) + 1, 0xA5);
      SceneRenderer renderer;
      renderer.Render(s, sequence, buffer);
      EXPECT_EQ(buffer.back(), 0xA5) << size.width << "x" << size.height;
      buffer.pop_back();
      EXPECT_EQ(buffer, RenderFrame(s, sequence)) << size.width << "x" << size.height;
    }
  }
}

// Catches out-of-range writes (or a crash) when the buffer is too small.
TEST(SceneRendererBufferTest, TooSmallBufferGetsOnlyWhatFits) {
  constexpr size_t kGuard = 64;
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    const size_t full = FrameBytes(s);
    const size_t stride = static_cast<size_t>(s.width) * 2;
    const std::vector<uint8_t> reference = RenderFrame(s, 0xFFFFFFFFu);
    const size_t lengths[] = {0, 1, 3, 127, 128, 129, stride - 1, stride + 3, full / 2, full - 1};
    for (size_t length : lengths) {
      std::vector<uint8_t> buffer(length + kGuard, 0x5A);
      SceneRenderer renderer;
      renderer.Render(s, 0xFFFFFFFFu, std::span<uint8_t>(buffer.data(), length));
      for (size_t i = length; i < buffer.size(); ++i) {
        ASSERT_EQ(buffer[i], 0x5A) << "length " << length << " index " << i;
      }
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(length),
                             reference.begin()))
          << "length " << length;
    }
  }
}

// Catches a renderer that writes (or crashes) for sizes it cannot lay out.
TEST(SceneRendererBufferTest, UnusableSizeWritesNothing) {
  const Size bad[] = {{0, 480}, {640, 0}, {-640, 480}, {641, 480}, {640, -2}, {8192, 8192}};
  for (Size size : bad) {
    std::vector<uint8_t> buffer(4096, 0x33);
    SceneRenderer renderer;
    renderer.Render(SettingsFor(size), 99, buffer);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x33; }))
        << size.width << "x" << size.height;
  }
}

// Catches overflow or out-of-range writes at odd but valid sizes.
TEST(SceneRendererBufferTest, ExtremeSizesRenderWithinTheFrame) {
  const Size sizes[] = {{2, 4096}, {4096, 2}, {2, 1}, {64, 64}, {4096, 4096}, {1282, 962}};
  for (Size size : sizes) {
    for (int zoom : {0, 1861, kZoomMax}) {
      SceneSettings s = SettingsFor(size);
      s.zoom = zoom;
      s.focus = 0;
      std::vector<uint8_t> buffer(FrameBytes(s) + 1, 0xC3);
      SceneRenderer renderer;
      renderer.Render(s, 0x89ABCDEFu, std::span<uint8_t>(buffer.data(), FrameBytes(s)));
      EXPECT_EQ(buffer.back(), 0xC3) << size.width << "x" << size.height;
      if (FrameBytes(s) >= kSequenceBits * 4) {
        EXPECT_EQ(ReadSequenceStamp(buffer), 0x89ABCDEFu) << size.width << "x" << size.height;
      }
    }
  }
}

// --- Colours ----------------------------------------------------------------

// Catches a wrong colour conversion (offset range, swapped chroma) on paper.
TEST(SceneRendererColourTest, PaperComesOutNearWhite) {
  for (Size size : kSizes) {
    const SceneSettings s = SettingsFor(size);
    const std::vector<uint8_t> frame = RenderFrame(s, 3);
    const Rgb paper = PixelAt(frame, s, PaperX(s), PaperY(s));
    EXPECT_GE(paper.r, 200) << size.width << "x" << size.height;
    EXPECT_GE(paper.g, 200) << size.width << "x" << size.height;
    EXPECT_GE(paper.b, 195) << size.width << "x" << size.height;
    EXPECT_LE(std::max({paper.r, paper.g, paper.b}) - std::min({paper.r, paper.g, paper.b}), 20);
  }
}

// Catches swapped U/V, swapped byte order or a chart drawn mirrored or flipped.
TEST(SceneRendererColourTest, ChartPatchesDecodeToTheirColours) {
  // Where the renderer's layout puts the chart at zoom 0: a row of patches
  // across the sheet, just below the middle of the page.
  struct Chart {
    Size size;
    int centreY;  // picture row through the middle of the patches
    int firstX;   // centre of the first (white) patch
    int pitch;    // distance between patch centres
  };
  const Chart charts[] = {
      {{1280, 960}, 568, 190, 128},
      {{640, 480}, 284, 95, 64},
      {{1280, 720}, 426, 303, 96},
      {{640, 360}, 213, 151, 48},
  };
  // white, yellow, cyan, green, magenta, red, blue, black as R, G, B lit.
  const bool lit[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                          {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
  for (const Chart& chart : charts) {
    const SceneSettings s = SettingsFor(chart.size);
    const std::vector<uint8_t> frame = RenderFrame(s, 0);
    for (int i = 0; i < 8; ++i) {
      const Rgb c = PixelAt(frame, s, chart.firstX + i * chart.pitch, chart.centreY);
      const int channels[3] = {c.r, c.g, c.b};
      for (int k = 0; k < 3; ++k) {
        if (lit[i][k]) {
          EXPECT_GE(channels[k], 180)
              << "patch " << i << " channel " << k << " at " << s.width << "x" << s.height;
        } else {
          EXPECT_LE(channels[k], 70)
              << "patch " << i << " channel " << k << " at " << s.width << "x" << s.height;
        }
      }
    }
  }
}

// Catches a limited-range (16-235) encoder, which squeezes the contrast.
TEST(SceneRendererColourTest, LumaUsesTheFullRange) {
  const SceneSettings s = SettingsFor(kSizes[0]);
  const std::vector<uint8_t> frame = RenderFrame(s, 0);
  const int white = LumaAt(frame, s, 190, 568);            // first chart patch
  const int black = LumaAt(frame, s, 190 + 7 * 128, 568);  // last chart patch
  EXPECT_GE(white - black, 205);
}

// --- Settings -----------------------------------------------------------------

// Catches brightness ignored or applied the wrong way round.
TEST(SceneRendererSettingsTest, BrightnessOrdersMeanLuma) {
  for (Size size : kSizes) {
    SceneSettings s = SettingsFor(size);
    s.brightness = 0;
    const double dark = MeanLuma(RenderFrame(s, 5));
    s.brightness = 128;
    const double neutral = MeanLuma(RenderFrame(s, 5));
    s.brightness = 255;
    const double bright = MeanLuma(RenderFrame(s, 5));
    EXPECT_LT(dark + 40, neutral) << size.width << "x" << size.height;
    EXPECT_LT(neutral + 20, bright) << size.width << "x" << size.height;
  }
}

// Catches the lamp setting ignored or not warming the paper.
TEST(SceneRendererSettingsTest, LampBrightensAndWarmsThePaper) {
  for (Size size : kSizes) {
    SceneSettings s = SettingsFor(size);
    const std::vector<uint8_t> off = RenderFrame(s, 9);
    s.lamp = true;
    const std::vector<uint8_t> on = RenderFrame(s, 9);
    EXPECT_GT(MeanLuma(on), MeanLuma(off) + 5) << size.width << "x" << size.height;
    const Rgb paperOff = PixelAt(off, s, PaperX(s), PaperY(s));
    const Rgb paperOn = PixelAt(on, s, PaperX(s), PaperY(s));
    EXPECT_GT(paperOn.r - paperOn.b, paperOff.r - paperOff.b) << size.width << "x" << size.height;
  }
}

// Catches colour gains ignored or applied to the wrong channel.
TEST(SceneRendererSettingsTest, ColourGainsShiftTheBalance) {
  const SceneSettings base = SettingsFor(kSizes[0]);
  auto paperWith = [&](int red, int blue) {
    SceneSettings s = base;
    s.redGain = red;
    s.blueGain = blue;
    return PixelAt(RenderFrame(s, 0), s, PaperX(s), PaperY(s));
  };
  const Rgb redLow = paperWith(-64, 0);
  const Rgb redHigh = paperWith(64, 0);
  EXPECT_GT(redHigh.r, redLow.r + 60);
  EXPECT_NEAR(redHigh.b, redLow.b, 30);
  const Rgb blueLow = paperWith(0, -64);
  const Rgb blueHigh = paperWith(0, 64);
  EXPECT_GT(blueHigh.b, blueLow.b + 60);
  EXPECT_NEAR(blueHigh.r, blueLow.r, 30);
}

// Catches zoom ignored, or cropping somewhere other than the middle of the page.
TEST(SceneRendererSettingsTest, ZoomCropsTheCentre) {
  for (Size size : kSizes) {
    SceneSettings s = SettingsFor(size);
    const std::vector<uint8_t> wide = RenderFrame(s, 11);
    s.zoom = 1861;
    const std::vector<uint8_t> optical = RenderFrame(s, 11);
    s.zoom = kZoomMax;
    const std::vector<uint8_t> digital = RenderFrame(s, 11);
    EXPECT_NE(wide, optical) << size.width << "x" << size.height;
    EXPECT_NE(optical, digital) << size.width << "x" << size.height;

    // Unzoomed, the picture's top row and outer columns are the grey stage;
    // fully zoomed into the middle of the page, all three lie mostly on paper.
    auto paperInRow = [&](const std::vector<uint8_t>& frame, int y) {
      int count = 0;
      for (int x = 0; x < s.width; ++x) {
        count += LumaAt(frame, s, x, y) > 180 ? 1 : 0;
      }
      return count;
    };
    auto paperInColumn = [&](const std::vector<uint8_t>& frame, int x) {
      int count = 0;
      for (int y = 0; y < s.height - 1; ++y) {  // the bottom row holds the stamp
        count += LumaAt(frame, s, x, y) > 180 ? 1 : 0;
      }
      return count;
    };
    EXPECT_EQ(paperInRow(wide, 0), 0) << size.width << "x" << size.height;
    EXPECT_EQ(paperInColumn(wide, 0), 0) << size.width << "x" << size.height;
    EXPECT_EQ(paperInColumn(wide, s.width - 1), 0) << size.width << "x" << size.height;
    EXPECT_GT(paperInRow(digital, 0), s.width / 4) << size.width << "x" << size.height;
    EXPECT_GT(paperInColumn(digital, 0), s.height / 4) << size.width << "x" << size.height;
    EXPECT_GT(paperInColumn(digital, s.width - 1), s.height / 4)
        << size.width << "x" << size.height;
  }
}

// Catches focus ignored, or defocus that sharpens instead of blurring.
TEST(SceneRendererSettingsTest, DefocusSoftensEdges) {
  for (Size size : kSizes) {
    SceneSettings s = SettingsFor(size);
    const uint64_t sharp = EdgeEnergy(RenderFrame(s, 0), s);
    s.focus = 0;
    const uint64_t near = EdgeEnergy(RenderFrame(s, 0), s);
    s.focus = 1000;
    const uint64_t far = EdgeEnergy(RenderFrame(s, 0), s);
    s.focus = 450;
    const uint64_t slightly = EdgeEnergy(RenderFrame(s, 0), s);
    EXPECT_LT(near * 3, sharp * 2) << size.width << "x" << size.height;
    EXPECT_LT(far * 3, sharp * 2) << size.width << "x" << size.height;
    EXPECT_GE(slightly, near) << size.width << "x" << size.height;
  }
}

}  // namespace
}  // namespace rd420::sim
