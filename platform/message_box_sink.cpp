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

void ShowBox(const void* owner, const Message& message) {
  QMessageBox box(message.icon == MessageIcon::kError     ? QMessageBox::Critical
                  : message.icon == MessageIcon::kWarning ? QMessageBox::Warning
                                                          : QMessageBox::Information,
                  QString::fromStdString(message.caption), QString::fromStdString(message.text),
                  QMessageBox::Ok, static_cast<QWidget*>(const_cast<void*>(owner)));
  box.exec();
}

}  // namespace

void InstallMessageBoxSink() {
  SetMessageSink([](const void* owner, const Message& message) {
    if (QThread::currentThread() == qApp->thread()) {
      ShowBox(owner, message);
    } else if (g_ending) {
      std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    } else {
      QMetaObject::invokeMethod(
          qApp, [owner, message] { ShowBox(owner, message); }, Qt::BlockingQueuedConnection);
    }
  });
}

void SetMessageBoxesEnding(bool ending) {
  g_ending = ending;
}

}  // namespace rd420
