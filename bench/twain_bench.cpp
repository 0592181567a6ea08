// The data source's transfers of one 1280x960 still: the hand-over copy,
// a native transfer, a memory transfer in 65535-byte strips and a file
// transfer, each from state 600.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "twain/data_source.h"

namespace {

using namespace rd420::twain;

class FullView final : public ViewHost {
 public:
  TW_UINT16 Open(TW_HANDLE, bool) override { return TWCC_SUCCESS; }
  void Close() override {}
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override { return {true, 1, false}; }
};

struct Session {
  Session() : source(TWAIN_TEMPLATE_DIR, std::make_unique<FullView>()), still(1280 * 960 * 3, 90) {
    app.Id = 7;
    app.ProtocolMinor = 9;
    app.ProtocolMajor = 1;
    TW_IDENTITY identity{};
    identity.Id = 42;
    source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity);
    TW_USERINTERFACE ui{kTwTrue, kTwFalse, nullptr};
    source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }
  void EndTransfer() {
    TW_PENDINGXFERS pending{};
    source.Entry(&app, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  }
  DataSource source;
  TW_IDENTITY app{};
  std::vector<std::uint8_t> still;
};

void BM_HandOverStill(benchmark::State& state) {
  Session session;
  for (auto _ : state) {
    session.source.HandOverStill(session.still, 1280, 960);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(session.still.size()));
}
BENCHMARK(BM_HandOverStill)->Unit(benchmark::kMillisecond);

void BM_NativeTransfer(benchmark::State& state) {
  Session session;
  session.source.HandOverStill(session.still, 1280, 960);
  for (auto _ : state) {
    TW_HANDLE dib = nullptr;
    if (session.source.Entry(&session.app, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) !=
        TWRC_XFERDONE) {
      state.SkipWithError("native transfer failed");
      break;
    }
    std::free(dib);
    session.EndTransfer();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(session.still.size()));
}
BENCHMARK(BM_NativeTransfer)->Unit(benchmark::kMillisecond);

void BM_MemoryTransfer(benchmark::State& state) {
  Session session;
  session.source.HandOverStill(session.still, 1280, 960);
  std::vector<std::uint8_t> strip(65535);
  for (auto _ : state) {
    TW_UINT16 rc = TWRC_SUCCESS;
    while (rc == TWRC_SUCCESS) {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = {0, static_cast<TW_UINT32>(strip.size()), strip.data()};
      rc = session.source.Entry(&session.app, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    }
    if (rc != TWRC_XFERDONE) {
      state.SkipWithError("memory transfer failed");
      break;
    }
    session.EndTransfer();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(session.still.size()));
}
BENCHMARK(BM_MemoryTransfer)->Unit(benchmark::kMillisecond);

void BM_FileTransfer(benchmark::State& state) {
  Session session;
  session.source.HandOverStill(session.still, 1280, 960);
  for (auto _ : state) {
    if (session.source.Entry(&session.app, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr) !=
        TWRC_XFERDONE) {
      state.SkipWithError("file transfer failed");
      break;
    }
    session.EndTransfer();
  }
  std::filesystem::remove(DefaultTransferFilePath());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(session.still.size()));
}
BENCHMARK(BM_FileTransfer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
