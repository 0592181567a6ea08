#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace rd420::sim {

// A 5x7 dot font of digits, capitals and a little punctuation, enough to
// write legible lines on the simulated document.
struct Glyph {
  char c;
  std::array<uint8_t, 7> rows;  // 5 bits each; bit 4 is the leftmost column
};

inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 7;
inline constexpr int kGlyphAdvance = 6;  // columns per character including the gap

// Null for spaces and characters the font lacks; they stay blank.
const Glyph* FindGlyph(char c);

// Calls fill(x0, y0, x1, y1) with a half-open rectangle for each horizontal
// run of set dots of `text` drawn at (x, y) with square dots of `dot`
// pixels, so a glyph row costs one rectangle rather than one per dot.
template <typename Fill>
void ForEachTextRun(std::string_view text, int x, int y, int dot, Fill&& fill) {
  for (char c : text) {
    if (const Glyph* g = FindGlyph(c)) {
      for (int r = 0; r < kGlyphRows; ++r) {
        const uint8_t bits = g->rows[static_cast<size_t>(r)];
        int col = 0;
        while (col < kGlyphColumns) {
          if ((bits & (0x10 >> col)) == 0) {
            ++col;
            continue;
          }
          const int start = col;
          while (col < kGlyphColumns && (bits & (0x10 >> col)) != 0) {
            ++col;
          }
          fill(x + start * dot, y + r * dot, x + col * dot, y + (r + 1) * dot);
        }
      }
    }
    x += kGlyphAdvance * dot;
  }
}

}  // namespace rd420::sim
