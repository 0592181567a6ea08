#include "avicap/capture_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <atomic>
#include <chrono>
#include <ctime>
#include <system_error>
#include <thread>

#include "avicap/about_box.h"
#include "avicap/control_ids.h"
#include "avicap/link_messages.h"
#include "capture/avi_recording.h"
#include "capture/disk_checks.h"
#include "platform/message.h"
#include "platform/serve_events.h"
#include "platform/trace.h"
#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::avicap {
namespace {

constexpr char kTitle[] = "TORVELA VAV Eduruzu";
constexpr char kAboutItem[] = "&About Pelucid VAV Eduruzu...";
constexpr char kAlreadyRunningText[] =
    "The Same Program Already Exists or In the Process of Termination.\nOr the Pelucid is being "
    "used in other ZQT program series.\nIn case of Abnormal Off, please disconnect the plug of "
    "USB and reconnect it.   ";
constexpr int kReadyPollLimit = 300;

}  // namespace

CaptureDlg::CaptureDlg(Options options)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)),
      transport_(options_.deviceDirectory),
      link_(transport_, CaptureLinkMessages()) {
  if (!options_.clockSeconds) {
    options_.clockSeconds = [] { return static_cast<int64_t>(std::time(nullptr)); };
  }
  if (!options_.freeKilobytes) {
    options_.freeKilobytes = capture::FreeKilobytes;
  }
  if (!options_.limitsFileTo4GB) {
    options_.limitsFileTo4GB = capture::LimitsFileTo4GB;
  }
  if (options_.writer == nullptr) {
    defaultWriter_ = std::make_unique<capture::AviRecordingWriter>();
    options_.writer = defaultWriter_.get();
  }
  setObjectName(QStringLiteral("dialog102"));
  setWindowTitle(QString::fromUtf8(kTitle));
  setWindowIcon(QIcon(ResourcePath(kIconMain)));
  BuildControls();
  about_ = new AboutBox(this);
  link_.SetOwner(this);
  // A failed control request has shown its message on its thread.
  link_.SetFatalHandler([this] { PostClose(); });

  // The initial state, before the first estimate and the first frame.
  ControlAs<QLabel>(kIdRecordIndicator)->hide();
  ControlAs<QLineEdit>(kIdMinutes)->setEnabled(false);
  ControlAs<QLabel>(kIdElapsed)->setText(QStringLiteral("00:00:00"));
  ControlAs<QPushButton>(kIdStop)->setEnabled(false);
  ControlAs<QLineEdit>(kIdCaption)->setEnabled(false);
  ControlAs<QLineEdit>(kIdFrameRate)->setText(QStringLiteral("21"));
  ControlAs<QRadioButton>(kIdVideoXvid)->setChecked(true);
  ControlAs<QRadioButton>(kIdAudioAdpcm)->setChecked(true);

  connect(ControlAs<QPushButton>(kIdCapture), &QPushButton::clicked, this, &CaptureDlg::OnCapture);
  connect(ControlAs<QPushButton>(kIdStop), &QPushButton::clicked, this, &CaptureDlg::OnStop);
  connect(ControlAs<QPushButton>(kIdExit), &QPushButton::clicked, this, &CaptureDlg::reject);
  connect(ControlAs<QPushButton>(kIdVadizivid), &QPushButton::clicked, this,
          &CaptureDlg::OnVadizivid);
  const auto onVideo = [this](int id, uint8_t quality, const char* minutes) {
    connect(ControlAs<QRadioButton>(id), &QRadioButton::clicked, this, [this, quality, minutes] {
      ControlAs<QLineEdit>(kIdMinutes)->setText(QString::fromLatin1(minutes));
      VideoQuality = quality;
      RefreshEstimate();
    });
  };
  onVideo(kIdVideoNone, capture::kVideoNone, "3");
  onVideo(kIdVideoXvid, capture::kVideoXvid, "60");
  onVideo(kIdVideoLowQuality, capture::kVideoLowQuality, "60");
  for (const auto& [id, quality] :
       {std::pair{kIdAudioPcm, capture::kAudioPcm}, {kIdAudioAdpcm, capture::kAudioAdpcm}}) {
    connect(ControlAs<QRadioButton>(id), &QRadioButton::clicked, this, [this, q = quality] {
      AudioQuality = q;
      RefreshEstimate();
    });
  }
  connect(ControlAs<QLineEdit>(kIdMinutes), &QLineEdit::textChanged, this, [this] {
    // The estimate is a 32-bit count; larger values are brought down to
    // the largest it holds.
    if (Minutes() > capture::kMaxMinutes) {
      ControlAs<QLineEdit>(kIdMinutes)->setText(QString::number(capture::kMaxMinutes));
      return;
    }
    RefreshEstimate();
  });
  connect(ControlAs<QCheckBox>(kIdTimeLimit), &QCheckBox::clicked, this, [this](bool checked) {
    timeLimit_ = checked;
    ControlAs<QLineEdit>(kIdMinutes)->setEnabled(checked);
  });
  connect(ControlAs<QCheckBox>(kIdLocalTime), &QCheckBox::clicked, this,
          [this](bool checked) { displayLocalTime_ = checked; });
  connect(ControlAs<QCheckBox>(kIdShowCaption), &QCheckBox::clicked, this, [this](bool checked) {
    displayCaption_ = checked;
    ControlAs<QLineEdit>(kIdCaption)->setEnabled(checked);
  });
  connect(ControlAs<QCheckBox>(kIdRotate), &QCheckBox::clicked, this,
          [this](bool checked) { flags_.g_Rotate = checked ? 1 : 0; });
  // Writing "60" shows the first estimate at once.
  ControlAs<QLineEdit>(kIdMinutes)->setText(QStringLiteral("60"));

  timeLimitTimer_.setSingleShot(true);
  connect(&timeLimitTimer_, &QTimer::timeout, this, &CaptureDlg::OnTimeLimit);
  connect(&elapsedTimer_, &QTimer::timeout, this, &CaptureDlg::OnElapsed);
}

CaptureDlg::~CaptureDlg() {
  if (!ended_) {
    ended_ = true;
    DestroyStep();
  }
}

void CaptureDlg::FailStart(bool minimise) {
  if (minimise) {
    setWindowState(windowState() | Qt::WindowMinimized);
  }
  PostClose();
}

bool CaptureDlg::Initialise() {
  // One of the viewer and the capture program holds the camera at a time.
  lock_ = InstanceLock::Acquire();
  if (!lock_) {
    ShowMessage(this, kAlreadyRunningText, "Error (AWN00001)", MessageIcon::kError);
    FailStart(false);
    return false;
  }
  if (!link_.DiscoverDevice()) {
    FailStart(true);
    return false;
  }
  if (!WaitReady()) {
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kNotReady, this);
      FailStart(true);
    }
    return false;
  }
  if (link_.QueryHighSpeed(this) != 1) {
    // A failed open has been reported; calling the link not USB 2.0 as well would be false.
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kNotHighSpeed, this);
      FailStart(true);
    }
    return false;
  }
  StartCycle(false, {});
  return true;
}

// The capture program's own order of the ready-wait: the aspect first,
// then a discarded poll, then the wait for the start-up bit to clear.
bool CaptureDlg::WaitReady() {
  flags_.g_Aspect_43 = IsAspect43(link_.SendCommandQuiet(kPollStatus)) ? 1 : 0;
  link_.SendCommandQuiet(kPollStatus);
  int count = 0;
  for (;;) {
    const uint32_t word = link_.SendCommandQuiet(kPollStatus);
    // A lost link returns the previous reply, which must not pass for a
    // ready camera.
    if (!link_.LinkOk()) {
      return false;
    }
    if ((word & kStatusStarting) == 0) {
      break;
    }
    if (++count > kReadyPollLimit) {
      return false;
    }
    QThread::msleep(options_.readyPollIntervalMs);
  }
  return link_.SendCommand(kPollStatus).has_value();
}

void CaptureDlg::StreamStarting() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!ended_) {
          screenSaver_.Inhibit();
        }
      },
      Qt::QueuedConnection);
}

void CaptureDlg::ShowPreview(const capture::PreviewPicture& picture) {
  const FrameGeometry geometry = picture.Geometry();
  const QPoint origin(0, flags_.g_Aspect_43 != 0 ? 0 : 55);
  if (preview_->Newest().Put(picture.Rows(), QSize(geometry.width, geometry.height), origin)) {
    // Queued to the preview itself: dropped if it has gone meanwhile.
    QMetaObject::invokeMethod(
        preview_, [view = preview_] { view->ShowNewest(); }, Qt::QueuedConnection);
  }
}

void CaptureDlg::PostClose() {
  QMetaObject::invokeMethod(
      this, [this] { CloseRequest(); }, Qt::QueuedConnection);
}

void CaptureDlg::ShowNoCompression() {
  // Only the buttons change: VideoQuality keeps the choice, so the next
  // recording warns again.
  QMetaObject::invokeMethod(
      this,
      [this] {
        ControlAs<QRadioButton>(kIdVideoNone)->setChecked(true);
        ControlAs<QRadioButton>(kIdVideoXvid)->setChecked(false);
        ControlAs<QRadioButton>(kIdVideoLowQuality)->setChecked(false);
      },
      Qt::QueuedConnection);
}

void CaptureDlg::CloseRequest() {
  if (ended_) {
    return;
  }
  if (stopping_) {
    closePending_ = true;  // acted on once the cycle has ended
    return;
  }
  reject();
}

void CaptureDlg::StartCycle(bool record, capture::RecordingSettings settings) {
  // The flags are the new cycle's only once the previous one has ended.
  StopCycle();
  flags_.g_Record_Mode = record ? 1 : 0;
  flags_.g_Stream_On = 1;
  cycle_ = std::make_unique<capture::StreamCycle>(link_, flags_,
                                                  static_cast<capture::CaptureHost&>(*this),
                                                  options_.writer, std::move(settings));
  cycle_->Start();
}

void CaptureDlg::StopCycle() {
  if (!cycle_ || stopping_) {
    return;
  }
  stopping_ = true;
  RunServingEvents([this] { cycle_->Stop(); });
  cycle_.reset();
  stopping_ = false;
  if (closePending_) {
    closePending_ = false;
    PostClose();
  }
}

void CaptureDlg::reject() {
  if (ended_ || stopping_) {
    closePending_ = closePending_ || stopping_;
    return;
  }
  flags_.g_Closing = 1;
  flags_.g_Stream_On = 0;
  flags_.g_Consumer_Run = 0;
  StopCycle();
  flags_.g_Stopped = 1;
  done(QDialog::Rejected);
}

void CaptureDlg::done(int result) {
  if (!ended_) {
    ended_ = true;
    DestroyStep();
  }
  QDialog::done(result);
}

// Runs whenever the dialog ends, also through its OK action.
void CaptureDlg::DestroyStep() {
  timeLimitTimer_.stop();
  elapsedTimer_.stop();
  if (flags_.g_Stopped == 0) {
    flags_.g_Stream_On = 0;
    flags_.g_Consumer_Run = 0;
  }
  // A cycle that a closing path has already stopped is gone; any other is
  // stopped here, whatever the flag says.
  StopCycle();
  RunServingEvents([this] { link_.WaitIdle(); });
  lock_.reset();
  screenSaver_.Release();
}

void CaptureDlg::ShowAbout() {
  about_->setModal(true);
  about_->show();
}

void CaptureDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    ShowAbout();
    return;
  }
  // Enter while no push button has the focus is the dialog's OK.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CaptureDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QString::fromUtf8(kAboutItem), this, &CaptureDlg::ShowAbout);
  menu.exec(event->globalPos());
}

int RunCaptureProgram(CaptureDlg::Options options) {
  CaptureDlg dialog(std::move(options));
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  dialog.Initialise();
  if (!dialog.Ended()) {
    dialog.show();
    loop.exec();
  }
  return 0;
}

}  // namespace rd420::avicap
