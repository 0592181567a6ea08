#include "twain/view_window.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/message.h"
#include "platform/message_box_sink.h"
#include "viewer/viewer.h"
#include "wire/device_directory.h"

namespace rd420::twain {
namespace {

// The application's window, when `parent` is one of the host's own Qt
// windows; a handle we do not know is never dereferenced.
QWidget* HostWindow(const void* parent) {
  if (parent == nullptr) {
    return nullptr;
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (static_cast<const void*>(window) == parent) {
      return window;
    }
  }
  return nullptr;
}

// How long a hidden window may take to read its first frame: the
// camera's own read time-out.
constexpr int kFirstFrameTimeoutMs = 5000;

// Where the window's messages go. A hidden window's application expects
// no one at the screen: the return code and DAT_STATUS tell it, the trace
// tells the user. On a platform that shows nothing, standard error.
ModelessMessageBoxes::Route MessageRoute(bool showUi) {
  if (!showUi) {
    return ModelessMessageBoxes::Route::kTrace;
  }
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")
             ? ModelessMessageBoxes::Route::kStandardError
             : ModelessMessageBoxes::Route::kBox;
}

// The toolkit's painting and font machinery is set up lazily by its first
// use, which registers what exit() tears down. Used once here, it is set up
// before the source registers its own exit handler, which must run first
// (and stop the threads that paint) when an application exits without
// closing the source.
void SetUpPainting() {
  QImage image(16, 16, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.scale(0.5, -0.5);
  painter.drawImage(0, 0, QImage(8, 8, QImage::Format_BGR888));
  painter.setFont(QFont(QStringLiteral("Liberation Sans")));
  painter.drawText(QRect(0, 0, 16, 16), Qt::AlignLeft, QStringLiteral("0"));
}

}  // namespace

ViewWindow::ViewWindow(Settings settings) : settings_(std::move(settings)) {
}

ViewWindow::~ViewWindow() {
  Close();
  Release();
  // A request left now is this very thread: the application calls exit()
  // from its close-request callback, and exit() runs this. It cannot join
  // itself and a joinable handle destroyed here would abort the exit, so
  // its handle is kept, never destroyed, until the process has ended.
  if (!closeRequests_.empty()) {
    static auto* const ending = new std::vector<std::thread>;
    std::ranges::move(closeRequests_, std::back_inserter(*ending));
    closeRequests_.clear();
  }
}

TW_UINT16 ViewWindow::Open(TW_HANDLE parent, bool showUi) {
  Close();  // a window left open by a source that was never disabled
  if (!gui_.Ensure()) {
    return TWCC_LOWMEMORY;
  }
  bool created = false;
  bool picture = false;
  startingHidden_ = !showUi;
  lostWhileStarting_ = false;
  gui_.Run([&] {
    if (settings_.messageBoxes) {
      if (!boxes_) {
        // Owned by a window only when it is one we know: the application's
        // owner may be an X11 id or a toolkit's own handle.
        boxes_ = std::make_unique<ModelessMessageBoxes>(HostWindow);
      }
      boxes_->SetRoute(MessageRoute(showUi));
      if (!sinkInstalled_) {
        previousSink_ = SetMessageSink(boxes_->Sink());
        sinkInstalled_ = true;
      }
    }
    SetUpPainting();
    viewer::Viewer::Options options;
    options.deviceDirectory =
        settings_.deviceDirectory.empty() ? DefaultDeviceDirectory() : settings_.deviceDirectory;
    options.readyPollIntervalMs = settings_.readyPollIntervalMs;
    options.settingsFile = settings_.settingsFile;
    options.showWindow = showUi;
    // Holding it would start Qt's D-Bus thread, which outlives unloading.
    options.holdScreenSaver = false;
    role_ = std::make_unique<DataSourceRole>(port_, [this] { RequestClose(); });
    options.role = role_.get();
    try {
      viewer_ = std::make_unique<viewer::Viewer>(std::move(options));
    } catch (const std::exception&) {
      return;
    }
    created = true;
    // A shown window that fails to start has shown its message and asked
    // to be closed; it stays until the application disables the source.
    // A hidden one promises a picture only once a frame has come.
    if (viewer_->Start()) {
      picture = showUi || viewer_->AwaitFirstFrame(kFirstFrameTimeoutMs);
      if (QWidget* owner = HostWindow(parent); owner != nullptr && owner->windowHandle()) {
        viewer_->Main()->winId();
        viewer_->Main()->windowHandle()->setTransientParent(owner->windowHandle());
      }
    }
  });
  startingHidden_ = false;
  if (!created) {
    return TWCC_LOWMEMORY;
  }
  if (!showUi && (!picture || lostWhileStarting_)) {
    Close();
    return TWCC_OPERATIONERROR;
  }
  return TWCC_SUCCESS;
}

void ViewWindow::Close() {
  if (viewer_ && !gui_.Available()) {
    // Widgets cannot outlive the application they belong to; the process
    // is ending. The camera's threads must not.
    viewer_->StopThreads();
    static_cast<void>(viewer_.release());
  }
  if (viewer_ || boxes_) {
    gui_.Run([this] {
      if (viewer_) {
        viewer_->Close();
        viewer_.reset();
      }
      // The boxes go with the window; later messages have no window to
      // stand beside.
      if (boxes_) {
        boxes_->CloseAll();
        boxes_->SetRoute(ModelessMessageBoxes::Route::kTrace);
      }
    });
  }
  JoinCloseRequests();
}

void ViewWindow::Release() {
  JoinCloseRequests();
  // The host's own sink, or standard error: ours would outlive the library.
  if (std::exchange(sinkInstalled_, false)) {
    SetMessageSink(std::move(previousSink_));
  }
  if (boxes_ && gui_.Available()) {
    gui_.Run([this] { boxes_.reset(); });
  }
  static_cast<void>(boxes_.release());  // its application has gone with its widgets
  gui_.Stop();
}

ImageGeometry ViewWindow::Geometry() const {
  const auto shape = viewer_ ? viewer_->Shape() : std::nullopt;
  // Before the camera answered, the first-start geometry.
  if (!shape) {
    return {};
  }
  return {shape->aspect43, shape->displayMode, shape->alwaysFull};
}

bool ViewWindow::TakeStill(std::vector<std::uint8_t>& pixels, int& width, int& height) {
  bool taken = false;
  if (viewer_) {
    gui_.Run([&] { taken = viewer_->GrabStill(pixels, width, height); });
  }
  return taken;
}

void ViewWindow::RequestClose() {
  if (startingHidden_) {
    lostWhileStarting_ = true;  // MSG_ENABLEDS fails instead
    return;
  }
  std::lock_guard lock(requestsMutex_);
  if (!port_.requestClose) {
    return;
  }
  try {
    closeRequests_.emplace_back(port_.requestClose);
  } catch (const std::system_error&) {
    // No thread to spare: the user closes the application's way instead.
  }
}

void ViewWindow::JoinCloseRequests() {
  std::vector<std::thread> requests;
  {
    std::lock_guard lock(requestsMutex_);
    requests.swap(closeRequests_);
  }
  for (std::thread& request : requests) {
    // An application that disables or closes the source from its callback
    // does so on the request's own thread, which cannot join itself: the
    // next call from another thread joins it (the application's next Open,
    // Close or Release, or our unloading).
    if (request.get_id() == std::this_thread::get_id()) {
      std::lock_guard lock(requestsMutex_);
      closeRequests_.push_back(std::move(request));
    } else {
      request.join();
    }
  }
}

}  // namespace rd420::twain
