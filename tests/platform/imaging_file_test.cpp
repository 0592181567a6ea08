// Saving pictures: the files read back with libjpeg-turbo, and a failed
// save that leaves nothing behind.
#include "platform/imaging_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace rd420 {
namespace {

namespace fs = std::filesystem;

// A document-like picture: a colour gradient crossed by thin dark strokes,
// with a red top row and a blue bottom row so a turned or colour-swapped
// picture shows. Built through a bottom-up DIB, as the still thread does.
ImagingBitmap DocumentPicture(int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> header(40, 0);
  header[0] = 40;
  for (int i = 0; i < 4; ++i) {
    header[4 + i] = static_cast<uint8_t>(width >> (8 * i));
    header[8 + i] = static_cast<uint8_t>(height >> (8 * i));
  }
  header[12] = 1;
  header[14] = 24;
  std::vector<uint8_t> rows(static_cast<size_t>(stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    const int top = height - 1 - y;  // bottom-up: row 0 is the picture's bottom
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &rows[static_cast<size_t>(y) * stride + x * 3];
      const bool stroke = (x % 16) < 2 || (top % 12) == 5;
      pixel[0] = stroke ? 20 : static_cast<uint8_t>(80 + x * 150 / width);
      pixel[1] = stroke ? 20 : static_cast<uint8_t>(90 + top * 140 / height);
      pixel[2] = stroke ? 30 : 200;
      if (top == 0) {
        pixel[0] = 0, pixel[1] = 0, pixel[2] = 255;
      } else if (top == height - 1) {
        pixel[0] = 255, pixel[1] = 0, pixel[2] = 0;
      }
    }
  }
  ImagingBitmap bitmap;
  EXPECT_TRUE(bitmap.Create(width, height, 24));
  EXPECT_TRUE(bitmap.ConvertFromDib(header, rows));
  return bitmap;
}

struct TjFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

// The file's pixels, top-down BGR, as libjpeg-turbo reads them (its loader
// takes BMP but not JPEG).
std::vector<uint8_t> ReadBack(const std::string& path, int& width, int& height) {
  std::vector<uint8_t> pixels;
  if (path.ends_with(".bmp")) {
    int format = TJPF_BGR;
    std::unique_ptr<unsigned char, TjFree> loaded(
        tjLoadImage(path.c_str(), &width, 1, &height, &format, 0));
    if (loaded && format == TJPF_BGR) {
      pixels.assign(loaded.get(), loaded.get() + static_cast<size_t>(width) * height * 3);
    }
    return pixels;
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), {});
  std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), tjDestroy);
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(decoder.get(), bytes.data(), bytes.size(), &width, &height, &subsampling,
                          &colourspace) == 0) {
    pixels.resize(static_cast<size_t>(width) * height * 3);
    if (tjDecompress2(decoder.get(), bytes.data(), bytes.size(), pixels.data(), width, 0, height,
                      TJPF_BGR, 0) != 0) {
      pixels.clear();
    }
  }
  return pixels;
}

class SavedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/imaging-file-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder_);
  }
  // The names in the folder, to see that nothing was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  std::string folder_;
};

// Catches: a BMP that is not bottom-up 24-bit, rows without their padding,
// a turned picture or red and blue swapped.
TEST_F(SavedFile, BmpReadsBackExactly) {
  for (const int width : {640, 1281}) {  // 1281: rows need padding
    const ImagingBitmap picture = DocumentPicture(width, 480);
    const std::string path = folder_ + "/still.bmp";
    ASSERT_TRUE(SaveBitmapFile(path, picture, ImageFileFormat::kBmp, 24, 0));
    int readWidth = 0;
    int readHeight = 0;
    const std::vector<uint8_t> pixels = ReadBack(path, readWidth, readHeight);
    ASSERT_EQ(readWidth, width);
    ASSERT_EQ(readHeight, 480);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), picture.Pixels().begin()));
    EXPECT_EQ(pixels[2], 255) << "the top row is red";
  }
}

// Catches: a temporary name built on the final one, too long for the file
// system when the final name is near its 255 bytes.
TEST_F(SavedFile, ANameOfTheLongestLengthSaves) {
  const std::string name = std::string(251, 'n') + ".bmp";
  ASSERT_TRUE(
      SaveBitmapFile(folder_ + "/" + name, DocumentPicture(64, 48), ImageFileFormat::kBmp, 24, 0));
  EXPECT_EQ(Names(), std::vector<std::string>{name});
}

// Catches: a JPEG turned, colour-swapped or so coarse that text blurs: the
// chosen quality keeps every channel close to the picture.
TEST_F(SavedFile, JpegReadsBackWithinTheQualitysError) {
  const ImagingBitmap picture = DocumentPicture(1280, 960);
  const std::string path = folder_ + "/still.jpg";
  ASSERT_TRUE(SaveBitmapFile(path, picture, ImageFileFormat::kJpeg, 24, kJpegQualityFactor));
  int width = 0;
  int height = 0;
  const std::vector<uint8_t> pixels = ReadBack(path, width, height);
  ASSERT_EQ(width, 1280);
  ASSERT_EQ(height, 960);
  double sum = 0;
  int worst = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const int error = std::abs(pixels[i] - picture.Pixels()[i]);
    sum += error;
    worst = std::max(worst, error);
  }
  const double mean = sum / static_cast<double>(pixels.size());
  EXPECT_LT(mean, 1.5);
  EXPECT_LT(worst, 48);
  std::printf("JPEG at factor 2: mean error %.3f, worst %d, %zu bytes\n", mean, worst,
              static_cast<size_t>(std::filesystem::file_size(path)));
  const size_t plain = (480 * 1280 + 8) * 3;  // off the strokes, mid-height
  EXPECT_GT(pixels[plain + 2], 150) << "red stays red";
  EXPECT_LT(pixels[plain], 120) << "and blue stays low";
}

// Catches: a failed save that leaves a partial file under the final name or
// a temporary beside it, or that destroys the file it was to replace.
TEST_F(SavedFile, AFailedSaveLeavesNothingBehind) {
  const ImagingBitmap picture = DocumentPicture(1280, 960);
  const std::string path = folder_ + "/still.bmp";
  {
    std::ofstream old(path);
    old << "old";
  }
  // A file-size limit below the picture's size, as a full disk refuses
  // writes: in a child, so the limit stays there.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    const rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveBitmapFile(path, picture, ImageFileFormat::kBmp, 24, 0) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
  EXPECT_EQ(Names(), std::vector<std::string>{"still.bmp"});
  EXPECT_EQ(fs::file_size(path), 3u) << "the old file is kept";

  // A folder that cannot be written. Root ignores permission bits, so there
  // a path under a regular file stands in for it.
  std::string unwritable = folder_ + "/still.bmp/x.jpg";
  if (geteuid() != 0) {
    fs::create_directory(folder_ + "/locked");
    fs::permissions(folder_ + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
    unwritable = folder_ + "/locked/x.jpg";
  }
  std::string error;
  EXPECT_FALSE(SaveBitmapFile(unwritable, picture, ImageFileFormat::kJpeg, 24, 2, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(SaveBitmapFile(folder_ + "/missing/x.jpg", picture, ImageFileFormat::kJpeg, 24, 2));
  EXPECT_EQ(Names().size(), geteuid() != 0 ? 2u : 1u);
}

}  // namespace
}  // namespace rd420
