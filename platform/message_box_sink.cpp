#include "platform/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <cstdio>

#include "platform/message.h"

namespace rd420 {
namespace {

std::atomic<bool> g_ending{false};

void ShowBox(QWidget* owner, const Message& message) {
  QMessageBox box(message.icon == MessageIcon::kError     ? QMessageBox::Critical
                  : message.icon == MessageIcon::kWarning ? QMessageBox::Warning
                                                          : QMessageBox::Information,
                  QString::fromStdString(message.caption), QString::fromStdString(message.text),
                  QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

MessageSink MessageBoxSink(std::function<QWidget*(const void* owner)> ownerOf) {
  return [ownerOf = std::move(ownerOf)](const void* owner, const Message& message) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application != nullptr && QThread::currentThread() == application->thread()) {
      ShowBox(ownerOf(owner), message);
    } else if (application == nullptr || g_ending) {
      std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
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

void SetMessageBoxesEnding(bool ending) {
  g_ending = ending;
}

}  // namespace rd420
