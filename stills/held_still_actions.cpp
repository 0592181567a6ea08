#include "stills/held_still_actions.h"

#include <QPrinter>
#include <QThread>
#include <memory>

#include "stills/print_still.h"
#include "stills/save_still.h"

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

void HeldStillActions::SaveStill(const ImagingBitmap& still, uint8_t, bool quick) {
  if (quick) {
    QString folder;
    OnGuiThread([&] { folder = environment_.quickSaveFolder(); });
    QuickSaveStill(still, folder, environment_.now());
    return;
  }
  QString path;
  OnGuiThread([&] {
    if (DialogMayOpen()) {
      path = environment_.dialogs->AskSavePath(environment_.owner());
    }
  });
  if (!path.isEmpty()) {
    SaveStillAs(still, path);
  }
}

void HeldStillActions::PrintStill(const FrameBitmap& still, uint8_t) {
  std::unique_ptr<QPrinter> printer;
  std::optional<PageSetup> setup;
  OnGuiThread([&] {
    if (!DialogMayOpen()) {
      return;
    }
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    setup = environment_.dialogs->AskPageSetup(environment_.owner(), *printer, StillPicture(still));
    if (setup && !environment_.dialogs->AskPrinter(environment_.owner(), *printer)) {
      setup.reset();
    }
  });
  if (setup) {
    PrintStillPages(*printer, *setup, still);
  }
  OnGuiThread([&] { printer.reset(); });  // made on the GUI thread, freed there
}

}  // namespace rd420::stills
