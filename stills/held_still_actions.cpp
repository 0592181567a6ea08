#include "stills/held_still_actions.h"

#include <QPrinter>
#include <QThread>
#include <memory>

#include "stills/print_still.h"
#include "stills/save_still.h"
#include "stills/still_picture.h"

namespace rd420::stills {

HeldStillActions::HeldStillActions(HeldStillEnvironment environment)
    : environment_(std::move(environment)) {
  if (environment_.dialogs == nullptr) {
    environment_.dialogs = &qtDialogs_;
  }
  if (!environment_.now) {
    environment_.now = [] { return QDateTime::currentDateTime(); };
  }
  if (!environment_.ending) {
    environment_.ending = [] { return false; };
  }
  if (!environment_.stillHeld) {
    environment_.stillHeld = [] { return true; };
  }
}

bool HeldStillActions::DialogMayOpen() const {
  // Checked on the GUI thread: a resume there may come between the still
  // thread's request and this call, and the next run then waits for us.
  return !environment_.ending() && environment_.stillHeld();
}

void HeldStillActions::OnGuiThread(const std::function<void()>& work) {
  if (QThread::currentThread() == environment_.gui->thread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(environment_.gui, work, Qt::BlockingQueuedConnection);
}

QImage HeldStillActions::AsShown(const QImage& still, bool withDrawing) const {
  return environment_.asShown ? environment_.asShown(still, withDrawing) : QImage();
}

bool HeldStillActions::HasDrawing() const {
  return environment_.hasDrawing && environment_.hasDrawing();
}

void HeldStillActions::SaveStill(const ImagingBitmap& still, uint8_t, bool quick) {
  // The still is borrowed for the call, and so is this picture over it.
  const QImage taken = BorrowedPicture(still);
  QImage shown;
  QString path;
  OnGuiThread([&] {
    bool withDrawing = false;
    if (quick) {
      path = environment_.quickSaveFolder();
      withDrawing =
          HasDrawing() && environment_.quickSaveWithDrawing && environment_.quickSaveWithDrawing();
    } else if (DialogMayOpen()) {
      const bool offerDrawing = HasDrawing();
      const SaveChoice choice =
          environment_.dialogs->AskSavePath(environment_.owner(), offerDrawing);
      path = choice.path;
      withDrawing = offerDrawing && choice.withDrawing;
    }
    if (quick || !path.isEmpty()) {
      shown = AsShown(taken, withDrawing);
    }
  });
  if (!quick && path.isEmpty()) {
    return;
  }
  ImagingBitmap shownBitmap;
  if (!shown.isNull()) {
    // A picture that cannot be converted leaves the bitmap empty, whose
    // save then fails with its message.
    ToImagingBitmap(shown, shownBitmap);
  }
  const ImagingBitmap& saved = shown.isNull() ? still : shownBitmap;
  if (quick) {
    QuickSaveStill(saved, path, environment_.now());
  } else {
    SaveStillAs(saved, path);
  }
}

void HeldStillActions::PrintStill(const FrameBitmap& still, uint8_t) {
  std::unique_ptr<QPrinter> printer;
  std::optional<PageSetup> setup;
  QImage chosen;
  OnGuiThread([&] {
    if (!DialogMayOpen()) {
      return;
    }
    const QImage taken = StillPicture(still);
    const QImage shown = AsShown(taken, false);
    const QImage drawn = HasDrawing() ? AsShown(taken, true) : QImage();
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    setup = environment_.dialogs->AskPageSetup(environment_.owner(), *printer,
                                               shown.isNull() ? taken : shown, drawn);
    if (setup && !environment_.dialogs->AskPrinter(environment_.owner(), *printer)) {
      setup.reset();
    }
    if (setup) {
      chosen = setup->withDrawing && !drawn.isNull() ? drawn : shown;
    }
  });
  if (setup) {
    if (chosen.isNull()) {
      PrintStillPages(*printer, *setup, still);
    } else {
      // A picture that cannot be converted prints as an empty bitmap,
      // whose creation then fails with its message.
      FrameBitmap shownBitmap(FrameBitmap::kStillPelsPerMeter);
      ToFrameBitmap(chosen, shownBitmap);
      PrintStillPages(*printer, *setup, shownBitmap);
    }
  }
  OnGuiThread([&] { printer.reset(); });  // made on the GUI thread, freed there
}

}  // namespace rd420::stills
