#include "viewer/button_input.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/trace.h"
#include "viewer/control_ids.h"
#include "wire/command_words.h"

namespace rd420::viewer {
namespace {

constexpr uint32_t kCmdStopAdjustment = 0x002F0005;

}  // namespace

ButtonInput::ButtonInput(ButtonTarget& viewer, CommandQueue& commands, const CameraStatus& status,
                         StillFlags& stills, DisplayModes& modes, bool handsStillOver)
    : viewer_(viewer),
      commands_(commands),
      status_(status),
      stills_(stills),
      modes_(modes),
      handsStillOver_(handsStillOver) {
}

void ButtonInput::Connect(MainWindow& main, ControlPanel& panel, AboutBox& about,
                          StreamPipeline& pipeline) {
  main_ = &main;
  panel_ = &panel;
  about_ = &about;
  pipeline_ = &pipeline;
  ConnectButtons(main_);
  ConnectButtons(panel_);
}

void ButtonInput::ConnectButtons(QWidget* window) {
  // Direct children only: the panel is itself a child of the main window.
  for (SkinButton* button : window->findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
    connect(button, &QAbstractButton::pressed, this, [this, button] { OnPressed(button); });
    connect(button, &QAbstractButton::released, this, [this, button] { OnReleased(button); });
    connect(button, &QAbstractButton::clicked, this,
            [this, window, button] { OnClicked(window, button); });
  }
}

void ButtonInput::OnPressed(SkinButton* button) {
  const ButtonSpec& spec = button->Spec();
  if (spec.action != ButtonAction::kHold || viewer_.Ended()) {
    return;
  }
  button->held = true;
  if (spec.overlay == Overlay::kZoom) {
    pipeline_->Controls().g_Zoom_Osd = 1;
    pipeline_->Controls().g_Brightness_Osd = 0;
    about_->ZoomTimer().stop();
  } else if (spec.overlay == Overlay::kBrightness) {
    pipeline_->Controls().g_Brightness_Osd = 1;
    pipeline_->Controls().g_Zoom_Osd = 0;
    about_->BrightnessTimer().stop();
  }
  commands_.QueueCommand(spec.word);
}

void ButtonInput::OnReleased(SkinButton* button) {
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

void ButtonInput::OnClicked(QWidget* window, SkinButton* button) {
  if (viewer_.Ended()) {
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
  if (window == main_) {
    switch (spec.id) {
      case kIdExit:
        viewer_.Exit();
        break;
      case kIdOpenPanel:
        viewer_.OpenPanel();
        break;
      case kIdQuickSave:
        viewer_.QuickSave();
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
        viewer_.ShowOptions();
        break;
      default:
        Trace("viewer: button %d has no action", spec.id);
    }
    return;
  }
  switch (spec.id) {
    case kIdCapture:
      viewer_.CaptureToggle();
      break;
    case kIdSave:
      (handsStillOver_ ? stills_.CaptureRequest : stills_.g_Save_Request) = 1;
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
      viewer_.StartCaptureProgram();
      break;
    default:
      Trace("viewer: panel button %d has no action", spec.id);
  }
}

bool ButtonInput::eventFilter(QObject* watched, QEvent* event) {
  if (viewer_.Ended()) {
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
  if (!viewer_.OwnWindow(watched)) {
    return false;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->isAutoRepeat()) {
    return false;
  }
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if ((key->modifiers() & Qt::AltModifier) != 0 && pipeline_->Flags().g_Stream_Run != 0) {
        modes_.RequestFullScreen();
      }
      return true;
    case Qt::Key_Escape:
      if (pipeline_->Flags().g_Capture_Mode == 0) {
        if (pipeline_->Flags().g_Stream_Run != 0) {
          modes_.RequestHalf(false);
        }
      } else if (pipeline_->Flags().g_Capture_Started != 0 && stills_.g_Save_Request == 0 &&
                 stills_.g_Print_Request == 0 && !viewer_.HeldForTransfer()) {
        viewer_.CaptureToggle();
      }
      return true;
    case Qt::Key_Space:
      return true;
    case Qt::Key_F2:
      if (!handsStillOver_) {
        viewer_.QuickSave();
      }
      return true;
    default:
      return false;
  }
}

}  // namespace rd420::viewer
