// libFuzzer target: any sequence of triplets, with any argument bytes, and
// stills of any size handed over between them. Pointers inside the
// arguments are pointed at buffers of their declared size, as a working
// application's would be; everything else is the fuzzer's.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/message.h"
#include "twain/data_source.h"

namespace {

using namespace rd420::twain;

constexpr TW_UINT16 kDats[] = {
    DAT_IDENTITY,     DAT_USERINTERFACE, DAT_CAPABILITY,      DAT_STATUS,          DAT_PENDINGXFERS,
    DAT_SETUPMEMXFER, DAT_SETUPFILEXFER, DAT_XFERGROUP,       DAT_EVENT,           DAT_IMAGEINFO,
    DAT_IMAGELAYOUT,  DAT_IMAGEMEMXFER,  DAT_IMAGENATIVEXFER, DAT_IMAGEFILEXFER,   DAT_PALETTE8,
    DAT_GRAYRESPONSE, DAT_RGBRESPONSE,   DAT_CIECOLOR,        DAT_JPEGCOMPRESSION,
};
constexpr TW_UINT16 kMessages[] = {
    MSG_GET,      MSG_GETCURRENT, MSG_GETDEFAULT,   MSG_GETFIRST, MSG_GETNEXT,
    MSG_SET,      MSG_RESET,      MSG_QUERYSUPPORT, MSG_OPENDS,   MSG_CLOSEDS,
    MSG_ENABLEDS, MSG_DISABLEDS,  MSG_PROCESSEVENT, MSG_ENDXFER,
};

class Input {
 public:
  Input(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return used_ >= size_; }
  std::uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }
  void Fill(void* out, size_t bytes) {
    const size_t take = std::min(bytes, size_ - used_);
    std::memcpy(out, data_ + used_, take);
    used_ += take;
  }

 private:
  const std::uint8_t* data_;
  size_t size_;
  size_t used_ = 0;
};

class FuzzView final : public ViewHost {
 public:
  explicit FuzzView(ImageGeometry* geometry) : geometry_(geometry) {}
  TW_UINT16 Open(TW_HANDLE, bool) override { return TWCC_SUCCESS; }
  void Close() override {}
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override { return *geometry_; }

 private:
  ImageGeometry* geometry_;
};

std::filesystem::path g_folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/twain-fuzz-XXXXXX";
  g_folder = mkdtemp(pattern);
  setenv("TMPDIR", g_folder.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", g_folder.c_str(), 1);
  for (const char* name : {"XGA_FULL.bmp", "XGA_HALF.bmp", "720P_FULL.bmp", "720P_HALF.bmp"}) {
    std::filesystem::copy_file(std::filesystem::path(TWAIN_TEMPLATE_DIR) / name, g_folder / name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  rd420::SetMessageSink([](const void*, const rd420::Message&) {});
  std::atexit([] { std::filesystem::remove_all(g_folder); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  Input input(data, size);
  ImageGeometry geometry;
  DataSource source(g_folder, std::make_unique<FuzzView>(&geometry));
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 1;
  app.ProtocolMinor = 9;
  TW_IDENTITY other{};
  other.Id = 8;
  std::vector<std::uint8_t> still;
  std::vector<std::uint8_t> strip(65536);
  const std::string fileName = (g_folder / "fuzz.bmp").string();

  for (int step = 0; step < 64 && !input.Empty(); ++step) {
    const std::uint8_t op = input.Byte();
    if (op % 16 == 14) {
      // Whole stills of each picture size, an empty one, and one whose
      // bytes do not fill the size it claims.
      const struct {
        int width, height;
        size_t bytes;
      } stills[] = {{0, 0, 0},
                    {640, 360, 640 * 360 * 3},
                    {640, 480, 640 * 480 * 3},
                    {1280, 720, 1280 * 720 * 3},
                    {1280, 960, 1280 * 960 * 3},
                    {640, 480, 1000}};
      const auto& pick = stills[input.Byte() % 6];
      still.assign(pick.bytes, input.Byte());
      source.HandOverStill(still, pick.width, pick.height);
      continue;
    }
    if (op % 16 == 15) {
      geometry = {(input.Byte() & 1) != 0, input.Byte(), (input.Byte() & 1) != 0};
      continue;
    }
    const std::uint8_t pick = input.Byte();
    const TW_UINT32 dg = (op & 0x30) == 0x30 ? input.Byte()
                         : (op & 0x10) != 0  ? DG_IMAGE
                                             : DG_CONTROL;
    const TW_UINT16 dat = pick < 0xF0 ? kDats[pick % std::size(kDats)] : input.Byte();
    const std::uint8_t which = input.Byte();
    const TW_UINT16 msg = which < 0xF0 ? kMessages[which % std::size(kMessages)] : input.Byte();

    alignas(8) std::uint8_t argument[2048] = {};
    alignas(8) std::uint8_t container[256] = {};
    input.Fill(argument, input.Byte());
    switch (dat) {
      case DAT_CAPABILITY: {
        auto* capability = reinterpret_cast<TW_CAPABILITY*>(argument);
        input.Fill(container, input.Byte());
        capability->hContainer = (op & 0x40) != 0 ? nullptr : container;
        break;
      }
      case DAT_IMAGEMEMXFER: {
        auto* xfer = reinterpret_cast<TW_IMAGEMEMXFER*>(argument);
        const TW_UINT32 length = xfer->Memory.Length;  // packed: copied, not bound
        xfer->Memory.Length = std::min<TW_UINT32>(length, strip.size());
        xfer->Memory.TheMem = (op & 0x40) != 0 ? nullptr : strip.data();
        break;
      }
      case DAT_SETUPFILEXFER:
        // Files only in the fuzzer's own folder.
        std::memset(argument, 0, 256);
        std::memcpy(argument, fileName.data(), fileName.size());
        break;
      default:
        break;
    }
    TW_IDENTITY* origin = (op & 0x80) == 0 ? &app : (op & 0x40) != 0 ? nullptr : &other;
    void* pData = (op & 0x0C) == 0x0C ? nullptr : argument;
    const TW_UINT16 rc = source.Entry(origin, dg, dat, msg, pData);

    // Give back what the source handed over, as the application would.
    if (pData != nullptr && dat == DAT_CAPABILITY && rc == TWRC_SUCCESS && msg != MSG_SET) {
      std::free(reinterpret_cast<TW_CAPABILITY*>(argument)->hContainer);
    } else if (pData != nullptr && dat == DAT_IMAGENATIVEXFER && rc == TWRC_XFERDONE) {
      TW_HANDLE dib;
      std::memcpy(&dib, argument, sizeof dib);
      std::free(dib);
    }
  }
  return 0;
}
