#include "viewer/viewer.h"

#include <QApplication>
#include <QProcess>
#include <QThread>

#include "devlink/camera_ready.h"
#include "platform/message.h"
#include "platform/message_box_sink.h"
#include "platform/trace.h"
#include "viewer/control_ids.h"
#include "viewer/link_messages.h"
#include "wire/command_words.h"

namespace rd420::viewer {
namespace {

constexpr uint32_t kCmdShutdown = 0x00330005;

}  // namespace

Viewer::Viewer(Options options)
    : options_(std::move(options)),
      role_(options_.role != nullptr ? *options_.role : ProgramRole()),
      transport_(options_.deviceDirectory),
      link_(transport_, role_.Messages()),
      settings_(SettingsKey(QString::fromLatin1(role_.Texts().settingsKey), options_.settingsFile),
                options_.programDirectory),
      modes_(status_, settings_, role_.Texts().oneToOneRefused, ended_),
      input_(*this, commands_, status_, stills_, modes_, role_.HandsStillOver()) {
  SetMessageBoxesEnding(false);
  // A failed vendor request has been reported on its thread; end here.
  link_.SetFatalHandler([this] { Post([this] { EndMainWindow(); }); });
  if (options_.stillActions) {
    stillActions_ = options_.stillActions(*this);
  }
}

std::optional<Viewer::StillShape> Viewer::Shape() const {
  if (!main_) {
    return std::nullopt;
  }
  return StillShape{status_.g_Aspect_43 != 0, Flags().g_Display_Mode, still_->alwaysFull};
}

Viewer::~Viewer() {
  EndMainWindow();
  JoinEnding();
  qApp->removeEventFilter(&input_);
}

bool Viewer::Start() {
  if (!link_.DiscoverDevice(false)) {
    ShowFailedWindow(true, false);
    link_.ShowFailure(LinkFailure::kNoDevice, main_.get());
    EndMainWindow();
    return false;
  }
  SplashWindow splash;
  if (options_.showWindow) {
    splash.show();
    QCoreApplication::processEvents();
  }

  // The ready-wait also learns the aspect and the model variant.
  if (!WaitCameraReady(link_, status_, options_.readyPollIntervalMs)) {
    splash.close();
    ShowFailedWindow(status_.g_Aspect_43 != 0, status_.g_Model_Variant != 0);
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kNotReady, main_.get());
    }
    EndMainWindow();
    return false;
  }
  qApp->installEventFilter(&input_);
  const bool aspect43 = status_.g_Aspect_43 != 0;
  BuildWindows(aspect43, status_.g_Model_Variant != 0);
  link_.SetOwner(main_.get());

  if (link_.QueryHighSpeed(main_.get()) != 1) {
    ShowFailedWindow(aspect43, status_.g_Model_Variant != 0);
    if (!link_.Failed()) {
      link_.ShowFailure(LinkFailure::kNotHighSpeed, main_.get());
    }
    EndMainWindow();
    return false;
  }
  main_->setWindowTitle(QString::fromUtf8(role_.Texts().title));
  const std::optional<uint32_t> status = link_.SendCommand(kPollStatus);
  if (!status) {
    EndMainWindow();
    return false;
  }
  Apply(FirstButtonStates(*status));

  pipeline_->StartRun(kModeHalf);
  splash.close();
  if (options_.showWindow) {
    main_->show();
  }
  return true;
}

void Viewer::ShowFailedWindow(bool aspect43, bool modelVariant) {
  if (!role_.ShowsFailedStart()) {
    return;
  }
  if (!main_) {
    BuildWindows(aspect43, modelVariant);
    link_.SetOwner(main_.get());
  }
  main_->setWindowTitle(QString::fromUtf8(role_.Texts().title));
  for (QWidget* window : Windows()) {
    window->setEnabled(false);
  }
  if (options_.showWindow) {
    main_->show();
  }
}

void Viewer::BuildWindows(bool aspect43, bool modelVariant) {
  main_ = std::make_unique<MainWindow>(aspect43);
  main_->setWindowIcon(QIcon(SkinPicture(kIconMain)));
  panel_ = std::make_unique<ControlPanel>(modelVariant, main_.get());
  pipeline_ = std::make_unique<StreamPipeline>(link_, status_, commands_, *this, options_.timings);
  modes_.Attach(*main_, *panel_, *pipeline_);
  // Not placed yet: the window stands on the primary monitor.
  const QRect monitor = modes_.MeasureMonitor();
  main_->move(monitor.left() + (monitor.width() - 660) / 2,
              monitor.top() + (monitor.height() - (aspect43 ? 614 : 494)) / 2);
  connect(main_.get(), &MainWindow::closeRequested, this, &Viewer::Exit);
  connect(main_.get(), &MainWindow::moved, this, [this] {
    modes_.MeasureMonitor();
    // The panel travels with the half window.
    if (!modes_.Large() && !ended_) {
      panel_->move(main_->x(), main_->y() + main_->height());
    }
  });
  // A press in the picture moves the captionless window.
  main_->dragArea = [this](QPoint at) {
    const int halfHeight = status_.g_Aspect_43 != 0 ? 480 : 360;
    return (!modes_.LargeMode() && at.y() < halfHeight) ||
           (Flags().g_Requested_Mode == kModeOneToOne && at.y() < 2 * halfHeight);
  };
  panel_->move(main_->x(), main_->y() + main_->height());
  connect(panel_.get(), &ControlPanel::shown, this,
          [this] { main_->Button(kIdOpenPanel)->setEnabled(false); });
  for (int id : {kIdSave, kIdPrint}) {
    if (SkinButton* button = panel_->Button(id)) {
      button->setEnabled(false);
    }
  }

  const RoleTexts& texts = role_.Texts();
  about_ = std::make_unique<AboutBox>(Controls().g_Zoom_Osd, Controls().g_Brightness_Osd,
                                      main_.get(), QString::fromUtf8(texts.aboutProduct),
                                      QString::fromUtf8(texts.aboutDetail));
  optionDialog_ = std::make_unique<OptionDialog>(main_.get());
  role_.Dress(*main_, *panel_, *optionDialog_);
  connect(optionDialog_.get(), &OptionDialog::showing, this, &Viewer::ReloadOptions);
  connect(optionDialog_.get(), &OptionDialog::confirmed, this, &Viewer::ConfirmOptions);
  painter_ = std::make_unique<FramePainter>(Flags(), Controls(), status_, main_->View(),
                                            modes_.Monitor(), fullScreenScaled_);
  StillHooks hooks;
  hooks.enableCapture = [this] {
    Post([this] { panel_->Button(kIdCapture)->setEnabled(!HeldForTransfer()); });
  };
  hooks.enableSaveAndPrint = [this] {
    Post([this] {
      for (int id : {kIdSave, kIdPrint}) {
        if (SkinButton* button = panel_->Button(id)) {
          button->setEnabled(!HeldForTransfer());
        }
      }
    });
  };
  hooks.showQuickSaveNotice = [this] {
    Post([this] {
      const QPoint position = NoticePosition(Flags().g_Display_Mode, status_.g_Aspect_43 != 0,
                                             modes_.Monitor().Get().size(), fullScreenScaled_);
      main_->View()->SetNotice(QStringLiteral("Quick Saving...!"), position);
    });
  };
  // Only a held picture resumes: Esc may have resumed live view already.
  hooks.resumeLive = [this] {
    Post([this] {
      if (Flags().g_Stream_Run == 0) {
        CaptureToggle();
      }
    });
  };
  hooks.endProgram = [this] { Post([this] { EndMainWindow(); }); };
  hooks.bitmapHandleText = texts.bitmapHandle;
  hooks.openFailed = [this] { StreamOpenFailed(); };
  if (options_.presenterTools) {
    // Copied on the still thread: the bitmap is gone once live view resumes.
    hooks.stillRead = [this](const FrameBitmap& still) {
      const FrameGeometry geometry = still.Geometry();
      QImage picture(geometry.width, geometry.height, QImage::Format_RGB32);
      CopyBottomUpRows(still.Pixels(), picture);
      Post([this, picture] {
        if (!ended_) {
          emit stillHeld(picture);
        }
      });
    };
  }
  if (role_.HandsStillOver()) {
    hooks.handOverStill = [this](const FrameBitmap& still) { HandOverStill(still); };
    hooks.pollHandOver = [this] { PollHandOver(); };
  }
  still_ = std::make_unique<StillCapture>(link_, status_, Flags(), stills_, stillActions_.get(),
                                          std::move(hooks));
  input_.Connect(*main_, *panel_, *about_, *pipeline_);
  LoadSettings();
  // After the buttons' input, so the tools see a key first.
  if (options_.presenterTools) {
    presenterTools_ = options_.presenterTools(*this);
  }
}

void Viewer::Exit() {
  if (ended_) {
    return;
  }
  role_.PutAway(Windows());
  pipeline_->RequestExit();
  QThread::msleep(200);  // lets the streaming threads see the flags
  EndMainWindow();
  if (link_.HighSpeedLink()) {
    link_.SendCommand(kCmdShutdown);
  }
}

void Viewer::StartCaptureProgram() {
  if (ended_) {
    return;  // the ending takes no more orders
  }
  // The camera and the single-instance lock must be free before the
  // capture program starts: once the threads are gone.
  afterEnding_ = [this] {
    if (options_.releaseInstanceLock) {
      options_.releaseInstanceLock();
    }
    const QString relay = options_.programDirectory + QStringLiteral("/Swivane");
    if (!QProcess::startDetached(relay, {QStringLiteral("4418306")})) {
      Trace("viewer: cannot start %s", qPrintable(relay));
    }
  };
  EndMainWindow();
}

void Viewer::EndMainWindow() {
  if (ended_) {
    return;
  }
  ended_ = true;
  SetMessageBoxesEnding(true);
  // From here on no user input is acted on: the windows take no clicks.
  for (QWidget* window : Windows()) {
    window->setEnabled(false);
  }
  if (pipeline_) {
    pipeline_->RequestExit();
  }
  // Where the viewer ends, a hosted window asks the application to close
  // it at once; the window stays until the application disables it.
  if (!closedBySource_) {
    role_.AskClose();
  }
  try {
    joiner_ = std::thread([this] {
      JoinWorkers();
      Post([this] { FinishEnding(); });
    });
  } catch (const std::system_error&) {
    JoinWorkers();  // no thread to spare: joined here
    Post([this] { FinishEnding(); });
  }
}

void Viewer::FinishEnding() {
  if (std::exchange(endingFinished_, true)) {
    return;
  }
  JoinEnding();
  screenSaver_.Release();
  modes_.StopBarTimer();
  role_.PutAway(Windows());
  if (afterEnding_) {
    afterEnding_();
  }
  emit finished();
}

void Viewer::JoinEnding() {
  if (joiner_.joinable()) {
    joiner_.join();
  }
}

void Viewer::Close() {
  closedBySource_ = true;
  EndMainWindow();
  // The data source's workers never wait for the GUI thread (its messages
  // hold no one up), so the join is bounded without serving any event.
  FinishEnding();
}

void Viewer::StopThreads() {
  if (pipeline_) {
    pipeline_->RequestExit();
  }
  JoinEnding();
  JoinWorkers();
}

void Viewer::JoinWorkers() {
  if (pipeline_) {
    pipeline_->Shutdown();
    still_->Stop();
  }
  link_.WaitIdle();
}

std::vector<QWidget*> Viewer::Windows() const {
  std::vector<QWidget*> windows;
  for (QWidget* window :
       {static_cast<QWidget*>(main_.get()), static_cast<QWidget*>(panel_.get()),
        static_cast<QWidget*>(about_.get()), static_cast<QWidget*>(optionDialog_.get())}) {
    if (window != nullptr) {
      windows.push_back(window);
    }
  }
  if (presenterTools_) {
    const std::vector<QWidget*> own = presenterTools_->Windows();
    windows.insert(windows.end(), own.begin(), own.end());
  }
  return windows;
}

void Viewer::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Viewer::RunStarting(uint8_t) {
  // A new run no longer reads beside the last still thread.
  still_->Stop();
  Post([this] {
    if (!ended_) {
      if (options_.holdScreenSaver) {
        screenSaver_.Inhibit();
      }
      modes_.ApplyTopMost();
    }
  });
}

void Viewer::DrawFrame(const DisplayedFrame& frame) {
  painter_->Paint(frame);
}

void Viewer::HandleStatus() {
  StatusInputs inputs;
  inputs.status = status_.g_Normal_Status;
  inputs.aspect43 = status_.g_Aspect_43 != 0;
  inputs.modelVariant = status_.g_Model_Variant != 0;
  const QRect monitor = modes_.Monitor().Get();
  inputs.monitorFitsOneToOne =
      monitor.width() >= 1280 && monitor.height() >= (inputs.aspect43 ? 960 : 720);
  inputs.largeMode = modes_.LargeMode();
  Trace("Send Data = 0x%8.8X, g_Normal_Status : 0x%8.8X", link_.CommandWord(), inputs.status);
  StatusOutcome outcome = HandleStatusWord(inputs, status_.g_Prev_Status);
  if (outcome.formatChanged) {
    pipeline_->StopRun();
  }
  const bool report = outcome.formatChanged && !formatChangeReported_.exchange(true);
  if (outcome.changes.empty() && !report) {
    return;  // the usual case: the same word as for the last frame pair
  }
  Post([this, changes = std::move(outcome.changes), report] {
    if (ended_) {
      return;
    }
    Apply(changes);
    if (report) {
      const bool exit = role_.ExitsOnFormatChange();
      if (exit) {
        SetCaptureButtons(false);
      }
      ShowMessage(main_.get(), role_.Texts().formatChanged, "Error (AWN00008)",
                  MessageIcon::kWarning);
      if (exit) {
        Exit();
      } else {
        EndMainWindow();
      }
    }
  });
}

bool Viewer::StartStill(Event& stillReady) {
  return still_->Start(stillReady);
}

void Viewer::LayOut(uint8_t mode) {
  // Queued before the new run's first picture, so it is laid out first.
  Post([this, mode] { modes_.ApplyLayout(mode); });
}

void Viewer::ResumingLive() {
  Post([this] {
    Apply(ButtonsResumingLive(modes_.LargeMode()));
    SetCaptureHeld(false);
  });
}

void Viewer::EndProgram() {
  Post([this] { EndMainWindow(); });
}

void Viewer::StreamOpenFailed() {
  if (role_.EndsWhenStreamFails()) {
    EndProgram();
  }
}

}  // namespace rd420::viewer
