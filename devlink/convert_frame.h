#pragma once

#include <cstddef>
#include <cstdint>

namespace rd420 {

// Converts `length` bytes of V, Y0, U, Y1 frame data into 24-bit BGR:
// length / 4 groups, six output bytes each (a remainder of one to three
// bytes is ignored). `destination` must hold length / 4 * 6 bytes; nothing
// beyond that is written. BT.601 colour-difference factors in 8-bit fixed
// point on the full 0..255 range of Y, integers only. Uses the fastest path
// this processor supports; every path gives the reference's bytes.
void ConvertFrame(uint8_t* destination, const uint8_t* source, size_t length);

// The paths ConvertFrame chooses from, for tests and benchmarks. The plain
// loop is the definition the vector paths are checked against, and the
// only path on targets other than x86-64.
void ConvertFrameReference(uint8_t* destination, const uint8_t* source, size_t length);
#if RD420_X86_SIMD
void ConvertFrameSse2(uint8_t* destination, const uint8_t* source, size_t length);
// Only on a processor with AVX2 (CpuHasAvx2).
void ConvertFrameAvx2(uint8_t* destination, const uint8_t* source, size_t length);
bool CpuHasAvx2();
#endif

}  // namespace rd420
