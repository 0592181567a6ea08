// What the viewer's buttons and keys lead to: the capture toggle, the
// buttons' states, quick save and the panel. GUI thread only.
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "viewer/control_ids.h"
#include "viewer/viewer.h"

namespace rd420::viewer {

void Viewer::Apply(const ControlChanges& changes) {
  for (const ControlChange& change : changes) {
    QWidget* window = change.window == ControlChange::Window::kMain
                          ? static_cast<QWidget*>(main_.get())
                          : static_cast<QWidget*>(panel_.get());
    QWidget* control = FindButton(window, change.id);
    if (control == nullptr) {
      control = window->findChild<QWidget*>(ControlName(change.id));
    }
    if (control == nullptr) {
      continue;
    }
    if (change.what == ControlChange::What::kEnable) {
      const bool heldButton =
          window == panel_.get() && (change.id == kIdCapture || change.id == kIdSave);
      control->setEnabled(change.on && !(heldButton && HeldForTransfer()));
    } else {
      control->setVisible(change.on);
    }
  }
}

void Viewer::SetCaptureHeld(bool held) {
  panel_->Button(kIdCapture)
      ->SetPictures(held ? kBitmapCaptureHeld : 216, held ? kBitmapCaptureHeldPressed : 217, 218);
}

void Viewer::CaptureToggle() {
  if (ended_) {
    return;
  }
  if (Flags().g_Stream_Run != 0) {
    Apply(ButtonsEnteringCapture(modes_.LargeMode()));
    SetCaptureHeld(true);
  } else {
    // A press the still thread has not taken yet goes with the still.
    stills_.g_Save_Request = 0;
    stills_.g_Print_Request = 0;
    Apply(ButtonsResumingLive(modes_.LargeMode()));
    SetCaptureHeld(false);
  }
  pipeline_->CaptureToggle();
}

void Viewer::QuickSave() {
  if (ended_ || stills_.g_Save_Request != 0 || stills_.g_Print_Request != 0 ||
      Flags().g_Stream_Run == 0 || stills_.g_QuickSave_Busy != 0 || !link_.HighSpeedLink()) {
    return;
  }
  stills_.g_QuickSave_Request = 1;
  stills_.g_QuickSave_Busy = 1;
  CaptureToggle();
}

void Viewer::OpenPanel() {
  if (ended_) {
    return;
  }
  if (!modes_.Large()) {
    panel_->move(main_->x(), main_->y() + (status_.g_Aspect_43 != 0 ? 482 : 362));
  } else if (!modes_.FullScreen()) {
    const QRect monitor = modes_.MeasureMonitor();
    panel_->move(monitor.left() + monitor.width() - 642, monitor.top() + monitor.height() - 159);
  }
  QThread::msleep(50);
  panel_->show();
  panel_->Button(kIdPanelClose)->setEnabled(true);
}

bool Viewer::OwnWindow(const QObject* watched) const {
  const QWindow* window = qobject_cast<const QWindow*>(watched);
  if (window == nullptr) {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr) {
      return false;
    }
    window = widget->window()->windowHandle();
  }
  const std::vector<QWidget*> own = Windows();
  return window != nullptr && std::any_of(own.begin(), own.end(), [window](const QWidget* mine) {
           return mine->windowHandle() == window;
         });
}

}  // namespace rd420::viewer
