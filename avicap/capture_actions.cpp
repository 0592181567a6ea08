// What the dialog's buttons, boxes and timers do.
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include "avicap/capture_dialog.h"
#include "avicap/control_ids.h"
#include "capture/disk_checks.h"
#include "platform/message.h"
#include "platform/trace.h"
#include "wire/status_word.h"

namespace rd420::avicap {
namespace {

constexpr char kCaptionTooLongText[] = "User Caption Must be written within 50 characters.   ";
constexpr char kNoSpaceText[] = "Not enough Hard disk space! Check AVI file size to caputre   ";
constexpr char kFat32Text[] =
    "The File system of your PC is FAT32! The single file size limited by maximum 4 GB   \n(No "
    "Compression : Max. 6Min, High Quality : 12Hours, Low Quality : 40Hours)";
constexpr char kCompleteText[] = "Capture processing complete !!  ";
constexpr char kAspectChangedText[] = "You changed the resolution. Please restart the VADIzivid.";

// What the settings' controls are while no recording runs: all enabled,
// but the minutes only with the time limit and the caption only with its
// box.
constexpr int kSettingControls[] = {kIdCapture,    kIdLocalTime, kIdShowCaption,     kIdTimeLimit,
                                    kIdVideoNone,  kIdVideoXvid, kIdVideoLowQuality, kIdAudioPcm,
                                    kIdAudioAdpcm, kIdFrameRate, kIdRotate,          kIdVadizivid};

}  // namespace

int CaptureDlg::Minutes() const {
  return ControlAs<QLineEdit>(kIdMinutes)->text().toInt();  // 0 when empty
}

void CaptureDlg::RefreshEstimate() {
  const int minutes = Minutes();
  RequiredKB_ = capture::EstimateKilobytes(minutes, VideoQuality, AudioQuality);
  ControlAs<QLabel>(kIdEstimate)
      ->setText(QString::fromStdString(capture::EstimateText(minutes, VideoQuality, AudioQuality)));
}

void CaptureDlg::ShowIndicator(bool recording) {
  ControlAs<QLabel>(kIdRecordIndicator)->setVisible(recording);
  ControlAs<QLabel>(kIdIdleIndicator)->setVisible(!recording);
}

void CaptureDlg::EnableSettings(bool enable) {
  for (const int id : kSettingControls) {
    Control(id)->setEnabled(enable);
  }
  ControlAs<QLineEdit>(kIdMinutes)->setEnabled(enable && timeLimit_);
  ControlAs<QLineEdit>(kIdCaption)->setEnabled(enable && displayCaption_);
  ControlAs<QPushButton>(kIdStop)->setEnabled(!enable);
}

QString CaptureDlg::ChooseFile() {
  if (options_.chooseFile) {
    return options_.chooseFile();
  }
  QFileDialog dialog(nullptr, QString(), QStringLiteral("sample"),
                     QStringLiteral("AVI File(*.avi)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("avi"));
  dialog.selectFile(QStringLiteral("sample"));
  // The dialog asks before overwriting; the folder must exist.
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return {};
    }
    const QString path = dialog.selectedFiles().constFirst();
    if (QFileInfo(path).dir().exists()) {
      return path;
    }
  }
}

void CaptureDlg::OnCapture() {
  if (displayCaption_) {
    const QString text = ControlAs<QLineEdit>(kIdCaption)->text();
    // Characters, not UTF-16 units: an emoji is one character but two units.
    if (!capture::CaptionFits(text.toStdString())) {
      ShowMessage(this, kCaptionTooLongText, "Error (AVI00001)", MessageIcon::kWarning);
      ControlAs<QLineEdit>(kIdCaption)->setFocus();
      return;
    }
    caption_ = text;
  }
  flags_.g_Record_Mode = 0;
  flags_.g_Stream_On = 0;
  StopCycle();

  const QString path = ChooseFile();
  if (path.isEmpty() || ended_) {
    Restart();
    return;
  }
  const std::string folder = QFileInfo(path).absolutePath().toStdString();
  if (timeLimit_) {
    // A file system that cannot be asked has no room as far as we know.
    const uint64_t freeKB = options_.freeKilobytes(folder).value_or(0);
    if (RequiredKB_ >= freeKB) {
      Restart();
      ShowMessage(this, kNoSpaceText, "Error (AVI00002)", MessageIcon::kWarning);
      return;
    }
  }
  const int minutes = Minutes();
  path_ = path.toStdString();
  if (options_.limitsFileTo4GB(folder)) {
    ShowMessage(this, kFat32Text, "Infomation", MessageIcon::kInformation);
  }

  capture::RecordingSettings settings;
  settings.path = path_;
  settings.videoQuality = VideoQuality;
  settings.audioQuality = AudioQuality;
  settings.timeLimit = timeLimit_;
  settings.minutes = minutes;
  settings.displayLocalTime = displayLocalTime_;
  settings.displayCaption = displayCaption_;
  settings.caption = caption_.toStdString();
  if (timeLimit_) {
    timeLimitTimer_.start(minutes * options_.minuteMs);
  }
  StartCycle(true, std::move(settings));
  elapsedTimer_.start(options_.elapsedTickMs);
  recordingStart_ = options_.clockSeconds();
  ShowIndicator(true);

  // Before the first poll there is no word to judge; 0 would pass for a
  // change in 16:9.
  const uint32_t lastStatus = flags_.g_Last_Status;
  if (lastStatus != 0 && AspectChanged(flags_.g_Aspect_43 != 0, lastStatus)) {
    flags_.g_Stream_On = 0;
    ShowMessage(this, kAspectChangedText, "Error (AWN00008)", MessageIcon::kWarning);
    flags_.g_Closing = 1;
    flags_.g_Consumer_Run = 0;
    flags_.g_Stopped = 1;
    PostClose();
  }
  EnableSettings(false);
}

void CaptureDlg::OnStop() {
  if (flags_.g_Stream_On != 1) {
    Restart();
    return;
  }
  ControlAs<QLabel>(kIdElapsed)->setText(QStringLiteral("00:00:00"));
  elapsedTimer_.stop();
  timeLimitTimer_.stop();
  flags_.g_Stream_On = 0;
  flags_.g_Consumer_Run = 0;
  StopCycle();
  ShowIndicator(false);
  if (flags_.g_Record_Mode == 1) {
    ShowMessage(this, kCompleteText, "Capture Process", MessageIcon::kInformation);
    Restart();
    EnableSettings(true);
  }
}

void CaptureDlg::Restart() {
  if (ended_) {
    return;
  }
  if (flags_.g_Stream_On == 1) {
    ControlAs<QLabel>(kIdElapsed)->setText(QStringLiteral("00:00:00"));
    elapsedTimer_.stop();
    flags_.g_Stream_On = 0;
    flags_.g_Consumer_Run = 0;
    StopCycle();
    ShowIndicator(false);
    return;
  }
  StartCycle(false, {});
}

void CaptureDlg::OnTimeLimit() {
  if (ended_ || stopping_) {
    return;
  }
  timeLimitTimer_.stop();
  elapsedTimer_.stop();
  flags_.g_Stream_On = 0;
  flags_.g_Consumer_Run = 0;
  ShowMessage(this, kCompleteText, "Capture Process", MessageIcon::kInformation);
  Restart();
  ShowIndicator(false);
  EnableSettings(true);
}

void CaptureDlg::OnElapsed() {
  const int64_t elapsed = options_.clockSeconds() - recordingStart_;
  const int64_t hours = elapsed / 3600 - (elapsed / 86400) * 24;
  const int64_t minutes = elapsed / 60 - (elapsed / 3600) * 60;
  const int64_t seconds = elapsed % 60;
  ControlAs<QLabel>(kIdElapsed)
      ->setText(QString::asprintf("%2.2d:%2.2d:%2.2d", static_cast<int>(hours),
                                  static_cast<int>(minutes), static_cast<int>(seconds)));
}

void CaptureDlg::OnVadizivid() {
  if (ended_) {
    return;
  }
  // The viewer may take the camera as soon as the relay starts it.
  lock_.reset();
  flags_.g_Closing = 1;
  flags_.g_Stream_On = 0;
  flags_.g_Consumer_Run = 0;
  reject();
  const QString relay = options_.programDirectory + QStringLiteral("/Swivane");
  if (!QProcess::startDetached(relay, {QStringLiteral("582917")})) {
    Trace("capture: cannot start %s", qPrintable(relay));
  }
}

}  // namespace rd420::avicap
