#include "devlink/convert_frame.h"

namespace rd420 {
namespace {

uint8_t Clamp(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// >> on a negative int is an arithmetic shift (rounds toward minus
// infinity), which the formula relies on.
void WritePixel(uint8_t* bgr, int y, int u, int v) {
  bgr[0] = Clamp((256 * y + 454 * u) >> 8);
  bgr[1] = Clamp((256 * y - (183 * v + 88 * u)) >> 8);
  bgr[2] = Clamp((256 * y + 359 * v) >> 8);
}

using ConvertFunction = void (*)(uint8_t*, const uint8_t*, size_t);

ConvertFunction ChooseConvertFunction() {
#if RD420_X86_SIMD
  return CpuHasAvx2() ? ConvertFrameAvx2 : ConvertFrameSse2;
#else
  return ConvertFrameReference;
#endif
}

}  // namespace

void ConvertFrameReference(uint8_t* destination, const uint8_t* source, size_t length) {
  for (size_t group = 0; group < length / 4; ++group) {
    const int v = source[0] - 128;
    const int u = source[2] - 128;
    WritePixel(destination, source[1], u, v);
    WritePixel(destination + 3, source[3], u, v);
    destination += 6;
    source += 4;
  }
}

#if RD420_X86_SIMD
bool CpuHasAvx2() {
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  return hasAvx2;
}
#endif

void ConvertFrame(uint8_t* destination, const uint8_t* source, size_t length) {
  static const ConvertFunction convert = ChooseConvertFunction();
  convert(destination, source, length);
}

}  // namespace rd420
