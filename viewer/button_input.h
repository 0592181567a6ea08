#pragma once

#include <QObject>

#include "devlink/camera_status.h"
#include "devlink/command_queue.h"
#include "devlink/still_capture.h"
#include "devlink/stream_pipeline.h"
#include "viewer/about_box.h"
#include "viewer/control_panel.h"
#include "viewer/display_modes.h"
#include "viewer/main_window.h"

namespace rd420::viewer {

class SkinButton;

// The viewer as its buttons and keys see it. Thread-bound: the GUI thread.
class ButtonTarget {
 public:
  virtual bool Ended() const = 0;
  virtual void Exit() = 0;
  virtual void CaptureToggle() = 0;
  virtual void QuickSave() = 0;
  virtual void OpenPanel() = 0;
  virtual void ShowOptions() = 0;
  virtual void StartCaptureProgram() = 0;
  // A handed-over still waits for the application.
  virtual bool HeldForTransfer() const = 0;
  // Whether `watched` belongs to one of the viewer's windows.
  virtual bool OwnWindow(const QObject* watched) const = 0;

 protected:
  ~ButtonTarget() = default;
};

// The buttons of the viewer's windows and its keys: held adjustments,
// posted words and the local actions. Thread-bound: the GUI thread.
class ButtonInput : public QObject {
 public:
  // `handsStillOver`: Save asks for the still to go to the application,
  // and there is no quick save.
  ButtonInput(ButtonTarget& viewer, CommandQueue& commands, const CameraStatus& status,
              StillFlags& stills, DisplayModes& modes, bool handsStillOver);

  // Connects the built windows' buttons; the keys are watched from here on.
  void Connect(MainWindow& main, ControlPanel& panel, AboutBox& about, StreamPipeline& pipeline);

 protected:
  // An event is seen as it reaches its window and again at the widget it
  // goes to: a key acted on is taken at the first, and the mouse tracking
  // comes to the same result twice.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectButtons(QWidget* window);
  void OnPressed(SkinButton* button);
  void OnReleased(SkinButton* button);
  void OnClicked(QWidget* window, SkinButton* button);

  ButtonTarget& viewer_;
  CommandQueue& commands_;
  const CameraStatus& status_;
  StillFlags& stills_;
  DisplayModes& modes_;
  const bool handsStillOver_;
  MainWindow* main_ = nullptr;
  ControlPanel* panel_ = nullptr;
  AboutBox* about_ = nullptr;
  StreamPipeline* pipeline_ = nullptr;
};

}  // namespace rd420::viewer
