// The SSE2 path of ConvertFrame, 16 pixels per step.
//
// Because 256 * y is a multiple of 256, (256 * y + c) >> 8 equals
// y + (c >> 8) exactly, so each chroma term is computed once per group in
// 32 bits, shifted, and added to both pixels' Y in 16 bits; the unsigned
// saturating pack is then exactly the clamp to 0..255.
#include <emmintrin.h>

#include "devlink/convert_frame.h"

namespace rd420 {
namespace {

// One 32-bit lane of coefficients for _mm_madd_epi16: `v` multiplies the
// group's V (low half), `u` its U (high half).
__m128i Coefficients(int16_t v, int16_t u) {
  return _mm_set1_epi32(static_cast<int32_t>(
      static_cast<uint16_t>(v) | (static_cast<uint32_t>(static_cast<uint16_t>(u)) << 16)));
}

// (v * cv + u * cu) >> 8 for the eight groups of two 16-byte inputs, as
// 16-bit values.
__m128i ChromaTerm(__m128i chroma0, __m128i chroma1, __m128i coefficients) {
  const __m128i term0 = _mm_srai_epi32(_mm_madd_epi16(chroma0, coefficients), 8);
  const __m128i term1 = _mm_srai_epi32(_mm_madd_epi16(chroma1, coefficients), 8);
  return _mm_packs_epi32(term0, term1);
}

// clamp(y + term) for 16 pixels; each group's term serves its two pixels.
__m128i AddToLuma(__m128i luma0, __m128i luma1, __m128i groupTerm) {
  return _mm_packus_epi16(_mm_add_epi16(luma0, _mm_unpacklo_epi16(groupTerm, groupTerm)),
                          _mm_add_epi16(luma1, _mm_unpackhi_epi16(groupTerm, groupTerm)));
}

// Four B, G, R, 0 pixels to their 12 BGR bytes at the bottom of the result.
__m128i PackFourPixels(__m128i pixels) {
  const __m128i low = _mm_and_si128(pixels, _mm_set1_epi64x(0x0000000000FFFFFF));
  const __m128i high =
      _mm_and_si128(_mm_srli_epi64(pixels, 8), _mm_set1_epi64x(0x0000FFFFFF000000));
  const __m128i six = _mm_or_si128(low, high);  // six bytes in each 64-bit half
  return _mm_or_si128(_mm_move_epi64(six), _mm_slli_si128(_mm_srli_si128(six, 8), 6));
}

void ConvertSixteenPixels(uint8_t* destination, const uint8_t* source) {
  const __m128i in0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  const __m128i in1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
  const __m128i luma0 = _mm_srli_epi16(in0, 8);
  const __m128i luma1 = _mm_srli_epi16(in1, 8);
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i chroma0 = _mm_sub_epi16(_mm_and_si128(in0, lowBytes), bias);
  const __m128i chroma1 = _mm_sub_epi16(_mm_and_si128(in1, lowBytes), bias);

  const __m128i blue = AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(0, 454)));
  const __m128i green =
      AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(-183, -88)));
  const __m128i red = AddToLuma(luma0, luma1, ChromaTerm(chroma0, chroma1, Coefficients(359, 0)));

  const __m128i zero = _mm_setzero_si128();
  const __m128i blueGreen0 = _mm_unpacklo_epi8(blue, green);
  const __m128i blueGreen1 = _mm_unpackhi_epi8(blue, green);
  const __m128i red0 = _mm_unpacklo_epi8(red, zero);
  const __m128i red1 = _mm_unpackhi_epi8(red, zero);
  const __m128i bytes0 = PackFourPixels(_mm_unpacklo_epi16(blueGreen0, red0));
  const __m128i bytes1 = PackFourPixels(_mm_unpackhi_epi16(blueGreen0, red0));
  const __m128i bytes2 = PackFourPixels(_mm_unpacklo_epi16(blueGreen1, red1));
  const __m128i bytes3 = PackFourPixels(_mm_unpackhi_epi16(blueGreen1, red1));

  __m128i* out = reinterpret_cast<__m128i*>(destination);
  _mm_storeu_si128(out, _mm_or_si128(bytes0, _mm_slli_si128(bytes1, 12)));
  _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(bytes1, 4), _mm_slli_si128(bytes2, 8)));
  _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(bytes2, 8), _mm_slli_si128(bytes3, 4)));
}

}  // namespace

void ConvertFrameSse2(uint8_t* destination, const uint8_t* source, size_t length) {
  constexpr size_t kStepBytes = 32;
  const size_t vectorBytes = length / kStepBytes * kStepBytes;
  for (size_t done = 0; done < vectorBytes; done += kStepBytes) {
    ConvertSixteenPixels(destination + done / 2 * 3, source + done);
  }
  ConvertFrameReference(destination + vectorBytes / 2 * 3, source + vectorBytes,
                        length - vectorBytes);
}

}  // namespace rd420
