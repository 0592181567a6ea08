#pragma once

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "devlink/still_capture.h"
#include "stills/still_dialogs.h"

namespace rd420::stills {

// What saving and printing need of the program around them.
struct HeldStillEnvironment {
  QObject* gui = nullptr;                    // lives on the GUI thread; dialogs run there
  std::function<QWidget*()> owner;           // the dialogs' owner, the main window
  std::function<QString()> quickSaveFolder;  // read from the settings at each quick save
  StillDialogs* dialogs = nullptr;           // null: Qt's dialogs
  std::function<QDateTime()> now;            // null: the local time
  std::function<bool()> ending;              // the program is ending: no dialog opens
  std::function<bool()> stillHeld;           // false once live view resumed: no dialog opens
  // The still (upright) as the picture is shown now: turned, mirrored and,
  // when asked, with the drawing burnt in. Null, or a null image: saved
  // and printed as the camera took it.
  std::function<QImage(const QImage& still, bool withDrawing)> asShown;
  std::function<bool()> hasDrawing;            // there is a drawing to burn in
  std::function<bool()> quickSaveWithDrawing;  // quick saves burn it in (an option)
};

// Saves and prints the held still. Called on the still thread, which waits:
// the dialogs and the settings are reached on the GUI thread through a
// blocking queued call, the file is written and the pages painted here.
class HeldStillActions : public StillActions {
 public:
  explicit HeldStillActions(HeldStillEnvironment environment);

  void SaveStill(const ImagingBitmap& still, uint8_t mode, bool quick) override;
  void PrintStill(const FrameBitmap& still, uint8_t mode) override;

 private:
  // Runs `work` on the GUI thread and waits for it.
  void OnGuiThread(const std::function<void()>& work);
  // GUI thread: neither ending nor back in live view.
  bool DialogMayOpen() const;
  // GUI thread: `still` as shown, null when it is shown as taken.
  QImage AsShown(const QImage& still, bool withDrawing) const;
  // GUI thread.
  bool HasDrawing() const;

  HeldStillEnvironment environment_;
  QtStillDialogs qtDialogs_;
};

}  // namespace rd420::stills
