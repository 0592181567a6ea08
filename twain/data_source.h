#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "twain/capabilities.h"
#include "twain/transfer_image.h"
#include "twain/twain_protocol.h"
#include "twain/view_host.h"

namespace rd420::twain {

// The data source behind DS_Entry: identity, state, condition code,
// capabilities and the pending still. One per loaded library. Entry runs
// on the application's thread; HandOverStill, NotifyXferReady and
// RequestClose also run on the view window's threads. One recursive lock
// keeps them apart; the manager is called without it, so an application
// that calls DS_Entry from its callback finds the source free. The window
// is closed under the lock, so its threads give up waiting for the lock
// while it closes and may be joined by ViewHost::Close.
class DataSource {
 public:
  // `folder` is where the template bitmaps lie: the library's own folder.
  DataSource(std::filesystem::path folder, std::unique_ptr<ViewHost> view);
  ~DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  TW_UINT16 Entry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  // Closes the view window and lets its GUI thread go, as unloading does:
  // for an application that exits without closing the source, while the
  // toolkit the window lives in is still whole. The source stays usable.
  void ReleaseView();

  // The still hand-over, called by the view window when the user presses
  // "Scan Capturing Image": `pixels` are the still DIB's rows, bottom-up
  // BGR, 3 bytes a pixel, `width` x `height`. They are copied, so the caller
  // may reuse them at once. Sets the still's capability values, then
  // NotifyXferReady. Only a transfer of exactly this size takes the still;
  // pixels that do not fill width x height are no still at all.
  void HandOverStill(std::span<const std::uint8_t> pixels, int width, int height);

  // SourceState 600, then MSG_XFERREADY to the manager. Neither happens
  // when the window is being closed.
  void NotifyXferReady();
  // MSG_CLOSEDSREQ to the manager; the state is unchanged.
  void RequestClose();

  // While 0 the view window keeps "Capture Image" and "Scan Capturing
  // Image" disabled.
  bool Resumed() const { return ResumeFlag.load(); }
  std::uint32_t State() const { return SourceState.load(); }

 private:
  using Handler = TW_UINT16 (DataSource::*)(TW_IDENTITY*, TW_UINT16, TW_MEMREF);
  struct Route {
    TW_UINT16 dat;
    Handler handler;
  };

  TW_UINT16 Dispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                     TW_MEMREF data);
  // A call from an application other than the connected one.
  TW_UINT16 OtherApplication(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Fail(TW_UINT16 conditionCode);
  TW_UINT16 FailWithBox(TW_UINT16 conditionCode, const char* text, const char* caption);
  bool InStates(std::uint32_t low, std::uint32_t high) const;
  bool LockUnlessClosing(std::unique_lock<std::recursive_mutex>& lock);

  // Control triplets.
  TW_UINT16 Identity(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 UserInterface(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Capability(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Status(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 PendingXfers(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 SetupMemXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 SetupFileXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 XferGroup(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);

  // Image triplets.
  TW_UINT16 ImageInfo(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ImageLayout(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ImageMemXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ImageNativeXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ImageFileXfer(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Palette8(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 GrayResponse(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 RgbResponse(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 CieColor(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 JpegCompression(TW_IDENTITY* origin, TW_UINT16 msg, TW_MEMREF data);

  bool PrepareTransferImage();
  DibBlock TakeTransferImage(size_t& sizeBytes);
  void ReleaseTransfer();
  void CloseView();
  // What a closed window leaves behind, whether disabled or closed at once.
  void ForgetWindowTransfer();

  static const Route kControlTable[];
  static const Route kImageTable[];

  std::recursive_mutex lock_;
  std::atomic<bool> closing_{false};
  std::filesystem::path folder_;
  std::unique_ptr<ViewHost> view_;
  bool viewOpen_ = false;
  bool inEntry_ = false;  // a triplet is under way on the thread holding the lock

  // The source's documented state keeps its own names (SourceState,
  // TransferFrame, ...); our members are camelCase_.
  TW_IDENTITY SourceIdentity{};
  TW_IDENTITY AppIdentity{};
  std::atomic<std::uint32_t> SourceState{300};
  TW_UINT16 LastConditionCode = TWCC_SUCCESS;
  TW_UINT16 otherConditionCode_ = TWCC_SUCCESS;  // what other applications' DAT_STATUS reads
  TW_HANDLE ParentWindow = nullptr;

  CapabilityStore capabilities_;

  std::atomic<bool> ResumeFlag{true};
  std::vector<std::uint8_t> TransferFrame;  // empty until a still is handed over
  bool transferFrameTaken_ = false;         // taken from the camera for one transfer
  int stillWidth_ = 0;
  int stillHeight_ = 0;
  bool xferReadyDue_ = false;  // MSG_XFERREADY to send once Entry lets go of the lock
  std::int32_t PendingCount = 1;
  twain::TransferImage TransferImage;
  std::string TransferFileName;
  std::array<TW_ELEMENT8, 256> grayResponse_{};
  std::array<TW_ELEMENT8, 256> rgbResponse_{};
};

// The trace log the source removes when it is opened, in the temporary
// folder, and the file name DAT_SETUPFILEXFER reports, in the user's own
// folder ($XDG_RUNTIME_DIR, else $HOME, else the temporary folder).
std::filesystem::path TraceLogPath();
std::filesystem::path DefaultTransferFilePath();

}  // namespace rd420::twain
