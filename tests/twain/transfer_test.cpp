// The still hand-over and the three transfers, read back as an application
// would read them.

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/twain/twain_fixture.h"

#ifdef RD420_TWAIN_QT_READBACK
#include <QImage>
#endif

namespace rd420::twain {
namespace {

class TransferTest : public SourceTest {
 protected:
  // The picture's top row as the application should see it in a memory
  // strip: the handed-over still's last (bottom-up) row, R,G,B.
  std::vector<std::uint8_t> TopDownRgbRow(int row, int width, int height) const {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    auto first = still_.begin() + static_cast<std::ptrdiff_t>((height - 1 - row) * rowBytes);
    std::vector<std::uint8_t> rgb(first, first + static_cast<std::ptrdiff_t>(rowBytes));
    for (size_t x = 0; x + 2 < rgb.size(); x += 3) {
      std::swap(rgb[x], rgb[x + 2]);
    }
    return rgb;
  }
  TW_UINT16 Native(DibBlock& dib) {
    TW_HANDLE handle = nullptr;
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    dib.reset(static_cast<std::uint8_t*>(handle));
    return rc;
  }
};

// Catches: a native DIB of the wrong size, depth or template, or rows not
// the still's bottom-up BGR bytes.
TEST_F(TransferTest, NativeTransferOfAHalfFourThreeStill) {
  GoTo(600);
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageWidth, 640);
  EXPECT_EQ(info.ImageLength, 480);
  EXPECT_EQ(info.XResolution.Whole, 100);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.SamplesPerPixel, 3);
  EXPECT_EQ(info.BitsPerSample[3], 8);
  EXPECT_EQ(info.BitsPerSample[4], 0);
  EXPECT_EQ(info.PixelType, TWPT_RGB);

  DibBlock dib;
  ASSERT_EQ(Native(dib), TWRC_XFERDONE);
  const auto& header = *reinterpret_cast<const BitmapInfoHeader*>(dib.get());
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 640);
  EXPECT_EQ(header.biHeight, 480);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biXPelsPerMeter, 2834);  // read from XGA_HALF.bmp
  EXPECT_EQ(0, std::memcmp(dib.get() + 40, still_.data(), still_.size()));
  EXPECT_EQ(source_->State(), 700u);
}

// Catches: memory strips of the wrong width, row size, order or colour
// order; XFERDONE on the wrong strip; offsets that do not add up.
TEST_F(TransferTest, MemoryStripsAreTopDownRgbAndEndOnTheBottomRow) {
  struct Row {
    bool aspect43;
    std::uint8_t mode;
    bool alwaysFull;
    int width, height;
    TW_UINT32 buffer;
    TW_UINT32 rowsPerStrip;
  };
  const Row rows[] = {
      {false, 2, true, 1280, 720, 65535, 17},
      {true, 1, false, 1280, 960, 65535, 17},
      {true, 0x11, false, 1280, 960, 3840, 1},
      {false, 2, false, 640, 360, 16384, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " in " << row.buffer);
    view_->geometry = {row.aspect43, row.mode, row.alwaysFull};
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(600);
    std::vector<std::uint8_t> buffer(row.buffer);
    int delivered = 0;
    TW_UINT16 rc = TWRC_SUCCESS;
    while (rc == TWRC_SUCCESS && delivered < row.height) {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = {0, row.buffer, buffer.data()};
      rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      ASSERT_NE(rc, TWRC_FAILURE);
      const int expectedRows = std::min<int>(row.rowsPerStrip, row.height - delivered);
      ASSERT_EQ(TW_UINT32{xfer.Rows}, static_cast<TW_UINT32>(expectedRows));
      ASSERT_EQ(TW_UINT32{xfer.Columns}, static_cast<TW_UINT32>(row.width));
      ASSERT_EQ(TW_UINT32{xfer.BytesPerRow}, static_cast<TW_UINT32>(row.width * 3));
      ASSERT_EQ(TW_UINT32{xfer.YOffset}, static_cast<TW_UINT32>(delivered));
      ASSERT_EQ(TW_UINT32{xfer.BytesWritten}, xfer.Rows * xfer.BytesPerRow);
      for (int r = 0; r < expectedRows; ++r) {
        const auto want = TopDownRgbRow(delivered + r, row.width, row.height);
        ASSERT_EQ(0, std::memcmp(buffer.data() + r * xfer.BytesPerRow, want.data(), want.size()));
      }
      delivered += expectedRows;
      EXPECT_EQ(rc, delivered == row.height ? TWRC_XFERDONE : TWRC_SUCCESS);
    }
    EXPECT_EQ(delivered, row.height);
    EXPECT_EQ(rc, TWRC_XFERDONE);
  }
}

// Catches: a strip past the image's end (reading outside the DIB), and a
// too-small or absent buffer written to or accepted.
TEST_F(TransferTest, MemoryTransferRefusesWhatCannotBeDelivered) {
  GoTo(600);
  std::vector<std::uint8_t> small(1919, 0xAB);
  TW_IMAGEMEMXFER xfer{};
  xfer.Memory = {0, static_cast<TW_UINT32>(small.size()), small.data()};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  xfer.Memory = {0, 65535, nullptr};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(std::count(small.begin(), small.end(), 0xAB), 1919);

  std::vector<std::uint8_t> whole(640 * 480 * 3);
  xfer.Memory = {0, static_cast<TW_UINT32>(whole.size()), whole.data()};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_XFERDONE);
  std::fill(whole.begin(), whole.end(), 0xAB);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(std::count(whole.begin(), whole.end(), 0xAB), static_cast<long>(whole.size()));
  EXPECT_TRUE(boxes_.empty());
}

// Catches: DAT_PALETTE8 consuming or freeing the image a memory transfer is
// still delivering.
TEST_F(TransferTest, PaletteDuringAMemoryTransferLeavesItWhole) {
  GoTo(700);  // two rows of 640 delivered
  TW_PALETTE8 palette{};
  EXPECT_EQ(Call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &palette), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  std::vector<std::uint8_t> strip(1920);
  TW_IMAGEMEMXFER xfer{};
  xfer.Memory = {0, 1920, strip.data()};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{xfer.YOffset}, 2u);
  const auto want = TopDownRgbRow(2, 640, 480);
  EXPECT_EQ(0, std::memcmp(strip.data(), want.data(), want.size()));
}

// Catches: the transfer image built from a template that is not a 24-bit
// header of the picture's size (which would overrun the block), or a
// good core header or headerless file refused.
TEST_F(TransferTest, TemplatesAreCheckedBeforeUse) {
  auto info = [](std::int32_t width, std::int32_t height, std::uint16_t bits) {
    BitmapInfoHeader header{40, width, height, 1, bits, 0, 0, 2834, 2834, 0, 0};
    std::string bytes = "BM" + std::string(12, '\0');
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    return bytes;
  };
  const std::uint16_t core[] = {12, 0, 640, 480, 1, 24};
  struct Row {
    const char* name;
    std::string bytes;
    TW_UINT16 rc;
  };
  const Row rows[] = {
      {"wrong size", info(1280, 960, 24), TWRC_FAILURE},
      {"wrong depth", info(640, 480, 8), TWRC_FAILURE},
      {"huge", info(0x7FFFFFFF, 0x7FFFFFFF, 24), TWRC_FAILURE},
      {"top-down", info(640, -480, 24), TWRC_FAILURE},
      {"truncated", info(640, 480, 24).substr(0, 30), TWRC_FAILURE},
      {"empty", "", TWRC_FAILURE},
      {"no file header", info(640, 480, 24).substr(14), TWRC_XFERDONE},
      {"core header", std::string(reinterpret_cast<const char*>(core), sizeof core), TWRC_XFERDONE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(folder_ / "XGA_HALF.bmp", std::ios::binary | std::ios::trunc) << row.bytes;
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(600);
    DibBlock dib;
    EXPECT_EQ(Native(dib), row.rc);
    if (row.rc == TWRC_FAILURE) {
      EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
      EXPECT_EQ(source_->State(), 600u);
    }
  }
}

// Catches: a transfer that reads an empty still (none handed over yet) or a
// missing template; the failure box of the native transfer.
TEST_F(TransferTest, NoImageWithoutStillOrTemplate) {
  GoTo(400);
  Enable(false);  // MSG_XFERREADY without a still
  DibBlock dib;
  EXPECT_EQ(Native(dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  std::vector<std::uint8_t> strip(65535);
  TW_IMAGEMEMXFER xfer{};
  xfer.Memory = {0, 65535, strip.data()};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);

  std::filesystem::remove(folder_ / "XGA_HALF.bmp");
  still_ = Still();
  HandOver();
  EXPECT_EQ(Native(dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(source_->State(), 600u);
  ASSERT_EQ(boxes_.size(), 3u);  // native twice and memory once; the file transfer shows none
  EXPECT_EQ(boxes_.back().message.caption, "Error (TWN00006)");
}

// Catches: a file transfer that is not a BMP of the still, or not written
// under the name the application set (cut at 255 characters).
TEST_F(TransferTest, FileTransferWritesTheStillAsBmp) {
  GoTo(600);
  TW_SETUPFILEXFER setup{};
  std::string name = (folder_ / "").string();
  name.append(255 - name.size(), 'a');
  std::memset(setup.FileName, 'b', sizeof setup.FileName);  // no terminator
  std::memcpy(setup.FileName, name.data(), name.size());
  setup.Format = TWFF_BMP;
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);

  std::ifstream file(name, std::ios::binary);
  std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
  ASSERT_EQ(bytes.size(), 54 + still_.size());
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(0, std::memcmp(bytes.data() + 54, still_.data(), still_.size()));
#ifdef RD420_TWAIN_QT_READBACK
  QImage image(QString::fromStdString(name), "BMP");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 640);
  EXPECT_EQ(image.height(), 480);
  // The file's first pixel row is the picture's bottom row, B,G,R.
  const QRgb bottomLeft = image.pixel(0, 479);
  EXPECT_EQ(qBlue(bottomLeft), still_[0]);
  EXPECT_EQ(qGreen(bottomLeft), still_[1]);
  EXPECT_EQ(qRed(bottomLeft), still_[2]);
#endif
}

// Catches: a file asked for as TIFF written as a BMP, a TIFF a reader
// cannot take back or whose rows are not the still's, top row first, or a
// format the transfer cannot write accepted.
TEST_F(TransferTest, FileTransferWritesTheStillAsTiffWhenAskedFor) {
  GoTo(600);
  TW_SETUPFILEXFER setup{};
  const std::string name = (folder_ / "still.tif").string();
  std::strcpy(setup.FileName, name.c_str());
  setup.Format = TWFF_JFIF;
  EXPECT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  setup.Format = TWFF_TIFF;
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  TW_SETUPFILEXFER reported{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &reported), TWRC_SUCCESS);
  EXPECT_EQ(reported.Format, TWFF_TIFF);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);

  TIFF* tiff = TIFFOpen(name.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint32_t width = 0, height = 0;
  std::uint16_t samples = 0, bits = 0, photometric = 0, compression = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  EXPECT_EQ(width, 640u);
  EXPECT_EQ(height, 480u);
  EXPECT_EQ(samples, 3);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
  EXPECT_EQ(compression, COMPRESSION_NONE);
  std::vector<std::uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tiff)));
  int wrongRows = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);
    wrongRows += row != TopDownRgbRow(static_cast<int>(y), 640, 480) ? 1 : 0;
  }
  TIFFClose(tiff);
  EXPECT_EQ(wrongRows, 0);
}

// Catches: MSG_ENDXFER leaving the capture buttons locked, or the next
// still not announced with MSG_XFERREADY again.
TEST_F(TransferTest, EndTransferReleasesAndTheNextStillIsAnnounced) {
  StandInManager manager;
  ASSERT_TRUE(manager.Loaded());
  GoTo(600);
  EXPECT_FALSE(source_->Resumed());
  DibBlock dib;
  ASSERT_EQ(Native(dib), TWRC_XFERDONE);
  TW_PENDINGXFERS pending{0xAAAA, 0};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(source_->State(), 600u);
  EXPECT_TRUE(source_->Resumed());
  manager.Take();
  HandOver();
  const auto records = manager.Take();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].msg, MSG_XFERREADY);
}

// Catches: the capture buttons left disabled for good when the pending
// still is reset and the window closed and opened again.
TEST_F(TransferTest, ResetThenReopenReleasesTheCaptureButtons) {
  GoTo(600);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_SUCCESS);
  Enable(true);
  EXPECT_TRUE(source_->Resumed());
}

// Catches: a window holding a still closed straight from 600 leaving the
// next window's capture buttons disabled for good.
TEST_F(TransferTest, CloseFromSixHundredReleasesTheCaptureButtons) {
  GoTo(600);
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  Open();
  Enable(true);
  EXPECT_TRUE(source_->Resumed());
}

// Catches: the application's event loop, served while a hidden window takes
// a still, disabling the source under the transfer (its window freed while
// in use).
TEST_F(TransferTest, NestedCallWhileTakingAStillIsRefused) {
  Open();
  Enable(false);
  TW_UINT16 nested = TWRC_SUCCESS;
  view_->onTakeStill = [&] {
    nested = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr);
  };
  DibBlock dib;
  Native(dib);
  EXPECT_EQ(nested, TWRC_FAILURE);
  EXPECT_EQ(view_->closes, 0);
  EXPECT_EQ(source_->State(), 600u);
}

// Catches: a still larger than the picture the transfer prepares (the
// display mode changed after the hand-over) copied as a smaller one.
TEST_F(TransferTest, StillOfAnotherSizeIsNotTransferred) {
  view_->geometry = {true, 1, false};  // 1280 x 960
  GoTo(600);
  view_->geometry = {true, 2, false};  // 640 x 480
  DibBlock dib;
  EXPECT_EQ(Native(dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(source_->State(), 600u);
}

}  // namespace
}  // namespace rd420::twain
