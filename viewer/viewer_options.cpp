// The settings in memory and the option dialog that changes them. GUI
// thread only.
#include "viewer/viewer.h"

namespace rd420::viewer {

void Viewer::LoadSettings() {
  const ViewerSettings& settings = settings_.Load();
  Controls().SafeMode = settings.SafeMode ? 1 : 0;
  fullScreenScaled_ = settings.FullScreenMode4;
  // Read once: a change waits for the next start, as the option says.
  still_->alwaysFull = settings.AlwaysFull;
  optionDialog_->Fill(settings);
}

void Viewer::ReloadOptions() {
  // What is stored, not what is in memory: a cancelled change is gone, and
  // AlwaysFull shows its stored value for the next start.
  optionDialog_->Fill(settings_.Stored());
}

void Viewer::ShowOptions() {
  if (ended_) {
    return;
  }
  if (!modes_.FullScreen()) {
    optionDialog_->move(main_->x() + (modes_.Large() ? 430 : 100), main_->y() + 20);
  }
  optionDialog_->show();
  optionDialog_->raise();
}

void Viewer::ConfirmOptions() {
  if (ended_) {
    return;
  }
  // Nothing changes unless it could be stored; the dialog stays open.
  if (!settings_.Confirm(optionDialog_->Values())) {
    return;
  }
  Controls().SafeMode = settings_.Current().SafeMode ? 1 : 0;
  fullScreenScaled_ = settings_.Current().FullScreenMode4;
  modes_.ApplyTopMost();
  optionDialog_->hide();
}

}  // namespace rd420::viewer
