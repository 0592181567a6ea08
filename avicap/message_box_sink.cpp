#include "avicap/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/message.h"

namespace rd420::avicap {
namespace {

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
    } else {
      QMetaObject::invokeMethod(
          qApp, [owner, message] { ShowBox(owner, message); }, Qt::BlockingQueuedConnection);
    }
  });
}

}  // namespace rd420::avicap
