#include "platform/drawing_surface.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>

#include <algorithm>
#include <cmath>
#include <string>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

namespace rd420 {
namespace {

FT_Library Library(void* library) {
  return static_cast<FT_Library>(library);
}
FT_Face Face(void* face) {
  return static_cast<FT_Face>(face);
}

// The file and face index fontconfig picks for `name`; empty when none.
std::pair<std::string, int> MatchFont(const char* name) {
  std::pair<std::string, int> found{{}, 0};
  // A configuration of our own, freed after the match: the process-wide one
  // would stay allocated to the end (and belongs to Qt where Qt runs).
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) {
    return found;
  }
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name));
  FcPattern* match = nullptr;
  if (pattern != nullptr) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
  }
  FcChar8* file = nullptr;
  int index = 0;
  if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    found = {reinterpret_cast<const char*>(file), index};
  }
  if (match != nullptr) {
    FcPatternDestroy(match);
  }
  FcConfigDestroy(config);
  return found;
}

// Next code point of `text` at `at`; an invalid byte stands for itself.
char32_t NextCodePoint(std::string_view text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const int length = lead < 0x80         ? 1
                     : (lead >> 5) == 6  ? 2
                     : (lead >> 4) == 14 ? 3
                     : (lead >> 3) == 30 ? 4
                                         : 1;
  if (length == 1 || at + static_cast<size_t>(length) > text.size()) {
    ++at;
    return lead;
  }
  char32_t value = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    value = (value << 6) | (byte(at + static_cast<size_t>(i)) & 0x3F);
  }
  at += static_cast<size_t>(length);
  return value;
}

}  // namespace

DrawingSurface::~DrawingSurface() {
  if (face_ != nullptr) {
    FT_Done_Face(Face(face_));
  }
  if (library_ != nullptr) {
    FT_Done_FreeType(Library(library_));
  }
}

bool DrawingSurface::CreateContext() {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) {
    return false;
  }
  library_ = library;
  return true;
}

bool DrawingSurface::CreatePicture(int width, int height) {
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
    return false;
  }
  width_ = width;
  height_ = height;
  rowBytes_ = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  try {
    pixels_.assign(rowBytes_ * static_cast<size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool DrawingSurface::CreateFont(const char* faceName, int cellHeight) {
  if (library_ == nullptr || cellHeight <= 0) {
    return false;
  }
  const auto [file, index] = MatchFont(faceName);
  FT_Face face = nullptr;
  if (file.empty() || FT_New_Face(Library(library_), file.c_str(), index, &face) != 0) {
    return false;
  }
  face_ = face;
  // A positive font height is the whole cell: the Windows ascent and
  // descent of the font together fill it.
  double ascent = face->ascender;
  double descent = -face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
  }
  const double scale = cellHeight / (ascent + descent);
  const auto emPixels = static_cast<FT_F26Dot6>(std::lround(face->units_per_EM * scale * 64));
  if (FT_Set_Char_Size(face, 0, emPixels, 72, 72) != 0) {
    return false;
  }
  cellHeight_ = cellHeight;
  baseline_ = static_cast<int>(std::lround(ascent * scale));
  return true;
}

void DrawingSurface::DrawText(int x, int y, std::string_view utf8) {
  if (face_ == nullptr || pixels_.empty()) {
    return;
  }
  FT_Face face = Face(face_);
  // Sets one pixel, counted from the top, to a grey of `level` (white text
  // over the black box, blended by coverage).
  const auto put = [&](int px, int py, uint8_t level) {
    if (px < 0 || py < 0 || px >= width_ || py >= height_) {
      return;
    }
    uint8_t* p = pixels_.data() + rowBytes_ * static_cast<size_t>(height_ - 1 - py) +
                 static_cast<size_t>(px) * 3;
    p[0] = p[1] = p[2] = level;
  };
  int pen = x;
  for (size_t at = 0; at < utf8.size() && pen < width_;) {
    const char32_t code = NextCodePoint(utf8, at);
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
      continue;
    }
    const FT_GlyphSlot glyph = face->glyph;
    const int advance = static_cast<int>((glyph->advance.x + 32) >> 6);
    for (int row = 0; row < cellHeight_; ++row) {
      for (int column = 0; column < advance; ++column) {
        put(pen + column, y + row, 0);
      }
    }
    const FT_Bitmap& bitmap = glyph->bitmap;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      for (unsigned column = 0; column < bitmap.width; ++column) {
        const uint8_t coverage = bitmap.buffer[static_cast<int>(row) * bitmap.pitch + column];
        const int py = y + baseline_ - glyph->bitmap_top + static_cast<int>(row);
        // Ink stays inside the line's box, as it does in a cell.
        if (coverage != 0 && py >= y && py < y + cellHeight_) {
          put(pen + glyph->bitmap_left + static_cast<int>(column), py, coverage);
        }
      }
    }
    pen += advance;
  }
}

}  // namespace rd420
