// The AVX2 path of ConvertFrame, 32 pixels per step; compiled with -mavx2
// and called only on processors that have it. The arithmetic is the SSE2
// path's (see convert_frame_sse2.cpp) on twice the width. AVX2 works in two
// 128-bit lanes, so each lane is given 16 whole consecutive pixels and the
// lanes' 48 output bytes are put back in order before the stores.
#include <immintrin.h>

#include "devlink/convert_frame.h"

namespace rd420 {
namespace {

__m256i Coefficients(int16_t v, int16_t u) {
  return _mm256_set1_epi32(static_cast<int32_t>(
      static_cast<uint16_t>(v) | (static_cast<uint32_t>(static_cast<uint16_t>(u)) << 16)));
}

__m256i ChromaTerm(__m256i chroma0, __m256i chroma1, __m256i coefficients) {
  const __m256i term0 = _mm256_srai_epi32(_mm256_madd_epi16(chroma0, coefficients), 8);
  const __m256i term1 = _mm256_srai_epi32(_mm256_madd_epi16(chroma1, coefficients), 8);
  return _mm256_packs_epi32(term0, term1);
}

__m256i AddToLuma(__m256i luma0, __m256i luma1, __m256i groupTerm) {
  return _mm256_packus_epi16(_mm256_add_epi16(luma0, _mm256_unpacklo_epi16(groupTerm, groupTerm)),
                             _mm256_add_epi16(luma1, _mm256_unpackhi_epi16(groupTerm, groupTerm)));
}

// Per lane: four B, G, R, 0 pixels to their 12 BGR bytes at the bottom.
__m256i PackFourPixels(__m256i pixels) {
  const __m256i dropFourth =
      _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                       0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  return _mm256_shuffle_epi8(pixels, dropFourth);
}

__m256i LoadLanes(const uint8_t* low, const uint8_t* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

void ConvertThirtyTwoPixels(uint8_t* destination, const uint8_t* source) {
  const __m256i in0 = LoadLanes(source, source + 32);
  const __m256i in1 = LoadLanes(source + 16, source + 48);
  const __m256i luma0 = _mm256_srli_epi16(in0, 8);
  const __m256i luma1 = _mm256_srli_epi16(in1, 8);
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i chroma0 = _mm256_sub_epi16(_mm256_and_si256(in0, lowBytes), bias);
  const __m256i chroma1 = _mm256_sub_epi16(_mm256_and_si256(in1, lowBytes), bias);

  const __m256i blue = AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(0, 454)));
  const __m256i green =
      AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(-183, -88)));
  const __m256i red = AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(359, 0)));

  const __m256i zero = _mm256_setzero_si256();
  const __m256i blueGreen0 = _mm256_unpacklo_epi8(blue, green);
  const __m256i blueGreen1 = _mm256_unpackhi_epi8(blue, green);
  const __m256i red0 = _mm256_unpacklo_epi8(red, zero);
  const __m256i red1 = _mm256_unpackhi_epi8(red, zero);
  const __m256i bytes0 = PackFourPixels(_mm256_unpacklo_epi16(blueGreen0, red0));
  const __m256i bytes1 = PackFourPixels(_mm256_unpackhi_epi16(blueGreen0, red0));
  const __m256i bytes2 = PackFourPixels(_mm256_unpacklo_epi16(blueGreen1, red1));
  const __m256i bytes3 = PackFourPixels(_mm256_unpackhi_epi16(blueGreen1, red1));

  // Each lane's 48 bytes, in three 16-byte pieces per lane.
  const __m256i out0 = _mm256_or_si256(bytes0, _mm256_bslli_epi128(bytes1, 12));
  const __m256i out1 =
      _mm256_or_si256(_mm256_bsrli_epi128(bytes1, 4), _mm256_bslli_epi128(bytes2, 8));
  const __m256i out2 =
      _mm256_or_si256(_mm256_bsrli_epi128(bytes2, 8), _mm256_bslli_epi128(bytes3, 4));

  __m256i* out = reinterpret_cast<__m256i*>(destination);
  _mm256_storeu_si256(out, _mm256_permute2x128_si256(out0, out1, 0x20));
  _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(out2, out0, 0x30));
  _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(out1, out2, 0x31));
}

}  // namespace

void ConvertFrameAvx2(uint8_t* destination, const uint8_t* source, size_t length) {
  constexpr size_t kStepBytes = 64;
  const size_t vectorBytes = length / kStepBytes * kStepBytes;
  for (size_t done = 0; done < vectorBytes; done += kStepBytes) {
    ConvertThirtyTwoPixels(destination + done / 2 * 3, source + done);
  }
  ConvertFrameSse2(destination + vectorBytes / 2 * 3, source + vectorBytes, length - vectorBytes);
}

}  // namespace rd420
