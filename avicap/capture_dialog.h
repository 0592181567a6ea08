#pragma once

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_flags.h"
#include "capture/recording.h"
#include "capture/stream_cycle.h"
#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "platform/instance_lock.h"
#include "platform/newest_picture.h"
#include "platform/screen_saver.h"

class QLabel;
class QLineEdit;

namespace rd420::avicap {

class AboutBox;

// The preview area (1004): the newest picture the consumer handed over, at
// y 0 (4:3) or 55 (16:9). GUI thread only, but for Newest(), which the
// consumer fills.
class PreviewArea : public QWidget {
 public:
  explicit PreviewArea(QWidget* parent);
  NewestPicture<QPoint>& Newest() { return newest_; }
  // Repaints with the newest picture; asked once per picture or run of
  // pictures.
  void ShowNewest();
  QImage Picture() const { return newest_.Newest().picture; }
  QPoint Origin() const { return newest_.Newest().placement; }
  int PicturesShown() const { return picturesShown_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  NewestPicture<QPoint> newest_;
  int picturesShown_ = 0;
};

// The capture program's dialog "TORVELA VAV Eduruzu": its start-up checks,
// controls, the two timers and the closing paths. Lives on the GUI thread;
// the capture threads reach it only through posted calls and messages.
class CaptureDlg : public QDialog, private capture::CaptureHost {
 public:
  struct Options {
    std::string deviceDirectory;
    QString programDirectory;                    // where Swivane is looked for
    capture::RecordingWriter* writer = nullptr;  // null: the AVI writer
    uint32_t readyPollIntervalMs = 100;
    int minuteMs = 60000;                   // timer 1 runs minutes x this
    int elapsedTickMs = 1000;               // timer 2
    std::function<int64_t()> clockSeconds;  // wall clock; default time()
    // The save dialog; an empty answer is a cancel.
    std::function<QString()> chooseFile;
    std::function<std::optional<uint64_t>(const std::string& folder)> freeKilobytes;
    std::function<bool(const std::string& folder)> limitsFileTo4GB;
  };

  explicit CaptureDlg(Options options);
  ~CaptureDlg() override;

  // The start-up in its order, before the dialog is first shown. False
  // when it failed: the message is shown and a close request posted.
  bool Initialise();

  bool Ended() const { return ended_; }
  const capture::CaptureFlags& Flags() const { return flags_; }
  PreviewArea* Preview() const { return preview_; }
  AboutBox* About() const { return about_; }
  uint64_t RequiredKB() const { return RequiredKB_; }
  void ShowAbout();

  void reject() override;  // the cancel path
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // CaptureHost, called by the capture threads.
  void StreamStarting() override;
  void ShowPreview(const capture::PreviewPicture& picture) override;
  void PostClose() override;
  const void* MessageOwner() const override { return this; }
  void ShowNoCompression() override;

  void BuildControls();
  QWidget* Control(int id) const;
  template <typename T>
  T* ControlAs(int id) const {
    return static_cast<T*>(Control(id));
  }
  bool WaitReady();
  void FailStart(bool minimise);

  void OnCapture();
  void OnStop();
  void OnVadizivid();
  void OnTimeLimit();
  void OnElapsed();
  void Restart();
  // Ends the running cycle, then starts a preview or recording one.
  void StartCycle(bool record, capture::RecordingSettings settings);
  // Ends the running cycle, serving events meanwhile.
  void StopCycle();
  void CloseRequest();
  void DestroyStep();
  void ShowIndicator(bool recording);
  void EnableSettings(bool enable);
  void RefreshEstimate();
  int Minutes() const;
  QString ChooseFile();

  Options options_;
  SocketTransport transport_;
  DeviceLink link_;
  capture::CaptureFlags flags_;
  std::optional<InstanceLock> lock_;
  std::unique_ptr<capture::RecordingWriter> defaultWriter_;
  std::unique_ptr<capture::StreamCycle> cycle_;
  ScreenSaverInhibitor screenSaver_{QStringLiteral("TORVELA_AVICap")};
  QTimer timeLimitTimer_;  // timer 1
  QTimer elapsedTimer_;    // timer 2
  PreviewArea* preview_ = nullptr;
  AboutBox* about_ = nullptr;

  uint8_t VideoQuality = 12;
  uint8_t AudioQuality = 10;
  bool timeLimit_ = false;
  bool displayLocalTime_ = false;
  bool displayCaption_ = false;
  QString caption_;
  uint64_t RequiredKB_ = 0;
  int64_t recordingStart_ = 0;
  std::string path_;

  bool stopping_ = false;      // a cycle is being joined
  bool closePending_ = false;  // a close request came meanwhile
  bool ended_ = false;
};

// The program: runs the dialog until it ends. Returns the exit code.
int RunCaptureProgram(CaptureDlg::Options options);

}  // namespace rd420::avicap
