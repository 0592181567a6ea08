// The transfer triplets of the data source: pending transfers, transfer
// set-up, the image description and the three transfers.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/message.h"
#include "twain/data_source.h"
#include "twain/transfer_file.h"

namespace rd420::twain {

namespace {

constexpr const char* kPendingText = "General failure in response to DAT_PENDINGXFER.  ";
constexpr const char* kSetupMemText =
    "General failure in response to DAT_SETUPMEMXFER, not supported.  ";
constexpr const char* kMemXferText = "General failure in response to DAT_IMAGEMEMXFER.  ";
constexpr const char* kNativeText = "General failure in response to DAT_IMAGENATIVEXFER.  ";
constexpr size_t kMaxFileName = 255;

}  // namespace

bool DataSource::PrepareTransferImage() {
  TransferImage.Release();
  if (capabilities_.Resolution() != 100.0f || capabilities_.PixelType() != TWPT_RGB) {
    return false;
  }
  const std::optional<ImageSize> size = ImageSizeFor(view_->Geometry());
  if (!size) {
    return false;
  }
  // A hidden window's transfer takes the camera's current picture.
  if (TransferFrame.empty() && viewOpen_ &&
      view_->TakeStill(TransferFrame, stillWidth_, stillHeight_)) {
    transferFrameTaken_ = true;
  }
  // No still handed over yet, or one of another size (the display mode or
  // the always-full setting changed since): never copy it as this size.
  if (TransferFrame.empty() || stillWidth_ != size->width || stillHeight_ != size->height) {
    return false;
  }
  const std::optional<BitmapInfoHeader> header =
      ReadTemplateHeader(folder_ / size->templateName, *size);
  if (!header) {
    return false;
  }
  if (!TransferImage.Build(*header, TransferFrame)) {
    ShowMessage(nullptr, "ReAlloc failed.", "Orvisto TWAIN Driver", MessageIcon::kInformation);
    return false;
  }
  return true;
}

DibBlock DataSource::TakeTransferImage(size_t& sizeBytes) {
  sizeBytes = 0;
  if (capabilities_.Resolution() != 100.0f) {
    return nullptr;
  }
  return TransferImage.Take(sizeBytes);
}

void DataSource::ReleaseTransfer() {
  if (PendingCount > 0) {
    --PendingCount;
  }
  TransferImage.Release();
  // The next transfer without a hand-over takes a fresh picture.
  if (std::exchange(transferFrameTaken_, false)) {
    TransferFrame.clear();
  }
}

TW_UINT16 DataSource::PendingXfers(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  auto* pending = static_cast<TW_PENDINGXFERS*>(data);
  const bool feeder = capabilities_.FeederEnabled();
  switch (msg) {
    case MSG_GET:
      if (SourceState == 300) {
        return FailWithBox(TWCC_SEQERROR, kPendingText, "Error (TWN00006-1)");
      }
      if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      if (!feeder) {
        pending->Count = SourceState == 700 ? 0 : 1;
      } else {
        pending->Count = PendingCount != 0 ? 1 : 0;
      }
      return TWRC_SUCCESS;
    case MSG_ENDXFER:
      if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      ReleaseTransfer();
      ResumeFlag = true;
      pending->Count = feeder && PendingCount != 0 ? 0xFFFF : 0;
      if (SourceState == 700) {
        SourceState = 600;
        return TWRC_SUCCESS;
      }
      if (SourceState == 600) {
        // The application skips the image: with none left it waits in 500
        // for the next still's MSG_XFERREADY.
        if (pending->Count == 0) {
          SourceState = 500;
        }
        return TWRC_SUCCESS;
      }
      return Fail(TWCC_SEQERROR);
    case MSG_RESET:
      if (!InStates(600, 700)) {
        return FailWithBox(TWCC_SEQERROR, kPendingText, "Error (TWN00006-3)");
      }
      if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      ReleaseTransfer();
      PendingCount = 0;
      SourceState = 500;
      pending->Count = 0;
      return TWRC_SUCCESS;
    default:
      return FailWithBox(TWCC_BADPROTOCOL, kPendingText, "Error (TWN00006-4)");
  }
}

TW_UINT16 DataSource::SetupMemXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (!InStates(400, 600)) {
    return FailWithBox(TWCC_SEQERROR, kSetupMemText, "Error (TWN00003)");
  }
  if (msg != MSG_GET) {
    return FailWithBox(TWCC_BADPROTOCOL, kSetupMemText, "Error (TWN00003)");
  }
  auto* setup = static_cast<TW_SETUPMEMXFER*>(data);
  if (setup == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  setup->MinBufSize = 16384;
  setup->MaxBufSize = 65535;
  setup->Preferred = 65535;
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::SetupFileXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (!InStates(400, 600)) {
    return Fail(TWCC_SEQERROR);
  }
  auto* setup = static_cast<TW_SETUPFILEXFER*>(data);
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      if (setup == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      // Always the default name, whatever was set.
      std::memset(setup->FileName, 0, sizeof setup->FileName);
      const std::string name = DefaultTransferFilePath().string();
      std::memcpy(setup->FileName, name.data(), std::min(name.size(), kMaxFileName));
      setup->Format = capabilities_.ImageFileFormat();
      setup->VRefNum = 0;
      return TWRC_SUCCESS;
    }
    case MSG_SET: {
      // The format is ICAP_IMAGEFILEFORMAT's current value: one the file
      // transfer cannot write is refused, not written as another.
      if (setup == nullptr || !capabilities_.SetImageFileFormat(setup->Format)) {
        return Fail(TWCC_BADVALUE);
      }
      // At most 255 characters, whether or not the name is terminated.
      TransferFileName.assign(setup->FileName, strnlen(setup->FileName, kMaxFileName));
      if (TransferFileName.empty()) {
        return Fail(TWCC_BADVALUE);
      }
      std::error_code error;
      if (std::filesystem::exists(TransferFileName, error)) {
        return TWRC_SUCCESS;
      }
      // O_EXCL: only a new, empty file is made here.
      const int fd =
          ::open(TransferFileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        return Fail(TWCC_BADVALUE);
      }
      ::close(fd);
      return TWRC_SUCCESS;
    }
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::ImageInfo(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (!InStates(600, 700)) {
    return Fail(TWCC_SEQERROR);
  }
  if (msg != MSG_GET) {
    return Fail(TWCC_BADPROTOCOL);
  }
  auto* info = static_cast<TW_IMAGEINFO*>(data);
  if (info == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  const TW_FIX32 resolution = FloatToFix32(capabilities_.Resolution());
  info->XResolution = resolution;
  info->YResolution = resolution;
  if (const std::optional<ImageSize> size = ImageSizeFor(view_->Geometry())) {
    info->ImageWidth = size->width;
    info->ImageLength = size->height;
  }
  const TW_UINT16 pixelType = capabilities_.PixelType();
  const auto bitsPerPixel = static_cast<TW_INT16>(capabilities_.BitDepth(pixelType));
  info->SamplesPerPixel = bitsPerPixel >= 24 ? 3 : 1;
  std::memset(info->BitsPerSample, 0, sizeof info->BitsPerSample);
  if (bitsPerPixel >= 24) {
    for (int i = 0; i < 4; ++i) {
      info->BitsPerSample[i] = 8;
    }
  } else {
    info->BitsPerSample[0] = bitsPerPixel;
  }
  info->BitsPerPixel = bitsPerPixel;
  info->Planar = kTwFalse;
  info->PixelType = static_cast<TW_INT16>(pixelType);
  info->Compression = TWCP_NONE;
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::ImageLayout(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      auto* layout = static_cast<TW_IMAGELAYOUT*>(data);
      if (layout == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      const TW_FIX32 edge{22, 33};
      layout->Frame = TW_FRAME{edge, edge, edge, edge};
      layout->DocumentNumber = 4;
      layout->PageNumber = 88;
      layout->FrameNumber = 1;
      return TWRC_SUCCESS;
    }
    case MSG_SET:
    case MSG_RESET:
      return TWRC_SUCCESS;
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::ImageNativeXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (SourceState != 600) {
    return FailWithBox(TWCC_SEQERROR, kNativeText, "Error (TWN00006)");
  }
  if (msg != MSG_GET) {
    return FailWithBox(TWCC_BADPROTOCOL, kNativeText, "Error (TWN00006)");
  }
  if (data == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  if (!PrepareTransferImage()) {
    return FailWithBox(TWCC_OPERATIONERROR, kNativeText, "Error (TWN00006)");
  }
  size_t sizeBytes;
  DibBlock block = TakeTransferImage(sizeBytes);
  if (!block) {
    return FailWithBox(TWCC_OPERATIONERROR, kNativeText, "Error (TWN00006)");
  }
  // The application frees the DIB with free().
  TW_HANDLE handle = block.release();
  std::memcpy(data, &handle, sizeof handle);
  SourceState = 700;
  return TWRC_XFERDONE;
}

TW_UINT16 DataSource::ImageMemXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg != MSG_GET) {
    return FailWithBox(TWCC_BADPROTOCOL, kMemXferText, "Error (TWN00005)");
  }
  // A strip belongs to a transfer: from 600 on, never from 400 or 500.
  if (!InStates(600, 700)) {
    return Fail(TWCC_SEQERROR);
  }
  auto* xfer = static_cast<TW_IMAGEMEMXFER*>(data);
  if (xfer == nullptr || xfer->Memory.TheMem == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  if (SourceState == 600 && !PrepareTransferImage()) {
    return FailWithBox(TWCC_OPERATIONERROR, kMemXferText, "Error (TWN00005)");
  }
  if (TransferImage.Empty()) {
    return FailWithBox(TWCC_OPERATIONERROR, kMemXferText, "Error (TWN00005)");
  }
  if (TransferImage.RowsLeft() == 0) {
    return Fail(TWCC_SEQERROR);  // the last strip has gone; MSG_ENDXFER is next
  }
  // A buffer that cannot hold one row would never finish the transfer.
  if (xfer->Memory.Length < TransferImage.BytesPerRow()) {
    return Fail(TWCC_BADVALUE);
  }
  xfer->Compression = TWCP_NONE;
  xfer->BytesPerRow = TransferImage.BytesPerRow();
  xfer->Columns = static_cast<TW_UINT32>(TransferImage.Header().biWidth);
  xfer->XOffset = 0;
  xfer->YOffset = TransferImage.RowsDelivered();
  const std::uint32_t rows = TransferImage.CopyStrip(
      {static_cast<std::uint8_t*>(xfer->Memory.TheMem), xfer->Memory.Length},
      capabilities_.PixelType() == TWPT_RGB);
  xfer->BytesWritten = rows * xfer->BytesPerRow;
  xfer->Rows = rows;
  SourceState = 700;
  return TransferImage.RowsLeft() == 0 ? TWRC_XFERDONE : TWRC_SUCCESS;
}

TW_UINT16 DataSource::ImageFileXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF) {
  if (msg != MSG_GET) {
    return Fail(TWCC_BADPROTOCOL);
  }
  if (SourceState != 600) {
    return Fail(TWCC_SEQERROR);
  }
  if (!PrepareTransferImage()) {
    return Fail(TWCC_OPERATIONERROR);
  }
  size_t sizeBytes;
  DibBlock block = TakeTransferImage(sizeBytes);
  if (!block) {
    return Fail(TWCC_OPERATIONERROR);
  }
  // Before any MSG_SET the file goes where MSG_GET said it would.
  const std::string name =
      TransferFileName.empty() ? DefaultTransferFilePath().string() : TransferFileName;
  if (!WriteTransferFile(name, capabilities_.ImageFileFormat(), block.get(), sizeBytes)) {
    return Fail(TWCC_OPERATIONERROR);  // the still stays pending for another try
  }
  LastConditionCode = TWCC_SUCCESS;
  SourceState = 700;
  return TWRC_XFERDONE;
}

TW_UINT16 DataSource::Palette8(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (!InStates(400, 600)) {
    return Fail(TWCC_SEQERROR);
  }
  switch (msg) {
    case MSG_GET: {
      auto* palette = static_cast<TW_PALETTE8*>(data);
      if (palette == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      // The transfer image is 24-bit without colour table; it is only
      // looked at, never taken.
      palette->NumColors = 0;
      palette->PaletteType = TWPA_RGB;
      return TWRC_SUCCESS;
    }
    case MSG_GETDEFAULT:
    case MSG_SET:
    case MSG_RESET:
      return TWRC_SUCCESS;
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::GrayResponse(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg == MSG_RESET) {
    for (int i = 0; i < 256; ++i) {
      const auto value = static_cast<TW_UINT8>(i);
      grayResponse_[i] = TW_ELEMENT8{value, value, value, value};
    }
  } else if (msg == MSG_SET) {
    if (data == nullptr) {
      return Fail(TWCC_BADVALUE);
    }
    std::memcpy(grayResponse_.data(), data, sizeof grayResponse_);
  }
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::RgbResponse(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg == MSG_RESET) {
    for (int i = 0; i < 256; ++i) {
      const auto value = static_cast<TW_UINT8>(i);
      rgbResponse_[i] = TW_ELEMENT8{value, value, value, value};
    }
  } else if (msg == MSG_SET) {
    if (data == nullptr) {
      return Fail(TWCC_BADVALUE);
    }
    std::memcpy(rgbResponse_.data(), data, sizeof rgbResponse_);
  }
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::CieColor(TW_IDENTITY*, TW_UINT16, TW_MEMREF data) {
  auto* cie = static_cast<TW_CIECOLOR*>(data);
  if (cie == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  cie->ColorSpace = TWPT_RGB;
  cie->LowEndian = 0;
  cie->DeviceDependent = 1;
  cie->VersionNumber = 0;
  cie->StageABC.Decode[0].StartIn = FloatToFix32(0.1f);
  cie->StageLMN.Decode[0].StartIn = FloatToFix32(1.1f);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      const TW_FIX32 mix = FloatToFix32(static_cast<float>(row) + column / 10.0f);
      cie->StageABC.Mix[row][column] = mix;
      cie->StageLMN.Mix[row][column] = mix;
    }
  }
  auto point = [](float x, float y, float z) {
    return TW_CIEPOINT{FloatToFix32(x), FloatToFix32(y), FloatToFix32(z)};
  };
  cie->WhitePoint = point(4.4f, 5.5f, 6.6f);
  cie->BlackPoint = point(1.1f, 5.5f, 6.6f);
  cie->WhitePaper = point(1.1f, 5.5f, 6.6f);
  cie->BlackInk = point(1.1f, 5.5f, 6.6f);
  cie->Samples[0] = FloatToFix32(99.99f);
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::JpegCompression(TW_IDENTITY*, TW_UINT16, TW_MEMREF) {
  return TWRC_SUCCESS;
}

}  // namespace rd420::twain
