#include "platform/imaging_file.h"

#include <fcntl.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <random>

#include "platform/unique_fd.h"

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

// Writes all of `bytes`; false with errno set when the file system refuses
// any of them (EFBIG past a size limit, ENOSPC on a full disk).
bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

// A new file beside `path` that nobody else has: the rename that ends the
// save stays within one file system. Its name is short whatever the final
// name's length, so a name near the file system's limit still saves.
// Created 0666 less the umask, as the final file would be (mkostemp would
// make it 0600).
UniqueFd CreateTemporaryBeside(const std::string& path, std::string& temporary) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temporary = folder + ".rd420-" + suffix;
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Valid() || errno != EEXIST) {
      return fd;
    }
  }
  return UniqueFd();
}

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

// Encodes `bitmap`, writes it whole to a new file beside `path` and hands
// that file's name to `place`, which moves it to its final name and
// returns 0 or the errno of its failure. Nothing is left behind on a
// failure.
bool WriteThenPlace(const std::string& path, const ImagingBitmap& bitmap, ImageFileFormat format,
                    int bitsPerPixel, std::string* error,
                    const std::function<int(const std::string&)>& place) {
  if (bitsPerPixel != 24 || bitmap.Empty() || path.empty()) {
    return Fail(error, "nothing to save", EINVAL);
  }
  const std::vector<uint8_t> bytes =
      format == ImageFileFormat::kBmp ? EncodeBmp(bitmap) : EncodeJpeg(bitmap);
  if (bytes.empty()) {
    return Fail(error, "encoding", ENOMEM);
  }
  std::string temporary;
  UniqueFd fd = CreateTemporaryBeside(path, temporary);
  if (!fd.Valid()) {
    return Fail(error, "create", errno);
  }
  // Synced before the rename: after a crash the name holds the old file or
  // the whole new one.
  if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return Fail(error, "write", code);
  }
  if (::close(fd.Release()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    return Fail(error, "close", code);
  }
  if (const int code = place(temporary); code != 0) {
    ::unlink(temporary.c_str());
    return Fail(error, "rename", code);
  }
  return true;
}

// Renames `from` to `to` unless `to` exists (EEXIST), in one step. Where
// the file system cannot rename so, a hard link does the same.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL) {
    return errno;
  }
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

bool SaveBitmapFile(const std::string& path, const ImagingBitmap& bitmap, ImageFileFormat format,
                    int bitsPerPixel, int /*qualityFactor*/, std::string* error) {
  return WriteThenPlace(path, bitmap, format, bitsPerPixel, error, [&](const std::string& written) {
    return ::rename(written.c_str(), path.c_str()) == 0 ? 0 : errno;
  });
}

bool SaveBitmapFileAsNew(const std::function<std::string(int)>& nameFor,
                         const ImagingBitmap& bitmap, ImageFileFormat format, int bitsPerPixel,
                         std::string* error) {
  const auto placeUnderAFreeName = [&](const std::string& written) {
    for (int copy = 0; copy < kMaxCopiesOfAName; ++copy) {
      if (const int code = RenameWithoutReplacing(written, nameFor(copy)); code != EEXIST) {
        return code;
      }
    }
    return EEXIST;
  };
  return WriteThenPlace(nameFor(0), bitmap, format, bitsPerPixel, error, placeUnderAFreeName);
}

}  // namespace rd420
