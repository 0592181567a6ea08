#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>

#include "relay/relay_mode.h"

namespace rd420::relay {

// The relay's picture of the hand-over (dialog 101): shows it, looks every
// 100 ms whether the program handing over still has its main window, and
// once it has not, starts the other program and ends. Runs on the GUI
// thread, the relay's only one.
class RelayDlg : public QDialog {
 public:
  struct Options {
    const RelayMode* mode = nullptr;
    // The folder the other program is started from: the relay's own.
    QString programDirectory;
    // True while the program handing over still holds on: its main window
    // exists, or where windows cannot be seen, the camera lock is held.
    std::function<bool()> handingOverRuns;
    int pollIntervalMs = 100;
  };

  explicit RelayDlg(Options options);

  // Escape and closing do nothing: the program handing over has already
  // let go of the camera, so only starting the other one ends the relay.
  void reject() override {}

 private:
  void OnTick();

  Options options_;
  QTimer poll_;
};

}  // namespace rd420::relay
