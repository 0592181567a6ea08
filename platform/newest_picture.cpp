#include "platform/newest_picture.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace rd420 {
namespace {

// One row of `width` BGR pixels to 32-bit pixels, opaque.
void ExpandRow(const uint8_t* source, uint32_t* target, int width) {
  for (int x = 0; x < width; ++x, source += 3) {
    target[x] = 0xFF000000u | static_cast<uint32_t>(source[2]) << 16 |
                static_cast<uint32_t>(source[1]) << 8 | source[0];
  }
}

#if defined(__x86_64__)
// Four pixels a step. Each load takes 16 bytes for the 12 it uses, so the
// row's last pixels go the plain way rather than read past it.
__attribute__((target("ssse3"))) void ExpandRowSsse3(const uint8_t* source, uint32_t* target,
                                                     int width) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; x + 6 <= width; x += 4, source += 12) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x),
                     _mm_or_si128(_mm_shuffle_epi8(pixels, spread), opaque));
  }
  ExpandRow(source, target + x, width - x);
}
#endif

using ExpandFunction = void (*)(const uint8_t*, uint32_t*, int);

ExpandFunction ChooseExpandFunction() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("ssse3")) {
    return ExpandRowSsse3;
  }
#endif
  return ExpandRow;
}

}  // namespace

void CopyBottomUpRows(std::span<const uint8_t> rows, QImage& picture) {
  static const ExpandFunction expand = ChooseExpandFunction();
  const int width = picture.width();
  const int height = picture.height();
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  if (rows.size() < rowBytes * static_cast<size_t>(height)) {
    return;
  }
  for (int y = 0; y < height; ++y) {
    expand(rows.data() + static_cast<size_t>(height - 1 - y) * rowBytes,
           reinterpret_cast<uint32_t*>(picture.scanLine(y)), width);
  }
}

}  // namespace rd420
