#include "twain/data_source.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/message.h"
#include "platform/trace.h"
#include "twain/source_manager.h"

namespace rd420::twain {

namespace {

// The library's string table.
constexpr const char* kManufacturer = "TORVELA BRIMLEX Co. Ltd";
constexpr const char* kProductFamily = "TWAIN";
constexpr const char* kProductName = "TORVELA KESTRAVON TWAIN Data Source";
constexpr const char* kVersionInfo = "Version 3.0.11.19 2008/11/19";

// A string-table text loaded into a TW_STR32 with room for 34 characters
// including the terminator: at most 33 reach the field.
void LoadString(TW_STR32& field, const char* text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text, strnlen(text, sizeof field - 1));
}

TW_IDENTITY AttachIdentity() {
  TW_IDENTITY identity{};
  identity.Id = 0;
  identity.Version.MajorNum = 1;
  identity.Version.MinorNum = 0;
  identity.Version.Language = 1;
  identity.Version.Country = TWCY_USA;
  LoadString(identity.Version.Info, kVersionInfo);
  identity.ProtocolMajor = 1;
  identity.ProtocolMinor = 6;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  LoadString(identity.Manufacturer, kManufacturer);
  LoadString(identity.ProductFamily, kProductFamily);
  LoadString(identity.ProductName, kProductName);
  return identity;
}

}  // namespace

std::filesystem::path TraceLogPath() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  return (error ? std::filesystem::path("/tmp") : folder) / "twsrc.log";
}

std::filesystem::path DefaultTransferFilePath() {
  // A fixed name in a shared folder could be planted by another user.
  for (const char* variable : {"XDG_RUNTIME_DIR", "HOME"}) {
    const char* folder = std::getenv(variable);
    if (folder != nullptr && *folder != '\0') {
      return std::filesystem::path(folder) / "twain.bmp";
    }
  }
  return TraceLogPath().parent_path() / "twain.bmp";
}

const DataSource::Route DataSource::kControlTable[] = {
    {DAT_IDENTITY, &DataSource::Identity},
    {DAT_USERINTERFACE, &DataSource::UserInterface},
    {DAT_CAPABILITY, &DataSource::Capability},
    {DAT_STATUS, &DataSource::Status},
    {DAT_PENDINGXFERS, &DataSource::PendingXfers},
    {DAT_SETUPMEMXFER, &DataSource::SetupMemXfer},
    {DAT_SETUPFILEXFER, &DataSource::SetupFileXfer},
    {DAT_XFERGROUP, &DataSource::XferGroup},
    {0, nullptr},
};

const DataSource::Route DataSource::kImageTable[] = {
    {DAT_IMAGEINFO, &DataSource::ImageInfo},
    {DAT_IMAGELAYOUT, &DataSource::ImageLayout},
    {DAT_IMAGEMEMXFER, &DataSource::ImageMemXfer},
    {DAT_IMAGENATIVEXFER, &DataSource::ImageNativeXfer},
    {DAT_IMAGEFILEXFER, &DataSource::ImageFileXfer},
    {DAT_PALETTE8, &DataSource::Palette8},
    {DAT_GRAYRESPONSE, &DataSource::GrayResponse},
    {DAT_RGBRESPONSE, &DataSource::RgbResponse},
    {DAT_CIECOLOR, &DataSource::CieColor},
    {DAT_JPEGCOMPRESSION, &DataSource::JpegCompression},
    {0, nullptr},
};

DataSource::DataSource(std::filesystem::path folder, std::unique_ptr<ViewHost> view)
    : folder_(std::move(folder)), view_(std::move(view)), SourceIdentity(AttachIdentity()) {
  AppIdentity.Id = 0;
  if (!view_) {
    view_ = std::make_unique<WindowlessView>();
  }
  view_->Connect({[this](std::span<const std::uint8_t> pixels, int width, int height) {
                    HandOverStill(pixels, width, height);
                  },
                  [this] { return Resumed(); }, [this] { RequestClose(); }});
}

DataSource::~DataSource() {
  // The view window's threads must not outlive the library.
  ReleaseView();
}

void DataSource::ReleaseView() {
  std::lock_guard lock(lock_);
  CloseView();
  view_->Release();
}

TW_UINT16 DataSource::Entry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
  TW_UINT16 rc;
  TW_IDENTITY source, application;
  bool notify;
  {
    std::lock_guard lock(lock_);
    if (inEntry_) {
      // The application's event loop, served while a triplet waits for the
      // window, calls in again: the triplet under way must not have the
      // window closed under it.
      return msg == MSG_PROCESSEVENT ? TW_UINT16{TWRC_NOTDSEVENT} : Fail(TWCC_SEQERROR);
    }
    inEntry_ = true;
    try {
      rc = Dispatch(origin, dg, dat, msg, data);
    } catch (...) {
      // Nothing may cross DS_Entry; what throws here is running out of memory.
      rc = Fail(TWCC_LOWMEMORY);
    }
    inEntry_ = false;
    notify = std::exchange(xferReadyDue_, false);
    source = SourceIdentity;
    application = AppIdentity;
  }
  // Without the lock: the application's callback may call DS_Entry, or wait
  // for another thread that does.
  if (notify) {
    SendToSourceManager(source, application, MSG_XFERREADY);
  }
  return rc;
}

TW_UINT16 DataSource::Dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                               TW_MEMREF data) {
  if (AppIdentity.Id != 0 && (origin == nullptr || origin->Id != AppIdentity.Id)) {
    return OtherApplication(dg, dat, msg, data);
  }
  if (msg == MSG_PROCESSEVENT) {
    if (data == nullptr) {
      return Fail(TWCC_BADVALUE);
    }
    auto* event = static_cast<TW_EVENT*>(data);
    if (viewOpen_ && view_->ProcessEvent(*event)) {
      event->TWMessage = MSG_NULL;
      return TWRC_DSEVENT;
    }
    return TWRC_NOTDSEVENT;
  }
  const Route* table = dg == DG_CONTROL ? kControlTable : dg == DG_IMAGE ? kImageTable : nullptr;
  if (table == nullptr) {
    return Fail(TWCC_BADPROTOCOL);
  }
  for (const Route* route = table; route->handler != nullptr; ++route) {
    if (route->dat == dat) {
      return (this->*route->handler)(origin, msg, data);
    }
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 DataSource::OtherApplication(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  // Another application's call has no effect on the connected one's
  // session, not even on the condition code it will read. It may still
  // find the source (its manager lists sources by their identity) and
  // learn why it cannot open it (its manager asks DAT_STATUS after a
  // failed MSG_OPENDS).
  if (dg != DG_CONTROL) {
    return TWRC_FAILURE;
  }
  if (dat == DAT_IDENTITY && msg == MSG_GET && data != nullptr) {
    *static_cast<TW_IDENTITY*>(data) = SourceIdentity;
    return TWRC_SUCCESS;
  }
  if (dat == DAT_IDENTITY && msg == MSG_OPENDS) {
    otherConditionCode_ = TWCC_MAXCONNECTIONS;
    return TWRC_FAILURE;
  }
  if (dat == DAT_STATUS && msg == MSG_GET && data != nullptr) {
    auto* status = static_cast<TW_STATUS*>(data);
    status->ConditionCode = std::exchange(otherConditionCode_, TWCC_SUCCESS);
    status->Reserved = 0;
    return TWRC_SUCCESS;
  }
  return TWRC_FAILURE;
}

TW_UINT16 DataSource::Fail(TW_UINT16 conditionCode) {
  LastConditionCode = conditionCode;
  return TWRC_FAILURE;
}

TW_UINT16 DataSource::FailWithBox(TW_UINT16 conditionCode, const char* text, const char* caption) {
  LastConditionCode = conditionCode;
  ShowMessage(ParentWindow, text, caption, MessageIcon::kInformation);
  return TWRC_FAILURE;
}

bool DataSource::InStates(std::uint32_t low, std::uint32_t high) const {
  const std::uint32_t state = SourceState.load();
  return state >= low && state <= high;
}

TW_UINT16 DataSource::Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data) {
  auto* identity = static_cast<TW_IDENTITY*>(data);
  switch (msg) {
    case MSG_GET:
      if (identity == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      *identity = SourceIdentity;
      return TWRC_SUCCESS;
    case MSG_OPENDS: {
      std::error_code ignored;
      std::filesystem::remove(TraceLogPath(), ignored);
      if (SourceState != 300) {
        return Fail(TWCC_SEQERROR);
      }
      if (AppIdentity.Id != 0) {
        return Fail(TWCC_MAXCONNECTIONS);
      }
      if (identity == nullptr || origin == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      AppIdentity = *origin;
      SourceIdentity = *identity;
      SourceState = 400;
      capabilities_.BuildTable();
      Trace("TWAIN: opened by application %u", AppIdentity.Id);
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS:
      if (!InStates(400, 700)) {
        return Fail(TWCC_SEQERROR);
      }
      CloseView();
      view_->Release();
      ForgetWindowTransfer();
      ReleaseTransfer();
      AppIdentity.Id = 0;
      SourceState = 300;
      capabilities_.ClearTable();
      return TWRC_SUCCESS;
    default:
      return FailWithBox(TWCC_BADPROTOCOL, "General failure in response to DAT_IDENTITY.  ",
                         "Error (TWN00001)");
  }
}

TW_UINT16 DataSource::UserInterface(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  auto* ui = static_cast<TW_USERINTERFACE*>(data);
  switch (msg) {
    case MSG_ENABLEDS:
      if (SourceState != 400) {
        return Fail(TWCC_SEQERROR);
      }
      if (ui == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      ParentWindow = ui->hParent;
      if (const TW_UINT16 failure = view_->Open(ui->hParent, ui->ShowUI != 0);
          failure != TWCC_SUCCESS) {
        return Fail(failure);
      }
      viewOpen_ = true;
      if (ui->ShowUI != 0) {
        SourceState = 500;
      } else {
        // The hidden window streams; the application may transfer at once.
        // Entry sends MSG_XFERREADY before it returns.
        SourceState = 600;
        xferReadyDue_ = true;
      }
      return TWRC_SUCCESS;
    case MSG_DISABLEDS:
      if (!InStates(500, 700)) {
        return Fail(TWCC_SEQERROR);
      }
      CloseView();
      // Nothing can be transferred in 400; an unfinished image goes now.
      TransferImage.Release();
      ForgetWindowTransfer();
      SourceState = 400;
      return TWRC_SUCCESS;
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 DataSource::Capability(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data) {
  auto* capability = static_cast<TW_CAPABILITY*>(data);
  if (capability == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  // The connected application's protocol; before one connects, the caller's.
  const TW_IDENTITY* application = AppIdentity.Id == 0 && origin != nullptr ? origin : &AppIdentity;
  const bool protocol15 = application->ProtocolMajor <= 1 && application->ProtocolMinor <= 5;
  return capabilities_.Handle(msg, capability, protocol15, PendingCount, LastConditionCode);
}

TW_UINT16 DataSource::Status(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg != MSG_GET) {
    return Fail(TWCC_BADPROTOCOL);
  }
  auto* status = static_cast<TW_STATUS*>(data);
  if (status == nullptr) {
    return Fail(TWCC_BADVALUE);
  }
  status->ConditionCode = LastConditionCode;
  status->Reserved = 0;
  LastConditionCode = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

TW_UINT16 DataSource::XferGroup(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (!InStates(400, 600)) {
    return Fail(TWCC_SEQERROR);
  }
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
    case MSG_RESET: {
      if (data == nullptr) {
        return Fail(TWCC_BADVALUE);
      }
      const TW_UINT32 group = DG_IMAGE;
      std::memcpy(data, &group, sizeof group);
      return TWRC_SUCCESS;
    }
    case MSG_SET:
      return TWRC_SUCCESS;
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

bool DataSource::LockUnlessClosing(std::unique_lock<std::recursive_mutex>& lock) {
  // Polled with try_lock: the application's thread holds the lock for one
  // triplet at a time, and a closing window must not be waited for.
  while (!lock.try_lock()) {
    if (closing_) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void DataSource::HandOverStill(std::span<const std::uint8_t> pixels, int width, int height) {
  {
    std::unique_lock lock(lock_, std::defer_lock);
    if (!LockUnlessClosing(lock)) {
      return;
    }
    ResumeFlag = false;
    const bool whole =
        width > 0 && height > 0 &&
        pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (whole) {
      TransferFrame.assign(pixels.begin(), pixels.end());
      transferFrameTaken_ = false;
    } else {
      TransferFrame.clear();
    }
    stillWidth_ = whole ? width : 0;
    stillHeight_ = whole ? height : 0;
    capabilities_.SetStillValues();
  }
  NotifyXferReady();
}

void DataSource::NotifyXferReady() {
  TW_IDENTITY source, application;
  {
    std::unique_lock lock(lock_, std::defer_lock);
    if (!LockUnlessClosing(lock)) {
      return;
    }
    SourceState = 600;
    source = SourceIdentity;
    application = AppIdentity;
  }
  SendToSourceManager(source, application, MSG_XFERREADY);
}

void DataSource::RequestClose() {
  TW_IDENTITY source, application;
  {
    std::unique_lock lock(lock_, std::defer_lock);
    if (!LockUnlessClosing(lock)) {
      return;
    }
    source = SourceIdentity;
    application = AppIdentity;
  }
  SendToSourceManager(source, application, MSG_CLOSEDSREQ);
}

void DataSource::ForgetWindowTransfer() {
  // The next window's hidden transfer takes a fresh picture, not this
  // window's last still, and its capture buttons start enabled.
  TransferFrame.clear();
  transferFrameTaken_ = false;
  ResumeFlag = true;
}

void DataSource::CloseView() {
  if (viewOpen_) {
    closing_ = true;
    view_->Close();
    closing_ = false;
    viewOpen_ = false;
  }
}

}  // namespace rd420::twain
