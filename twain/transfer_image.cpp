#include "twain/transfer_image.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace rd420::twain {

static_assert(std::endian::native == std::endian::little, "bitmap headers are read in place");

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadExactly(std::FILE* file, void* out, size_t bytes) {
  return std::fread(out, 1, bytes, file) == bytes;
}

}  // namespace

std::optional<ImageSize> ImageSizeFor(const ImageGeometry& geometry) {
  const int kind = geometry.displayMode & 0x0F;
  if (kind != 1 && kind != 2) {
    return std::nullopt;
  }
  const bool full = kind == 1 || geometry.alwaysFull;
  if (geometry.aspect43) {
    return full ? ImageSize{1280, 960, "XGA_FULL.bmp"} : ImageSize{640, 480, "XGA_HALF.bmp"};
  }
  return full ? ImageSize{1280, 720, "720P_FULL.bmp"} : ImageSize{640, 360, "720P_HALF.bmp"};
}

std::optional<BitmapInfoHeader> ReadTemplateHeader(const std::filesystem::path& path,
                                                   const ImageSize& size) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return std::nullopt;
  }
  std::uint8_t fileHeader[kFileHeaderBytes];
  if (!ReadExactly(file.get(), fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
      fileHeader[1] != 'M') {
    // No file header: the info header starts the file.
    std::rewind(file.get());
  }
  BitmapInfoHeader header{};
  if (!ReadExactly(file.get(), &header.biSize, sizeof header.biSize)) {
    return std::nullopt;
  }
  if (header.biSize == sizeof(BitmapInfoHeader)) {
    if (!ReadExactly(file.get(), &header.biWidth, sizeof header - sizeof header.biSize)) {
      return std::nullopt;
    }
  } else if (header.biSize == kCoreHeaderBytes) {
    std::uint16_t core[4];  // width, height, planes, bit count
    if (!ReadExactly(file.get(), core, sizeof core)) {
      return std::nullopt;
    }
    header = BitmapInfoHeader{};
    header.biSize = sizeof(BitmapInfoHeader);
    header.biWidth = core[0];
    header.biHeight = core[1];
    header.biPlanes = core[2];
    header.biBitCount = core[3];
  } else {
    return std::nullopt;
  }
  const std::uint32_t rowBytes = DibRowBytes(24, static_cast<std::uint32_t>(size.width));
  if (header.biWidth != size.width || header.biHeight != size.height || header.biPlanes != 1 ||
      header.biBitCount != 24 || header.biCompression != 0 || header.biClrUsed != 0) {
    return std::nullopt;
  }
  if (header.biSizeImage == 0) {
    header.biSizeImage = rowBytes * static_cast<std::uint32_t>(size.height);
  }
  if (header.biSizeImage != rowBytes * static_cast<std::uint32_t>(size.height)) {
    return std::nullopt;
  }
  return header;
}

bool TransferImage::Build(const BitmapInfoHeader& header, std::span<const std::uint8_t> frame) {
  Release();
  const size_t sizeBytes = sizeof header + header.biSizeImage;
  DibBlock block(static_cast<std::uint8_t*>(std::calloc(1, sizeBytes)));
  if (!block) {
    return false;
  }
  std::memcpy(block.get(), &header, sizeof header);
  const size_t pixelBytes = static_cast<size_t>(header.biWidth) * header.biHeight * 3;
  std::memcpy(block.get() + sizeof header, frame.data(), std::min(pixelBytes, frame.size()));
  block_ = std::move(block);
  sizeBytes_ = sizeBytes;
  bytesPerRow_ = DibRowBytes(header.biBitCount, static_cast<std::uint32_t>(header.biWidth));
  rowsDelivered_ = 0;
  return true;
}

void TransferImage::Release() {
  block_.reset();
  sizeBytes_ = 0;
  bytesPerRow_ = 0;
  rowsDelivered_ = 0;
}

DibBlock TransferImage::Take(size_t& sizeBytes) {
  sizeBytes = sizeBytes_;
  DibBlock block = std::move(block_);
  Release();
  return block;
}

const BitmapInfoHeader& TransferImage::Header() const {
  return *reinterpret_cast<const BitmapInfoHeader*>(block_.get());
}

std::uint32_t TransferImage::RowsLeft() const {
  if (!block_) {
    return 0;
  }
  return static_cast<std::uint32_t>(Header().biHeight) - rowsDelivered_;
}

std::uint32_t TransferImage::CopyStrip(std::span<std::uint8_t> out, bool swapRedBlue) {
  if (!block_ || bytesPerRow_ == 0) {
    return 0;
  }
  const std::uint32_t rows =
      std::min<std::uint32_t>(static_cast<std::uint32_t>(out.size() / bytesPerRow_), RowsLeft());
  const auto height = static_cast<std::uint32_t>(Header().biHeight);
  const auto pixelBytes = static_cast<std::uint32_t>(Header().biWidth) * 3;
  const std::uint8_t* firstRow = block_.get() + sizeof(BitmapInfoHeader);
  for (std::uint32_t i = 0; i < rows; ++i) {
    // The DIB is bottom-up: the picture's top row is its last.
    const std::uint8_t* row = firstRow + size_t{height - 1 - rowsDelivered_} * bytesPerRow_;
    std::uint8_t* target = out.data() + size_t{i} * bytesPerRow_;
    std::memcpy(target, row, bytesPerRow_);
    if (swapRedBlue) {
      for (std::uint32_t x = 0; x + 2 < pixelBytes; x += 3) {
        std::swap(target[x], target[x + 2]);
      }
    }
    ++rowsDelivered_;
  }
  return rows;
}

}  // namespace rd420::twain
