#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace rd420 {

// A drawing surface over a bottom-up 24-bit picture, for burning a line of
// text into recorded frames: white text on a black box, in a font matched
// by name through fontconfig (Arial is Liberation Sans on Debian, the same
// metrics) and drawn with FreeType. Created and used by one thread.
class DrawingSurface {
 public:
  DrawingSurface() = default;
  ~DrawingSurface();
  DrawingSurface(const DrawingSurface&) = delete;
  DrawingSurface& operator=(const DrawingSurface&) = delete;

  // The three steps of making the surface, each false when it fails: the
  // drawing context (the font engine), the picture memory and the font.
  bool CreateContext();
  bool CreatePicture(int width, int height);
  // `cellHeight` is the height of a text line in pixels, as a font's
  // positive height: ascent and descent together.
  bool CreateFont(const char* faceName, int cellHeight);

  // The picture: rows bottom-up, width * 3 bytes each (640 wide needs no
  // padding; other widths are padded to 4 bytes).
  std::span<uint8_t> Pixels() { return pixels_; }
  size_t RowBytes() const { return rowBytes_; }

  // Draws `utf8` with its top-left corner at (x, y), counted from the top
  // of the picture as shown: a black box of the line's height and advance,
  // the glyphs white on it. What runs past the picture's edges is cut off.
  void DrawText(int x, int y, std::string_view utf8);

 private:
  void* library_ = nullptr;  // FT_Library
  void* face_ = nullptr;     // FT_Face
  int width_ = 0;
  int height_ = 0;
  size_t rowBytes_ = 0;
  int cellHeight_ = 0;
  int baseline_ = 0;  // from the top of the cell
  std::vector<uint8_t> pixels_;
};

}  // namespace rd420
