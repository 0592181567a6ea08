#include "platform/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/message.h"
#include "platform/trace.h"

namespace rd420 {
namespace {

std::atomic<bool> g_ending{false};

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  return icon == MessageIcon::kError     ? QMessageBox::Critical
         : icon == MessageIcon::kWarning ? QMessageBox::Warning
                                         : QMessageBox::Information;
}

void ShowBox(QWidget* owner, const Message& message) {
  QMessageBox box(BoxIcon(message.icon), QString::fromStdString(message.caption),
                  QString::fromStdString(message.text), QMessageBox::Ok, owner);
  box.exec();
}

void WriteToStandardError(const Message& message) {
  std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
}

}  // namespace

MessageSink MessageBoxSink(std::function<QWidget*(const void* owner)> ownerOf) {
  return [ownerOf = std::move(ownerOf)](const void* owner, const Message& message) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application != nullptr && QThread::currentThread() == application->thread()) {
      ShowBox(ownerOf(owner), message);
    } else if (application == nullptr || g_ending) {
      WriteToStandardError(message);
    } else {
      QMetaObject::invokeMethod(
          application, [&] { ShowBox(ownerOf(owner), message); }, Qt::BlockingQueuedConnection);
    }
  };
}

void InstallMessageBoxSink() {
  SetMessageSink(MessageBoxSink(
      [](const void* owner) { return static_cast<QWidget*>(const_cast<void*>(owner)); }));
}

struct ModelessMessageBoxes::State {
  std::mutex mutex;
  Route route = Route::kStandardError;
  QObject* context = nullptr;  // GUI thread; queued boxes die with it
  std::function<QWidget*(const void*)> ownerOf;
  std::vector<QPointer<QMessageBox>> boxes;  // GUI thread

  // GUI thread.
  void Show(const void* owner, const Message& message) {
    auto* box =
        new QMessageBox(BoxIcon(message.icon), QString::fromStdString(message.caption),
                        QString::fromStdString(message.text), QMessageBox::Ok, ownerOf(owner));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    std::erase_if(boxes, [](const QPointer<QMessageBox>& shown) { return shown.isNull(); });
    boxes.emplace_back(box);
    box->show();
  }
};

ModelessMessageBoxes::ModelessMessageBoxes(std::function<QWidget*(const void* owner)> ownerOf)
    : state_(std::make_shared<State>()) {
  state_->ownerOf = std::move(ownerOf);
  state_->context = new QObject;
}

ModelessMessageBoxes::~ModelessMessageBoxes() {
  CloseAll();
  QObject* context;
  {
    std::lock_guard lock(state_->mutex);
    context = std::exchange(state_->context, nullptr);
    state_->route = Route::kStandardError;
  }
  delete context;  // with it, every box still queued
}

MessageSink ModelessMessageBoxes::Sink() const {
  return [state = state_](const void* owner, const Message& message) {
    std::unique_lock lock(state->mutex);
    if (state->route == Route::kBox && state->context != nullptr) {
      QMetaObject::invokeMethod(
          state->context, [state, owner, message] { state->Show(owner, message); },
          Qt::QueuedConnection);
      return;
    }
    const Route route = state->route;
    lock.unlock();
    if (route == Route::kTrace) {
      Trace("%s: %s", message.caption.c_str(), message.text.c_str());
    } else {
      WriteToStandardError(message);
    }
  };
}

void ModelessMessageBoxes::SetRoute(Route route) {
  std::lock_guard lock(state_->mutex);
  state_->route = route;
}

void ModelessMessageBoxes::CloseAll() {
  for (QPointer<QMessageBox>& box : std::exchange(state_->boxes, {})) {
    delete box.data();
  }
}

void SetMessageBoxesEnding(bool ending) {
  g_ending = ending;
}

}  // namespace rd420
