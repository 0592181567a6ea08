#include "driver/scene_renderer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "driver/bitmap_font.h"

namespace rd420::sim {
namespace {

// The scene is laid out in full-resolution pixels; half-resolution frames
// show the same scene scaled down.
constexpr int kSceneWidth = 1280;
// Above this zoom the camera enlarges digitally instead of optically.
constexpr int kOpticalZoomMax = 1861;
// Guards the still's allocation against nonsense sizes.
constexpr int kMaxDimension = 4096;
constexpr int kMaxSceneHeight = 8 * kSceneWidth;

constexpr uint8_t kStampOne = 235;
constexpr uint8_t kStampZero = 16;

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if (a % b != 0 && a < 0) {
    --q;
  }
  return q;
}
int64_t RoundDiv(int64_t a, int64_t b) {
  return FloorDiv(2 * a + b, 2 * b);
}
int64_t CeilDiv(int64_t a, int64_t b) {
  return -FloorDiv(-a, b);
}

bool ValidSize(const SceneSettings& s) {
  // Pixel pairs share chroma, so the width must be even.
  return s.width > 0 && s.height > 0 && s.width % 2 == 0 && s.width <= kMaxDimension &&
         s.height <= kMaxDimension;
}

struct Rect {  // half-open: [x0, x1) x [y0, y1)
  int x0, y0, x1, y1;
};

// ---------------------------------------------------------------------------
// Scene layout in scene pixels. Integer only, because Render needs the
// marker and counter positions every frame.

constexpr std::string_view kTitle = "RD-420 SIMULATED CAMERA";
constexpr std::string_view kTextLines[] = {
    "DOCUMENT CAMERA TEST PAGE",
    "THE QUICK BROWN FOX JUMPS",
    "OVER THE LAZY DOG 0123456789",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
};
constexpr int kBarLines = 4;
constexpr std::string_view kCounterLabel = "FRAME ";
constexpr std::string_view kFooter = "PAGE 1/1";
constexpr int kChartPatches = 8;

struct Layout {
  Rect paper;
  Rect shadow;
  int margin;
  int titleDot;
  int textDot;
  int titleX, titleY;
  Rect rule;
  int textX;
  int textY[std::size(kTextLines)];
  int barY[kBarLines];
  int barHeight;
  int barRight;
  int ringX, ringY, ringRadius;
  Rect chart;
  Rect wedge;
  int chartBorder;
  int counterY;
  int digitsX;
  int footerX, footerY;
  int markerSize;
  int markerY;
  int markerLeft;
  int markerStep;
  int markerPositions;
  Rect track;
};

Layout MakeLayout(int sceneW, int sceneH) {
  Layout l{};
  // A landscape A-series sheet filling most of the stage height.
  const int ph = sceneH * 84 / 100;
  const int pw = std::min(ph * 1414 / 1000, sceneW - 120);
  const int px = (sceneW - pw) / 2;
  const int py = (sceneH - ph) / 2;
  auto X = [&](int permille) { return px + pw * permille / 1000; };
  auto Y = [&](int permille) { return py + ph * permille / 1000; };
  const int stroke = std::max(2, ph / 300);

  l.paper = {px, py, px + pw, py + ph};
  const int drop = std::max(2, ph / 80);
  l.shadow = {px + drop, py + drop, px + pw + drop, py + ph + drop};
  l.margin = pw / 20;
  l.titleDot = std::max(1, ph / 150);
  l.textDot = std::max(1, ph / 250);

  l.titleX = px + l.margin;
  l.titleY = Y(50);
  l.rule = {px + l.margin, Y(115), px + pw - l.margin, Y(115) + stroke};

  l.textX = px + l.margin;
  for (size_t i = 0; i < std::size(kTextLines); ++i) {
    l.textY[i] = Y(140 + 40 * static_cast<int>(i));
  }
  for (int i = 0; i < kBarLines; ++i) {
    l.barY[i] = Y(310 + 40 * i);
  }
  l.barHeight = std::max(1, ph * 20 / 1000);
  l.barRight = X(600);

  l.ringX = X(780);
  l.ringY = Y(300);
  l.ringRadius = ph * 140 / 1000;

  // The marker runs through the middle of the page so that it still crosses
  // the picture at full zoom, which crops the centre.
  l.markerSize = std::max(2, ph * 50 / 1000);
  l.markerY = Y(475);
  l.markerLeft = px + l.margin;
  l.markerStep = std::max(1, l.markerSize / 6);
  const int travel = std::max(0, pw - 2 * l.margin - l.markerSize);
  l.markerPositions = travel / l.markerStep + 1;
  const int trackY = l.markerY + l.markerSize / 2 - stroke / 2;
  l.track = {px + l.margin, trackY, px + pw - l.margin, trackY + stroke};

  l.chart = {px + l.margin, Y(560), px + pw - l.margin, Y(660)};
  l.wedge = {l.chart.x0, Y(690), l.chart.x1, Y(740)};
  l.chartBorder = stroke;

  l.counterY = Y(790);
  l.digitsX = px + l.margin + static_cast<int>(kCounterLabel.size()) * kGlyphAdvance * l.titleDot;

  l.footerX =
      px + pw - l.margin - (static_cast<int>(kFooter.size()) * kGlyphAdvance - 1) * l.textDot;
  l.footerY = Y(930);
  return l;
}

Rect MarkerRect(const Layout& l, uint32_t sequence) {
  const int x =
      l.markerLeft +
      static_cast<int>(sequence % static_cast<uint32_t>(l.markerPositions)) * l.markerStep;
  return {x, l.markerY, x + l.markerSize, l.markerY + l.markerSize};
}

// ---------------------------------------------------------------------------
// Mapping from scene pixels to the canvas (the optically zoomed picture) and
// from the canvas to output pixels (digital zoom enlarges the canvas).

struct View {
  int outW, outH;
  int canvasW, canvasH;
  int sceneW, sceneH;
  int64_t num;  // canvas pixels per scene pixel = canvasW * num / den
  int64_t den;

  int CanvasX(int sx) const {
    return static_cast<int>(RoundDiv((int64_t{sx} - sceneW / 2) * canvasW * num, den)) +
           canvasW / 2;
  }
  int CanvasY(int sy) const {
    return static_cast<int>(RoundDiv((int64_t{sy} - sceneH / 2) * canvasW * num, den)) +
           canvasH / 2;
  }
  // The first output pixel whose nearest canvas pixel is at or after c.
  int OutX(int cx) const {
    return canvasW == outW ? cx : static_cast<int>(CeilDiv(int64_t{cx} * outW, canvasW));
  }
  int OutY(int cy) const {
    return canvasH == outH ? cy : static_cast<int>(CeilDiv(int64_t{cy} * outH, canvasH));
  }
  Rect ToCanvas(const Rect& r) const {
    return {CanvasX(r.x0), CanvasY(r.y0), CanvasX(r.x1), CanvasY(r.y1)};
  }
  Rect ToOut(const Rect& r) const {
    const Rect c = ToCanvas(r);
    return {OutX(c.x0), OutY(c.y0), OutX(c.x1), OutY(c.y1)};
  }
  // Scene position of a canvas pixel's centre; used only by RenderStill.
  double SceneX(int cx) const {
    return sceneW / 2.0 + (cx + 0.5 - canvasW / 2) * static_cast<double>(den) /
                              (static_cast<double>(canvasW) * static_cast<double>(num));
  }
  double SceneY(int cy) const {
    return sceneH / 2.0 + (cy + 0.5 - canvasH / 2) * static_cast<double>(den) /
                              (static_cast<double>(canvasW) * static_cast<double>(num));
  }
};

View MakeView(const SceneSettings& s) {
  View v{};
  v.outW = s.width;
  v.outH = s.height;
  v.sceneW = kSceneWidth;
  // Square pixels: 4:3 frames give 1280x960, 16:9 frames 1280x720. Very tall
  // frames keep a bounded layout (and just show more stage) so the layout's
  // integer maths cannot overflow.
  v.sceneH = static_cast<int>(std::clamp<int64_t>(
      RoundDiv(int64_t{kSceneWidth} * s.height, s.width), 1, int64_t{kMaxSceneHeight}));
  const int zoom = std::clamp(s.zoom, 0, kZoomMax);
  // Magnification (kZoomMax + 3 * zoom) / kZoomMax: 1x at 0, 4x at kZoomMax.
  v.num = kZoomMax + 3 * zoom;
  v.den = int64_t{kSceneWidth} * kZoomMax;
  v.canvasW = s.width;
  v.canvasH = s.height;
  if (zoom > kOpticalZoomMax) {
    // Digital zoom: the optics stop at kOpticalZoomMax, so the rest is a
    // smaller canvas stretched to the frame, which looks a little blockier.
    const int64_t optical = kZoomMax + 3 * kOpticalZoomMax;
    v.canvasW = std::max(1, static_cast<int>(RoundDiv(int64_t{s.width} * optical, v.num)));
    v.canvasH = std::max(1, static_cast<int>(RoundDiv(int64_t{s.height} * optical, v.num)));
  }
  return v;
}

// ---------------------------------------------------------------------------
// Colours.

struct Rgb {
  int r, g, b;
};
struct Yuv {
  uint8_t y, u, v;
};

// Palette indices of the still's canvas.
enum : uint8_t {
  kStage = 0,  // kStageShades shades, centre to corners
  kStageShades = 32,
  kShadow = kStage + kStageShades,
  kPaper,
  kInk,
  kInkSoft,
  kTrack,
  kPatch,                           // kChartPatches entries
  kWedge = kPatch + kChartPatches,  // kChartPatches entries
  kPaletteSize = kWedge + kChartPatches,
};

constexpr Rgb kPaperRgb{222, 220, 212};
constexpr Rgb kInkRgb{24, 24, 30};
constexpr Rgb kMarkerRgb{30, 45, 150};
constexpr Rgb kPatchRgb[kChartPatches] = {
    {235, 235, 235}, {230, 225, 25}, {25, 220, 230}, {30, 200, 40},
    {220, 30, 210},  {225, 30, 30},  {30, 40, 220},  {20, 20, 20},
};

Rgb BaseColour(int index) {
  if (index < kStage + kStageShades) {
    const int grey = 112 - 3 * (index - kStage) / 2;
    return {grey - 2, grey, grey + 4};  // a slightly cool grey stage
  }
  if (index >= kPatch && index < kPatch + kChartPatches) {
    return kPatchRgb[index - kPatch];
  }
  if (index >= kWedge && index < kWedge + kChartPatches) {
    const int grey = 240 - 30 * (index - kWedge);
    return {grey, grey, grey};
  }
  switch (index) {
    case kShadow:
      return {52, 52, 56};
    case kPaper:
      return kPaperRgb;
    case kInk:
      return kInkRgb;
    case kInkSoft:
      return {96, 96, 104};
    case kTrack:
      return {170, 170, 170};
    default:
      return {255, 0, 255};
  }
}

// Per-channel multipliers in units of 2^-24, combining lamp, brightness and
// colour gains, so each colour costs three multiplications.
struct Grade {
  int64_t r, g, b;
};

Grade MakeGrade(const SceneSettings& s) {
  // (b + 16) / 144: 128 -> 1, 255 -> ~1.9, 0 -> ~0.1 (dark but not black).
  const int64_t bright = (int64_t{std::clamp(s.brightness, 0, 255)} + 16) * 256 / 144;
  // The lamp adds ~15% light with a warmer tint.
  const int64_t lampR = s.lamp ? 306 : 256;
  const int64_t lampG = s.lamp ? 294 : 256;
  const int64_t lampB = s.lamp ? 265 : 256;
  const int64_t red = 256 + 2 * int64_t{std::clamp(s.redGain, -64, 64)};
  const int64_t blue = 256 + 2 * int64_t{std::clamp(s.blueGain, -64, 64)};
  return {lampR * bright * red, lampG * bright * 256, lampB * bright * blue};
}

int ApplyGain(int c, int64_t mul) {
  return static_cast<int>(std::clamp<int64_t>((c * mul + (int64_t{1} << 23)) >> 24, 0, 255));
}

uint8_t Clamp8(int64_t x) {
  return static_cast<uint8_t>(std::clamp<int64_t>(x, 0, 255));
}

// Full-range BT.601, the exact inverse of the viewer's conversion, in 16-bit
// fixed point: 19595/38470/7471 are 0.299/0.587/0.114, 36984 and 46745 are
// 1/1.772 and 1/1.402.
Yuv ToYuv(const Rgb& c) {
  const int64_t y16 = 19595 * int64_t{c.r} + 38470 * int64_t{c.g} + 7471 * int64_t{c.b};
  const int64_t u = RoundDiv((int64_t{c.b} * 65536 - y16) * 36984, int64_t{1} << 32);
  const int64_t v = RoundDiv((int64_t{c.r} * 65536 - y16) * 46745, int64_t{1} << 32);
  return {Clamp8((y16 + 32768) >> 16), Clamp8(128 + u), Clamp8(128 + v)};
}

Yuv GradeToYuv(const Rgb& c, const Grade& g) {
  return ToYuv({ApplyGain(c.r, g.r), ApplyGain(c.g, g.g), ApplyGain(c.b, g.b)});
}

// ---------------------------------------------------------------------------
// Painting the palette-indexed canvas (top-down picture order).

class Canvas {
 public:
  Canvas(const View& view, std::vector<uint8_t>& pixels) : view_(view), pixels_(pixels) {}

  void Fill(const Rect& scene, uint8_t index) {
    const Rect c = view_.ToCanvas(scene);
    const int x0 = std::max(c.x0, 0);
    const int x1 = std::min(c.x1, view_.canvasW);
    const int y0 = std::max(c.y0, 0);
    const int y1 = std::min(c.y1, view_.canvasH);
    if (x0 >= x1) {
      return;
    }
    for (int y = y0; y < y1; ++y) {
      std::memset(&pixels_[static_cast<size_t>(y) * view_.canvasW + x0], index,
                  static_cast<size_t>(x1 - x0));
    }
  }

  uint8_t* Row(int y) { return &pixels_[static_cast<size_t>(y) * view_.canvasW]; }

 private:
  const View& view_;
  std::vector<uint8_t>& pixels_;
};

void PaintStage(const View& view, Canvas& canvas) {
  // A soft vignette, as if lit from above the stage centre: the shade index
  // grows with the squared distance from the centre.
  const double cx = view.sceneW / 2.0;
  const double cy = view.sceneH / 2.0;
  const double scale = 4096.0 / (cx * cx + cy * cy);
  std::vector<int> column(static_cast<size_t>(view.canvasW));
  for (int x = 0; x < view.canvasW; ++x) {
    const double dx = view.SceneX(x) - cx;
    column[static_cast<size_t>(x)] = static_cast<int>(std::min(dx * dx * scale, 1e6));
  }
  for (int y = 0; y < view.canvasH; ++y) {
    const double dy = view.SceneY(y) - cy;
    const int rowTerm = static_cast<int>(std::min(dy * dy * scale, 1e6));
    uint8_t* row = canvas.Row(y);
    for (int x = 0; x < view.canvasW; ++x) {
      row[x] = static_cast<uint8_t>(
          kStage + std::min(kStageShades - 1, (column[static_cast<size_t>(x)] + rowTerm) >> 7));
    }
  }
}

void PaintRings(const View& view, const Layout& l, Canvas& canvas) {
  // A focus target: alternating ink and paper rings, centre disc inked.
  constexpr int kBands = 9;
  const int r = l.ringRadius;
  if (r <= 0) {
    return;
  }
  const Rect box = view.ToCanvas({l.ringX - r, l.ringY - r, l.ringX + r + 1, l.ringY + r + 1});
  const int x0 = std::max(box.x0, 0);
  const int x1 = std::min(box.x1, view.canvasW);
  const int y0 = std::max(box.y0, 0);
  const int y1 = std::min(box.y1, view.canvasH);
  for (int y = y0; y < y1; ++y) {
    const double dy = view.SceneY(y) - l.ringY;
    uint8_t* row = canvas.Row(y);
    for (int x = x0; x < x1; ++x) {
      const double dx = view.SceneX(x) - l.ringX;
      const double dist = std::sqrt(dx * dx + dy * dy);
      const int band = static_cast<int>(dist * kBands / r);
      if (band < kBands && band % 2 == 0) {
        row[x] = kInk;
      }
    }
  }
}

void PaintScene(const View& view, const Layout& l, Canvas& canvas) {
  PaintStage(view, canvas);
  canvas.Fill(l.shadow, kShadow);
  canvas.Fill(l.paper, kPaper);

  auto ink = [&](int x0, int y0, int x1, int y1) { canvas.Fill(Rect{x0, y0, x1, y1}, kInk); };
  ForEachTextRun(kTitle, l.titleX, l.titleY, l.titleDot, ink);
  canvas.Fill(l.rule, kInk);
  for (size_t i = 0; i < std::size(kTextLines); ++i) {
    ForEachTextRun(kTextLines[i], l.textX, l.textY[i], l.textDot, ink);
  }

  // Body text too small to read, drawn as word-shaped bars; the last line of
  // the paragraph is shorter.
  static constexpr int kWordChars[] = {6, 3, 8, 4, 2, 7, 5, 3, 9, 4, 6, 2, 5, 8, 3};
  const int charW = kGlyphAdvance * l.textDot;
  for (int line = 0; line < kBarLines; ++line) {
    const int right = line == kBarLines - 1 ? (l.textX + l.barRight) / 2 : l.barRight;
    int x = l.textX;
    for (int word = line * 4;; ++word) {
      const int chars = kWordChars[static_cast<size_t>(word) % std::size(kWordChars)];
      const int end = x + chars * charW;
      if (end > right) {
        break;
      }
      canvas.Fill({x, l.barY[line], end, l.barY[line] + l.barHeight}, kInkSoft);
      x = end + charW;
    }
  }

  PaintRings(view, l, canvas);

  const int b = l.chartBorder;
  canvas.Fill({l.chart.x0 - b, l.chart.y0 - b, l.chart.x1 + b, l.chart.y1 + b}, kInk);
  canvas.Fill({l.wedge.x0 - b, l.wedge.y0 - b, l.wedge.x1 + b, l.wedge.y1 + b}, kInk);
  const int patchW = (l.chart.x1 - l.chart.x0) / kChartPatches;
  for (int i = 0; i < kChartPatches; ++i) {
    const int x0 = l.chart.x0 + i * patchW;
    // The last patch absorbs the rounding so the chart has no gap.
    const int x1 = i == kChartPatches - 1 ? l.chart.x1 : x0 + patchW;
    canvas.Fill({x0, l.chart.y0, x1, l.chart.y1}, static_cast<uint8_t>(kPatch + i));
    canvas.Fill({x0, l.wedge.y0, x1, l.wedge.y1}, static_cast<uint8_t>(kWedge + i));
  }

  ForEachTextRun(kCounterLabel, l.textX, l.counterY, l.titleDot, ink);
  ForEachTextRun(kFooter, l.footerX, l.footerY, l.textDot, ink);
  canvas.Fill(l.track, kTrack);
}

// Separable box blur with running sums, edges clamped; O(1) per pixel
// whatever the radii. rx and ry may differ because chroma planes are stored
// at half width.
void BoxBlur(std::vector<uint8_t>& plane, std::vector<uint8_t>& scratch, int w, int h, int rx,
             int ry) {
  auto reciprocal = [](int r) { return static_cast<uint32_t>((65536 + r) / (2 * r + 1)); };
  scratch.resize(plane.size());
  if (rx > 0) {
    const uint32_t inv = reciprocal(rx);
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = &plane[static_cast<size_t>(y) * w];
      uint8_t* d = &scratch[static_cast<size_t>(y) * w];
      uint32_t sum = 0;
      for (int k = -rx; k <= rx; ++k) {
        sum += s[std::clamp(k, 0, w - 1)];
      }
      // The clamped edges are split off so the long middle loop has no
      // bounds checks.
      const int left = std::min(rx, w);
      const int right = std::max(left, w - rx - 1);
      int x = 0;
      for (; x < left; ++x) {
        d[x] = static_cast<uint8_t>((sum * inv + 32768) >> 16);
        sum += s[std::min(x + rx + 1, w - 1)] - s[0];
      }
      for (; x < right; ++x) {
        d[x] = static_cast<uint8_t>((sum * inv + 32768) >> 16);
        sum += s[x + rx + 1] - s[x - rx];
      }
      for (; x < w; ++x) {
        d[x] = static_cast<uint8_t>((sum * inv + 32768) >> 16);
        sum += s[w - 1] - s[std::max(x - rx, 0)];
      }
    }
  } else {
    scratch = plane;
  }
  if (ry <= 0) {
    plane.swap(scratch);
    return;
  }
  // Vertical pass row by row over column sums, to stay cache friendly and
  // let the compiler vectorise across columns.
  const uint32_t inv = reciprocal(ry);
  auto row = [&](int y) { return &scratch[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w]; };
  std::vector<uint32_t> sums(static_cast<size_t>(w), 0);
  uint32_t* sum = sums.data();
  for (int k = -ry; k <= ry; ++k) {
    const uint8_t* s = row(k);
    for (int x = 0; x < w; ++x) {
      sum[x] += s[x];
    }
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* d = &plane[static_cast<size_t>(y) * w];
    const uint8_t* add = row(y + ry + 1);
    const uint8_t* sub = row(y - ry);
    for (int x = 0; x < w; ++x) {
      d[x] = static_cast<uint8_t>((sum[x] * inv + 32768) >> 16);
      sum[x] += add[x] - sub[x];
    }
  }
}

// Writes rectangles of one colour into a bottom-up V Y U Y frame, clipped to
// the frame and to the rows that fit in the caller's buffer.
class FrameWriter {
 public:
  FrameWriter(uint8_t* frame, int width, int height, size_t rows)
      : frame_(frame), width_(width), height_(height), rows_(rows) {}

  void Fill(const Rect& r, const Yuv& c) {
    const int x0 = std::max(r.x0, 0);
    const int x1 = std::min(r.x1, width_);
    const int y0 = std::max(r.y0, 0);
    const int y1 = std::min(r.y1, height_);
    if (x0 >= x1) {
      return;
    }
    for (int y = y0; y < y1; ++y) {
      const size_t memoryRow = static_cast<size_t>(height_ - 1 - y);
      if (memoryRow >= rows_) {
        continue;
      }
      uint8_t* row = frame_ + memoryRow * static_cast<size_t>(width_) * 2;
      int x = x0;
      // A pair only half covered keeps its chroma; only the covered Y changes.
      if (x % 2 != 0) {
        row[2 * x + 1] = c.y;
        ++x;
      }
      for (; x + 1 < x1; x += 2) {
        row[2 * x] = c.v;
        row[2 * x + 1] = c.y;
        row[2 * x + 2] = c.u;
        row[2 * x + 3] = c.y;
      }
      if (x < x1) {
        row[2 * x + 1] = c.y;
      }
    }
  }

 private:
  uint8_t* frame_;
  int width_;
  int height_;
  size_t rows_;
};

}  // namespace

void SceneRenderer::Render(const SceneSettings& settings, uint32_t sequence,
                           std::span<uint8_t> out) {
  if (!ValidSize(settings)) {
    return;
  }
  if (!cacheValid_ || !(settings == cachedSettings_)) {
    RenderStill(settings);
  }
  const size_t stride = static_cast<size_t>(settings.width) * 2;
  const size_t frameBytes = stride * static_cast<size_t>(settings.height);
  const size_t bytes = std::min(out.size(), frameBytes);
  if (bytes == 0) {
    return;
  }
  std::memcpy(out.data(), still_.data(), bytes);

  const View view = MakeView(settings);
  const Layout layout = MakeLayout(view.sceneW, view.sceneH);
  const Grade grade = MakeGrade(settings);
  FrameWriter writer(out.data(), settings.width, settings.height, bytes / stride);

  writer.Fill(view.ToOut(MarkerRect(layout, sequence)), GradeToYuv(kMarkerRgb, grade));

  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, sequence);
  if (ec == std::errc()) {
    const Yuv ink = GradeToYuv(kInkRgb, grade);
    ForEachTextRun(std::string_view(digits, static_cast<size_t>(end - digits)), layout.digitsX,
                   layout.counterY, layout.titleDot, [&](int x0, int y0, int x1, int y1) {
                     writer.Fill(view.ToOut(Rect{x0, y0, x1, y1}), ink);
                   });
  }

  // Drawn last so nothing covers it; byte by byte so a short buffer still
  // gets exactly the start of the full frame.
  const size_t stampBytes = std::min(bytes, static_cast<size_t>(kSequenceBits) * 4);
  for (size_t at = 0; at < stampBytes; ++at) {
    const int bit = static_cast<int>(at / 4);
    const bool one = ((sequence >> (kSequenceBits - 1 - bit)) & 1u) != 0;
    out[at] = at % 2 == 0 ? 128 : (one ? kStampOne : kStampZero);
  }
}

void SceneRenderer::RenderStill(const SceneSettings& settings) {
  const int w = settings.width;
  const int h = settings.height;
  const View view = MakeView(settings);
  const Layout layout = MakeLayout(view.sceneW, view.sceneH);

  std::vector<uint8_t> pixels(static_cast<size_t>(view.canvasW) * view.canvasH);
  Canvas canvas(view, pixels);
  PaintScene(view, layout, canvas);

  const Grade grade = MakeGrade(settings);
  std::array<Yuv, kPaletteSize> palette{};
  for (int i = 0; i < kPaletteSize; ++i) {
    palette[static_cast<size_t>(i)] = GradeToYuv(BaseColour(i), grade);
  }

  // Nearest canvas pixel for each output column and row (identity unless the
  // zoom is digital).
  std::vector<int> srcX(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    srcX[static_cast<size_t>(x)] = static_cast<int>(int64_t{x} * view.canvasW / w);
  }
  auto srcRow = [&](int y) {
    return &pixels[static_cast<size_t>(int64_t{y} * view.canvasH / h) * view.canvasW];
  };

  const size_t stride = static_cast<size_t>(w) * 2;
  still_.resize(stride * static_cast<size_t>(h));
  // Memory row 0 is the bottom of the picture.
  auto dstRow = [&](int y) { return &still_[static_cast<size_t>(h - 1 - y) * stride]; };

  const int defocus = std::abs(std::clamp(settings.focus, 0, 1000) - 500);
  const int radius = static_cast<int>(int64_t{defocus} * w / (100 * kSceneWidth));
  if (radius == 0) {
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = srcRow(y);
      uint8_t* dst = dstRow(y);
      for (int x = 0; x < w; x += 2) {
        const Yuv& a = palette[src[srcX[static_cast<size_t>(x)]]];
        const Yuv& b = palette[src[srcX[static_cast<size_t>(x) + 1]]];
        dst[2 * x] = static_cast<uint8_t>((a.v + b.v + 1) >> 1);
        dst[2 * x + 1] = a.y;
        dst[2 * x + 2] = static_cast<uint8_t>((a.u + b.u + 1) >> 1);
        dst[2 * x + 3] = b.y;
      }
    }
  } else {
    // Chroma is shared by pixel pairs anyway, so its planes are half width.
    const int half = w / 2;
    const size_t area = static_cast<size_t>(w) * h;
    std::vector<uint8_t> ys(area), us(area / 2), vs(area / 2), scratch;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = srcRow(y);
      uint8_t* yRow = &ys[static_cast<size_t>(y) * w];
      uint8_t* uRow = &us[static_cast<size_t>(y) * half];
      uint8_t* vRow = &vs[static_cast<size_t>(y) * half];
      for (int p = 0; p < half; ++p) {
        const Yuv& a = palette[src[srcX[2 * static_cast<size_t>(p)]]];
        const Yuv& b = palette[src[srcX[2 * static_cast<size_t>(p) + 1]]];
        yRow[2 * p] = a.y;
        yRow[2 * p + 1] = b.y;
        uRow[p] = static_cast<uint8_t>((a.u + b.u + 1) >> 1);
        vRow[p] = static_cast<uint8_t>((a.v + b.v + 1) >> 1);
      }
    }
    BoxBlur(ys, scratch, w, h, radius, radius);
    BoxBlur(us, scratch, half, h, radius / 2, radius);
    BoxBlur(vs, scratch, half, h, radius / 2, radius);
    for (int y = 0; y < h; ++y) {
      const uint8_t* yRow = &ys[static_cast<size_t>(y) * w];
      const uint8_t* uRow = &us[static_cast<size_t>(y) * half];
      const uint8_t* vRow = &vs[static_cast<size_t>(y) * half];
      uint8_t* dst = dstRow(y);
      for (int p = 0; p < half; ++p) {
        dst[4 * p] = vRow[p];
        dst[4 * p + 1] = yRow[2 * p];
        dst[4 * p + 2] = uRow[p];
        dst[4 * p + 3] = yRow[2 * p + 1];
      }
    }
  }

  cachedSettings_ = settings;
  cacheValid_ = true;
}

uint32_t ReadSequenceStamp(std::span<const uint8_t> frame) {
  if (frame.size() < static_cast<size_t>(kSequenceBits) * 4) {
    return 0;
  }
  uint32_t value = 0;
  for (int i = 0; i < kSequenceBits; ++i) {
    value = (value << 1) | (frame[static_cast<size_t>(i) * 4 + 1] >= 128 ? 1u : 0u);
  }
  return value;
}

}  // namespace rd420::sim
