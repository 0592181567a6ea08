// ConvertFrame's paths on one 1280x960 frame beside libyuv's route to the
// same 24-bit output and a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>

#include <cstring>
#include <random>
#include <vector>

#include "devlink/convert_frame.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 960;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 2;
constexpr size_t kBgrBytes = size_t{kWidth} * kHeight * 3;

const std::vector<uint8_t>& Frame() {
  static const std::vector<uint8_t> frame = [] {
    std::vector<uint8_t> bytes(kFrameBytes);
    std::mt19937 random(7);
    for (uint8_t& byte : bytes) {
      byte = static_cast<uint8_t>(random());
    }
    return bytes;
  }();
  return frame;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());  // frames
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kFrameBytes));
}

template <void (*Convert)(uint8_t*, const uint8_t*, size_t)>
void BM_ConvertFrame(benchmark::State& state) {
#if RD420_X86_SIMD
  if (Convert == rd420::ConvertFrameAvx2 && !rd420::CpuHasAvx2()) {
    state.SkipWithError("no AVX2 on this processor");
    return;
  }
#endif
  std::vector<uint8_t> out(kBgrBytes);
  for (auto _ : state) {
    Convert(out.data(), Frame().data(), kFrameBytes);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_ConvertFrame<rd420::ConvertFrameReference>)->Name("ConvertFrame/reference");
#if RD420_X86_SIMD
BENCHMARK(BM_ConvertFrame<rd420::ConvertFrameSse2>)->Name("ConvertFrame/sse2");
BENCHMARK(BM_ConvertFrame<rd420::ConvertFrameAvx2>)->Name("ConvertFrame/avx2");
#endif

void BM_LibyuvUyvyToArgb(benchmark::State& state) {
  std::vector<uint8_t> argb(size_t{kWidth} * kHeight * 4);
  for (auto _ : state) {
    libyuv::UYVYToARGB(Frame().data(), kWidth * 2, argb.data(), kWidth * 4, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_LibyuvUyvyToArgb)->Name("libyuv/UYVYToARGB");

// libyuv has no direct UYVY to 24-bit conversion; this is its route there.
void BM_LibyuvUyvyToRgb24(benchmark::State& state) {
  std::vector<uint8_t> argb(size_t{kWidth} * kHeight * 4);
  std::vector<uint8_t> out(kBgrBytes);
  for (auto _ : state) {
    libyuv::UYVYToARGB(Frame().data(), kWidth * 2, argb.data(), kWidth * 4, kWidth, kHeight);
    libyuv::ARGBToRGB24(argb.data(), kWidth * 4, out.data(), kWidth * 3, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_LibyuvUyvyToRgb24)->Name("libyuv/UYVYToARGB+ARGBToRGB24");

// One memcpy of as many bytes as a conversion reads and writes together
// (frame plus BGR output): a yardstick for the memory traffic.
void BM_Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> in(kFrameBytes + kBgrBytes, 0x5A);
  std::vector<uint8_t> out(kFrameBytes + kBgrBytes);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), in.size());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_Memcpy)->Name("memcpy/input+output");

}  // namespace

BENCHMARK_MAIN();
