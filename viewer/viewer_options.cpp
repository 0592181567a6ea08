// The settings in memory and the option dialog that changes them. GUI
// thread only.
#include "viewer/viewer.h"

namespace rd420::viewer {

void Viewer::LoadSettings() {
  settings_ = FirstStartSettings(options_.programDirectory);
  LoadViewerSettings(settingsKey_, settings_);  // on failure, after its message, what it has
  Controls().SafeMode = settings_.SafeMode ? 1 : 0;
  fullScreenScaled_ = settings_.FullScreenMode4;
  // Read once: a change waits for the next start, as the option says.
  still_->alwaysFull = settings_.AlwaysFull;
  optionDialog_->Fill(settings_);
}

void Viewer::ReloadOptions() {
  // What is stored, not what is in memory: a cancelled change is gone, and
  // AlwaysFull shows its stored value for the next start.
  ViewerSettings stored = settings_;
  LoadViewerSettings(settingsKey_, stored);
  optionDialog_->Fill(stored);
}

void Viewer::ShowOptions() {
  if (ended_) {
    return;
  }
  if (g_Layout_FullScreen == 0) {
    optionDialog_->move(main_->x() + (g_Layout_Large != 0 ? 430 : 100), main_->y() + 20);
  }
  optionDialog_->show();
  optionDialog_->raise();
}

void Viewer::ConfirmOptions() {
  if (ended_) {
    return;
  }
  const ViewerSettings chosen = optionDialog_->Values();
  // Nothing changes unless it could be stored; the dialog stays open.
  if (!StoreViewerSettings(settingsKey_, chosen)) {
    return;
  }
  const bool alwaysFull = settings_.AlwaysFull;
  settings_ = chosen;
  settings_.AlwaysFull = alwaysFull;
  Controls().SafeMode = settings_.SafeMode ? 1 : 0;
  fullScreenScaled_ = settings_.FullScreenMode4;
  ApplyTopMost();
  optionDialog_->hide();
}

}  // namespace rd420::viewer
