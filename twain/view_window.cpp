#include "twain/view_window.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <system_error>
#include <utility>

#include "devlink/device_directory.h"
#include "platform/message.h"
#include "platform/message_box_sink.h"
#include "viewer/viewer.h"

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

// Boxes where someone can answer them, owned by a window only when it is
// one we know (the application's owner may be an X11 id or a toolkit's own
// handle); on a platform that shows nothing a modal box would never end,
// so the message goes to standard error.
MessageSink Messages() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    return nullptr;
  }
  return MessageBoxSink(HostWindow);
}

}  // namespace

ViewWindow::ViewWindow(Settings settings) : settings_(std::move(settings)) {
}

ViewWindow::~ViewWindow() {
  Close();
  Release();
}

bool ViewWindow::Open(TW_HANDLE parent, bool showUi) {
  Close();  // a window left open by a source that was never disabled
  if (!gui_.Ensure()) {
    return false;
  }
  bool created = false;
  gui_.Run([&] {
    if (settings_.messageBoxes && !sinkInstalled_) {
      previousSink_ = SetMessageSink(Messages());
      sinkInstalled_ = true;
    }
    viewer::Viewer::Options options;
    options.deviceDirectory =
        settings_.deviceDirectory.empty() ? DefaultDeviceDirectory() : settings_.deviceDirectory;
    options.readyPollIntervalMs = settings_.readyPollIntervalMs;
    options.settingsFile = settings_.settingsFile;
    options.flavour = viewer::Flavour::kDataSource;
    options.showWindow = showUi;
    // Holding it would start Qt's D-Bus thread, which outlives unloading.
    options.holdScreenSaver = false;
    options.dataSource = {port_.handOverStill, port_.resumeFlag, [this] { RequestClose(); }};
    try {
      viewer_ = std::make_unique<viewer::Viewer>(std::move(options));
    } catch (const std::exception&) {
      return;
    }
    created = true;
    // A start that fails has shown its message and asked to be closed;
    // the window stays until the application disables the source.
    if (viewer_->Start()) {
      if (QWidget* owner = HostWindow(parent); owner != nullptr && owner->windowHandle()) {
        viewer_->Main()->winId();
        viewer_->Main()->windowHandle()->setTransientParent(owner->windowHandle());
      }
    }
  });
  return created;
}

void ViewWindow::Close() {
  if (viewer_ && !gui_.Available()) {
    // Widgets cannot outlive the application they belong to; the process
    // is ending. The camera's threads must not.
    viewer_->StopThreads();
    static_cast<void>(viewer_.release());
  }
  if (viewer_) {
    gui_.Run([this] {
      viewer_->Close();
      viewer_.reset();
    });
  }
  JoinCloseRequests();
}

void ViewWindow::Release() {
  JoinCloseRequests();
  gui_.Stop();
  // The host's own sink, or standard error: ours would outlive the library.
  if (std::exchange(sinkInstalled_, false)) {
    SetMessageSink(std::move(previousSink_));
  }
}

ImageGeometry ViewWindow::Geometry() const {
  // Before the camera answered, the first-start geometry.
  if (!viewer_ || viewer_->Main() == nullptr) {
    return {};
  }
  return {viewer_->Status().g_Aspect_43 != 0, viewer_->Flags().g_Display_Mode,
          viewer_->Still().alwaysFull};
}

bool ViewWindow::TakeStill(std::vector<std::uint8_t>& pixels, int& width, int& height) {
  bool taken = false;
  if (viewer_) {
    gui_.Run([&] { taken = viewer_->GrabStill(pixels, width, height); });
  }
  return taken;
}

void ViewWindow::RequestClose() {
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
    // An application that disables the source from its callback does so
    // on the request's own thread.
    if (request.get_id() == std::this_thread::get_id()) {
      request.detach();
    } else {
      request.join();
    }
  }
}

}  // namespace rd420::twain
