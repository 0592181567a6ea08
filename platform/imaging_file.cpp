#include "platform/imaging_file.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/whole_file.h"

namespace rd420 {
namespace {

constexpr size_t kBmpFileHeaderBytes = 14;
constexpr size_t kBmpHeadersBytes = kBmpFileHeaderBytes + kDibHeaderBytes;
// How many files one name may stand for in SaveBitmapFileAsNew.
constexpr int kMaxCopiesOfAName = 1000;

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

struct TjDestroy {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

struct TjFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjFree>;

bool Fail(std::string* error, const char* what, int code) {
  if (error != nullptr) {
    *error = std::string(what) + ": " + std::strerror(code);
  }
  return false;
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const ImagingBitmap& bitmap) {
  if (bitmap.Empty()) {
    return {};
  }
  const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 3;
  const size_t stride = (rowBytes + 3) & ~size_t{3};
  const size_t imageBytes = stride * static_cast<size_t>(bitmap.Height());
  std::vector<uint8_t> file;
  try {
    file.assign(kBmpHeadersBytes + imageBytes, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, static_cast<uint32_t>(file.size()));
  PutU32(file, 10, static_cast<uint32_t>(kBmpHeadersBytes));
  PutU32(file, 14, static_cast<uint32_t>(kDibHeaderBytes));
  PutU32(file, 18, static_cast<uint32_t>(bitmap.Width()));
  PutU32(file, 22, static_cast<uint32_t>(bitmap.Height()));  // positive: bottom-up
  PutU16(file, 26, 1);                                       // planes
  PutU16(file, 28, 24);                                      // bits per pixel
  PutU32(file, 34, static_cast<uint32_t>(imageBytes));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto row = bitmap.Row(bitmap.Height() - 1 - y);
    std::copy(row.begin(), row.end(),
              file.begin() + static_cast<ptrdiff_t>(kBmpHeadersBytes + stride * y));
  }
  return file;
}

std::vector<uint8_t> EncodeJpeg(const ImagingBitmap& bitmap) {
  if (bitmap.Empty()) {
    return {};
  }
  TjHandle encoder(tjInitCompress());
  if (!encoder) {
    return {};
  }
  unsigned char* output = nullptr;
  unsigned long outputBytes = 0;
  const int result = tjCompress2(encoder.get(), bitmap.Pixels().data(), bitmap.Width(),
                                 bitmap.Width() * 3, bitmap.Height(), TJPF_BGR, &output,
                                 &outputBytes, TJSAMP_444, kJpegQuality, TJFLAG_ACCURATEDCT);
  TjBuffer owned(output);
  if (result != 0 || output == nullptr) {
    return {};
  }
  try {
    return std::vector<uint8_t>(output, output + outputBytes);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

namespace {

// The bytes of `bitmap` as a `format` file, or empty with `error` set.
std::vector<uint8_t> EncodeForSave(const ImagingBitmap& bitmap, ImageFileFormat format,
                                   int bitsPerPixel, std::string* error) {
  if (bitsPerPixel != 24 || bitmap.Empty()) {
    Fail(error, "nothing to save", EINVAL);
    return {};
  }
  std::vector<uint8_t> bytes =
      format == ImageFileFormat::kBmp ? EncodeBmp(bitmap) : EncodeJpeg(bitmap);
  if (bytes.empty()) {
    Fail(error, "encoding", ENOMEM);
  }
  return bytes;
}

}  // namespace

bool SaveBitmapFile(const std::string& path, const ImagingBitmap& bitmap, ImageFileFormat format,
                    int bitsPerPixel, int /*qualityFactor*/, std::string* error) {
  const std::vector<uint8_t> bytes = EncodeForSave(bitmap, format, bitsPerPixel, error);
  return !bytes.empty() && WriteWholeFile(path, {bytes}, error);
}

bool SaveBitmapFileAsNew(const std::function<std::string(int)>& nameFor,
                         const ImagingBitmap& bitmap, ImageFileFormat format, int bitsPerPixel,
                         std::string* error) {
  const std::vector<uint8_t> bytes = EncodeForSave(bitmap, format, bitsPerPixel, error);
  return !bytes.empty() && WriteNewFile(nameFor, kMaxCopiesOfAName, {bytes}, error);
}

}  // namespace rd420
