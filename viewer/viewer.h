#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devlink/camera_status.h"
#include "devlink/command_queue.h"
#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "devlink/still_capture.h"
#include "devlink/stream_pipeline.h"
#include "platform/screen_saver.h"
#include "viewer/about_box.h"
#include "viewer/button_input.h"
#include "viewer/button_rules.h"
#include "viewer/control_panel.h"
#include "viewer/display_modes.h"
#include "viewer/frame_painter.h"
#include "viewer/main_window.h"
#include "viewer/option_dialog.h"
#include "viewer/presenter_tools.h"
#include "viewer/viewer_role.h"
#include "viewer/viewer_settings.h"

namespace rd420::viewer {

// The viewer program: its start-up, windows, buttons and keys, the live
// picture and the held still, and its ending. Lives on the GUI thread; the
// streaming, status and still threads reach it only through posted calls.
class Viewer : public QObject, public StreamHost, private ButtonTarget {
  Q_OBJECT

 public:
  struct Options {
    std::string deviceDirectory;
    QString programDirectory;  // where Swivane is looked for
    // Save and print of the held still, made once for this viewer; null:
    // the requests are dropped (the data source hands its still over).
    std::function<std::unique_ptr<StillActions>(Viewer&)> stillActions;
    // The presenter's tools, made once the windows are built; null: none.
    std::function<std::unique_ptr<PresenterTools>(Viewer&)> presenterTools;
    std::function<void()> releaseInstanceLock;
    StreamTimings timings;
    uint32_t readyPollIntervalMs = 100;  // the ready-wait's poll spacing
    QString settingsFile;                // empty: the user's own
    ViewerRole* role = nullptr;          // what the windows are for; null: the viewer program's
    bool showWindow = true;              // false: a hidden window that streams
    // The screen saver is held off through D-Bus, whose connection thread
    // Qt keeps for the rest of the process.
    bool holdScreenSaver = true;
  };

  explicit Viewer(Options options);
  ~Viewer() override;

  // Runs the start-up; false when the viewer ended during it (after its
  // message). Returns once the live picture is streaming.
  bool Start();
  bool Ended() const override { return ended_; }
  // The data source closes its window: the ending without asking the
  // application to close the source.
  void Close();
  // The data source's transfer with no still handed over: holds one fresh
  // still at the current mode's size, copies its rows (bottom-up BGR) and
  // resumes live view. False when the camera cannot deliver one.
  bool GrabStill(std::vector<uint8_t>& pixels, int& width, int& height);
  // The data source's hidden window: waits, serving no events, until the
  // first frame has been read. False when the run ended without one, the
  // link failed or `timeoutMs` passed.
  bool AwaitFirstFrame(int timeoutMs);
  // Stops the camera's threads and touches no widget: for a host whose
  // application has gone before it closed the source. Any thread.
  void StopThreads();

  // What a host needs of the still a transfer would take: the camera's
  // aspect, the display mode and the AlwaysFull setting. Empty until the
  // camera has answered and the windows exist.
  struct StillShape {
    bool aspect43;
    uint8_t displayMode;
    bool alwaysFull;
  };
  std::optional<StillShape> Shape() const;

  MainWindow* Main() const { return main_.get(); }
  ControlPanel* Panel() const { return panel_.get(); }
  AboutBox* About() const { return about_.get(); }
  OptionDialog* OptionsDialog() const { return optionDialog_.get(); }
  const StreamFlags& Flags() const { return pipeline_->Flags(); }
  StreamControls& Controls() { return pipeline_->Controls(); }
  StreamPipeline& Pipeline() { return *pipeline_; }
  StillFlags& Stills() { return stills_; }
  const CameraStatus& Status() const { return status_; }
  StillCapture& Still() { return *still_; }
  // The in-memory copies of the settings.
  const ViewerSettings& Settings() const { return settings_.Current(); }
  // The settings file, where the presenter's tools keep theirs too.
  const SettingsKey& SettingsFile() const { return settings_.Key(); }
  // Where a quick save goes, read from the settings file at each call: the
  // folder may have changed in the file.
  QString QuickSaveFolder() const { return settings_.QuickSaveFolder(); }
  DisplayModes& Modes() { return modes_; }
  // Null without them, or before the windows are built.
  PresenterTools* Tools() const { return presenterTools_.get(); }

  // User actions (GUI thread).
  void Exit() override;
  void CaptureToggle() override;
  void QuickSave() override;
  void OpenPanel() override;
  void StartCaptureProgram() override;
  void ShowOptions() override;

 signals:
  // The main window has ended; the process may leave its event loop.
  void finished();
  // A held still has been read: the frame as the camera took it, upright.
  // Emitted only for a viewer with presenter tools, which keep stills.
  void stillHeld(const QImage& still);

 private:
  // StreamHost, called by the streaming threads.
  void RunStarting(uint8_t displayMode) override;
  void DrawFrame(const DisplayedFrame& frame) override;
  void HandleStatus() override;
  bool StartStill(Event& stillReady) override;
  void LayOut(uint8_t mode) override;
  void ResumingLive() override;
  void EndProgram() override;
  void StreamOpenFailed() override;

  void BuildWindows(bool aspect43, bool modelVariant);
  void Apply(const ControlChanges& changes);
  void SetCaptureHeld(bool held);
  // The ending, in two steps on the event loop, neither of which serves
  // events: this one stops taking orders, asks every thread to stop and
  // has them joined on a thread of its own, which then posts
  // FinishEnding. Whatever the event loop runs meanwhile finds the viewer
  // ended, and a worker that waits for the GUI thread is served.
  void EndMainWindow();
  void FinishEnding();
  // Waits for the joining thread of an ending under way (not on a worker).
  void JoinEnding();
  // Waits until the streaming and still threads and every request thread
  // have ended.
  void JoinWorkers();
  // Runs `work` on the GUI thread, queued.
  void Post(std::function<void()> work);
  // Both capture buttons stay disabled meanwhile.
  bool HeldForTransfer() const override { return !role_.StillTaken(); }
  // Where the role shows a failed start: the windows, disabled and shown as
  // asked, before a camera they cannot use is reported.
  void ShowFailedWindow(bool aspect43, bool modelVariant);
  // "Capture Image" and "Scan Capturing Image" together.
  void SetCaptureButtons(bool enabled);
  void HandOverStill(const FrameBitmap& still);
  void PollHandOver();

  // Settings (viewer_options.cpp).
  void LoadSettings();
  void ReloadOptions();
  void ConfirmOptions();
  // The viewer's four windows, those that exist yet.
  std::vector<QWidget*> Windows() const;
  bool OwnWindow(const QObject* watched) const override;

  Options options_;
  ViewerRole& role_;
  SocketTransport transport_;
  DeviceLink link_;
  CameraStatus status_;
  CommandQueue commands_;
  StillFlags stills_;
  StoredSettings settings_;
  std::atomic<bool> fullScreenScaled_{false};
  DisplayModes modes_;
  ButtonInput input_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<ControlPanel> panel_;
  std::unique_ptr<AboutBox> about_;
  std::unique_ptr<OptionDialog> optionDialog_;
  std::unique_ptr<FramePainter> painter_;
  // Over the main window's picture: gone before the windows are.
  std::unique_ptr<PresenterTools> presenterTools_;
  std::unique_ptr<StillActions> stillActions_;
  std::unique_ptr<StillCapture> still_;
  std::unique_ptr<StreamPipeline> pipeline_;
  ScreenSaverInhibitor screenSaver_;
  std::atomic<bool> formatChangeReported_{false};
  bool ended_ = false;
  bool endingFinished_ = false;
  bool closedBySource_ = false;
  std::thread joiner_;  // joins the workers once the ending has begun
  // What the ending does once the threads are gone: start the capture
  // program after the camera and the lock are free.
  std::function<void()> afterEnding_;
  // The data source's hand-over: set when a still went to the application
  // until its buttons are given back; the grab for a transfer without one.
  std::atomic<bool> handOverPending_{false};
  std::atomic<bool> grabbing_{false};
  std::mutex grabMutex_;
  std::vector<uint8_t> grabbed_;
  int grabbedWidth_ = 0;
  int grabbedHeight_ = 0;
};

}  // namespace rd420::viewer
