#include "viewer/display_modes.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include "platform/message.h"
#include "platform/trace.h"
#include "viewer/control_ids.h"
#include "viewer/control_panel.h"
#include "viewer/main_window.h"

namespace rd420::viewer {

DisplayModes::DisplayModes(const CameraStatus& status, const StoredSettings& settings,
                           const char* oneToOneRefused, const bool& ended)
    : status_(status),
      settings_(settings),
      oneToOneRefused_(oneToOneRefused),
      ended_(ended),
      bar_(
          [this](bool visible) {
            if (g_Layout_FullScreen != 0 && !ended_) {
              panel_->setVisible(visible);
            }
          },
          [this] { return settings_.Current().DelayTime; }) {
}

void DisplayModes::Attach(MainWindow& main, ControlPanel& panel, StreamPipeline& pipeline) {
  main_ = &main;
  panel_ = &panel;
  pipeline_ = &pipeline;
}

void DisplayModes::TrackMouse(const QMouseEvent& event) {
  bar_.TrackMouse(event, LargeMode());
}

void DisplayModes::PanelClosed() {
  if (LargeMode()) {
    bar_.MarkVisible();
  }
}

QRect DisplayModes::MeasureMonitor() {
  // The monitor that holds most of the main window; off every monitor, the
  // one Qt has put it on.
  const QRect window = main_->frameGeometry();
  QScreen* best = nullptr;
  int bestArea = 0;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->geometry() & window;
    if (common.width() * common.height() > bestArea) {
      bestArea = common.width() * common.height();
      best = screen;
    }
  }
  if (best == nullptr) {
    best = main_->screen();
  }
  const QRect monitor = best->geometry();
  monitor_.Set(monitor);
  return monitor;
}

void DisplayModes::RequestFullScreen() {
  if (ended_) {
    return;
  }
  MeasureMonitor();
  pipeline_->RequestRestart(kModeFullScreen);
}

void DisplayModes::ToggleOneToOne() {
  if (ended_) {
    return;
  }
  const QRect monitor = MeasureMonitor();
  if (g_Half_Toggle != 0) {
    // The 1:1 window's button column would lie beyond a narrower monitor.
    if (monitor.width() < 1280) {
      ShowMessage(nullptr, oneToOneRefused_, "ERROR (AWN00007)", MessageIcon::kError);
      return;
    }
    pipeline_->RequestRestart(kModeOneToOne);
    g_Half_Toggle = 0;
  } else {
    RequestHalf(true);
  }
}

void DisplayModes::RequestHalf(bool byButton) {
  if (ended_) {
    return;
  }
  MeasureMonitor();
  const bool changes =
      pipeline_->Flags().g_Display_Mode != kModeHalf && pipeline_->Flags().g_Stream_Run != 0;
  pipeline_->RequestRestart(kModeHalf);
  if (changes && byButton) {
    panel_->Button(kIdCapture)->setEnabled(false);
  }
  if (changes || byButton) {
    g_Half_Toggle = 1;
  }
}

void DisplayModes::ApplyLayout(uint8_t mode) {
  if (ended_) {
    return;
  }
  const WindowLayout layout = LayoutFor(mode, status_.g_Aspect_43 != 0, monitor_.Get(),
                                        qApp->style()->pixelMetric(QStyle::PM_TitleBarHeight));
  Trace("viewer: lay out for mode 0x%02X", mode);
  g_Layout_Large = mode != kModeHalf ? 1 : 0;
  g_Layout_FullScreen = mode == kModeFullScreen ? 1 : 0;
  panel_->hide();
  PictureView* picture = main_->View();
  picture->setGeometry(QRect(QPoint(0, 0), layout.picture));
  picture->setVisible(layout.pictureShown);
  for (const auto& [id, place] : layout.buttons) {
    if (SkinButton* button = main_->Button(id)) {  // the data source lacks some
      button->move(place);
    }
  }
  // The main window's own column only: the control panel, a child window
  // of it, keeps its buttons, as the full-screen bar shows them.
  for (SkinButton* button : main_->findChildren<SkinButton*>(Qt::FindDirectChildrenOnly)) {
    button->setVisible(layout.buttonsShown);
  }
  main_->setGeometry(layout.window);
  main_->SetSeeThroughFrom(layout.seeThroughFrom);

  SkinButton* half = panel_->Button(kIdHalf);
  half->setEnabled(mode != kModeHalf);
  half->setVisible(mode != kModeHalf);
  panel_->Button(kIdPanelClose)->setVisible(mode != kModeFullScreen);
  panel_->Button(kIdPanelClose)->setEnabled(true);
  main_->Button(kIdOpenPanel)->setEnabled(true);
  if (mode != kModeOneToOne) {
    panel_->move(layout.panel);
  }
  if (mode == kModeFullScreen) {
    bar_.SetVisible(true);
    bar_.RestartTimer();
  }
  main_->update();
}

void DisplayModes::ApplyTopMost() {
  if (ended_) {
    return;
  }
  // On the window itself: a widget's flag change would re-create the
  // window and move it.
  if (QWindow* window = main_->windowHandle()) {
    window->setFlag(Qt::WindowStaysOnTopHint, settings_.Current().TopMostMode);
  } else {
    main_->setWindowFlag(Qt::WindowStaysOnTopHint, settings_.Current().TopMostMode);
  }
}

}  // namespace rd420::viewer
