// The viewer's buttons and keys, and the capture toggle they lead to. GUI
// thread only.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "platform/trace.h"
#include "viewer/control_ids.h"
#include "viewer/viewer.h"
#include "wire/command_words.h"

namespace rd420::viewer {
namespace {

constexpr uint32_t kCmdStopAdjustment = 0x002F0005;

}  // namespace

void Viewer::ConnectButtons(QWidget* window) {
  // Direct children only: the panel is itself a child of the main window.
  for (SkinButton* button : window->findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
    connect(button, &QAbstractButton::pressed, this, [this, button] { OnPressed(button); });
    connect(button, &QAbstractButton::released, this, [this, button] { OnReleased(button); });
    connect(button, &QAbstractButton::clicked, this,
            [this, window, button] { OnClicked(window, button); });
  }
}

void Viewer::OnPressed(SkinButton* button) {
  const ButtonSpec& spec = button->Spec();
  if (spec.action != ButtonAction::kHold || ended_) {
    return;
  }
  button->held = true;
  if (spec.overlay == Overlay::kZoom) {
    Controls().g_Zoom_Osd = 1;
    Controls().g_Brightness_Osd = 0;
    about_->ZoomTimer().stop();
  } else if (spec.overlay == Overlay::kBrightness) {
    Controls().g_Brightness_Osd = 1;
    Controls().g_Zoom_Osd = 0;
    about_->BrightnessTimer().stop();
  }
  commands_.QueueCommand(spec.word);
}

void Viewer::OnReleased(SkinButton* button) {
  if (!button->held) {
    return;
  }
  button->held = false;
  const Overlay overlay = button->Spec().overlay;
  if (overlay != Overlay::kNone) {
    (overlay == Overlay::kZoom ? about_->ZoomTimer() : about_->BrightnessTimer()).start();
  }
  commands_.QueueCommand(kCmdStopAdjustment);
}

void Viewer::OnClicked(QWidget* window, SkinButton* button) {
  if (ended_) {
    return;  // the ending takes no more orders
  }
  const ButtonSpec& spec = button->Spec();
  if (spec.action == ButtonAction::kPost || spec.action == ButtonAction::kToggle) {
    commands_.QueueCommand(WordToQueue(spec, status_.g_Normal_Status));
    return;
  }
  if (spec.action != ButtonAction::kLocal) {
    return;
  }
  if (window == main_.get()) {
    switch (spec.id) {
      case kIdExit:
        Exit();
        break;
      case kIdOpenPanel:
        OpenPanel();
        break;
      case kIdQuickSave:
        QuickSave();
        break;
      case kIdMinimise:
        main_->showMinimized();
        break;
      case kIdAbout:
        if (!modes_.FullScreen()) {
          about_->move(main_->x() + (modes_.Large() ? 260 : 130), main_->y() + 100);
        }
        about_->show();
        break;
      case kIdFullScreen:
        modes_.RequestFullScreen();
        break;
      case kIdOneToOne:
        modes_.ToggleOneToOne();
        break;
      case kIdOptions:
        ShowOptions();
        break;
      default:
        Trace("viewer: button %d has no action", spec.id);
    }
    return;
  }
  switch (spec.id) {
    case kIdCapture:
      CaptureToggle();
      break;
    case kIdSave:
      (role_.HandsStillOver() ? stills_.CaptureRequest : stills_.g_Save_Request) = 1;
      break;
    case kIdPrint:
      stills_.g_Print_Request = 1;
      break;
    case kIdPanelClose:
      main_->Button(kIdOpenPanel)->setEnabled(true);
      modes_.PanelClosed();
      panel_->hide();
      break;
    case kIdHalf:
      modes_.RequestHalf(true);
      break;
    case kIdCaptureProgram:
      StartCaptureProgram();
      break;
    default:
      Trace("viewer: panel button %d has no action", spec.id);
  }
}

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

bool Viewer::eventFilter(QObject* watched, QEvent* event) {
  // An event is seen as it reaches its window and again at the widget it
  // goes to: a key acted on is taken at the first, and the mouse tracking
  // comes to the same result twice.
  if (ended_) {
    return QObject::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      modes_.TrackMouse(static_cast<const QMouseEvent&>(*event));
      return false;
    case QEvent::KeyPress:
      break;
    default:
      return false;
  }
  // The keys belong to the viewer's windows; a message box answers its own.
  if (!OwnWindow(watched)) {
    return false;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->isAutoRepeat()) {
    return false;
  }
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if ((key->modifiers() & Qt::AltModifier) != 0 && Flags().g_Stream_Run != 0) {
        modes_.RequestFullScreen();
      }
      return true;
    case Qt::Key_Escape:
      if (Flags().g_Capture_Mode == 0) {
        if (Flags().g_Stream_Run != 0) {
          modes_.RequestHalf(false);
        }
      } else if (Flags().g_Capture_Started != 0 && stills_.g_Save_Request == 0 &&
                 stills_.g_Print_Request == 0 && !HeldForTransfer()) {
        CaptureToggle();
      }
      return true;
    case Qt::Key_Space:
      return true;
    case Qt::Key_F2:
      if (!role_.HandsStillOver()) {
        QuickSave();
      }
      return true;
    default:
      return false;
  }
}

}  // namespace rd420::viewer
