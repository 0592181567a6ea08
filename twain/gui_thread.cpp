#include "twain/gui_thread.h"

#include <dlfcn.h>
#include <link.h>

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QThread>
#include <cstdlib>
#include <future>
#include <string>
#include <system_error>
#include <vector>

namespace rd420::twain {
namespace {

// A piece of work posted to our GUI thread. Posting an event asks nothing
// of the posting thread, so the host's threads never become Qt threads.
class WorkEvent : public QEvent {
 public:
  explicit WorkEvent(std::function<void()> work) : QEvent(QEvent::User), work_(std::move(work)) {}
  void Run() { work_(); }

 private:
  std::function<void()> work_;
};

class WorkReceiver : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      static_cast<WorkEvent*>(event)->Run();
      return true;
    }
    return QObject::event(event);
  }
};

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// The platforms Qt tries in turn: the user's choice first, if any. A
// console program may run where there is no display, or one it cannot
// reach; Qt would end the process rather than start without one, so the
// list ends with one that needs none.
std::string PlatformList() {
  if (IsSet("QT_QPA_PLATFORM")) {
    return std::string(std::getenv("QT_QPA_PLATFORM")) + ";offscreen";
  }
  return IsSet("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen";
}

// Qt Widgets leaves pointers into itself in Qt GUI (its accessibility
// factory), which stays loaded after we are unloaded; were Widgets unloaded
// with us, the next application would call into freed code. It stays.
void KeepWidgetsLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&QApplication::staticMetaObject), &info) != 0 &&
      info.dli_fname != nullptr) {
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

// Qt makes its plugins' objects (the platform, image formats, themes) on
// our thread, which it takes for its main one, and destroys them only in
// its exit handlers, long after that thread has ended. Left bound to the
// ended thread they share its thread data, and the first one destroyed
// frees it under the next: the host's exit aborts. Unbound, each gets its
// own. Runs on our GUI thread, as it ends.
void UnbindLoadedPlugins() {
  struct Search {
    std::string folder = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/";
    std::vector<std::string> loaded;
  } search;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto& into = *static_cast<Search*>(data);
        if (info->dlpi_name != nullptr && std::string(info->dlpi_name).starts_with(into.folder)) {
          into.loaded.emplace_back(info->dlpi_name);
        }
        return 0;
      },
      &search);
  for (const std::string& path : search.loaded) {
    // The plugin is loaded already: this hands back its one object.
    QObject* object = QPluginLoader(QString::fromStdString(path)).instance();
    if (object != nullptr && object->thread() == QThread::currentThread()) {
      object->moveToThread(nullptr);
    }
  }
}

}  // namespace

bool GuiThread::Ensure() {
  if (thread_.joinable()) {
    return true;
  }
  if (QCoreApplication::instance() != nullptr) {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  }
  KeepWidgetsLoaded();
  std::promise<void> started;
  std::future<void> running = started.get_future();
  try {
    thread_ = std::thread([this, &started] {
      // Qt keeps pointers to these and may take "-platform" out.
      char name[] = "TORVELA_TWAIN";
      char platformFlag[] = "-platform";
      std::string platforms = PlatformList();
      char* argv[] = {name, platformFlag, platforms.data(), nullptr};
      int argc = 3;
      QApplication application(argc, argv);
      QApplication::setQuitOnLastWindowClosed(false);
      WorkReceiver receiver;
      receiver_ = &receiver;
      started.set_value();
      QApplication::exec();
      receiver_ = nullptr;
      UnbindLoadedPlugins();
    });
  } catch (const std::system_error&) {
    return false;
  }
  threadId_ = thread_.get_id();
  running.wait();
  return true;
}

void GuiThread::Run(const std::function<void()>& work) {
  if (thread_.joinable()) {
    if (std::this_thread::get_id() == threadId_) {
      work();
      return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    QCoreApplication::postEvent(receiver_, new WorkEvent([&] {
                                  work();
                                  done.set_value();
                                }));
    finished.wait();
    return;
  }
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) {
    return;
  }
  if (QThread::currentThread() == application->thread()) {
    work();
  } else {
    QMetaObject::invokeMethod(application, work, Qt::BlockingQueuedConnection);
  }
}

bool GuiThread::Available() const {
  return thread_.joinable() || QCoreApplication::instance() != nullptr;
}

void GuiThread::Stop() {
  if (!thread_.joinable() || std::this_thread::get_id() == threadId_) {
    return;
  }
  QCoreApplication::postEvent(receiver_, new WorkEvent([] { QCoreApplication::quit(); }));
  thread_.join();
}

}  // namespace rd420::twain
