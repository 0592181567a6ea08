#include "platform/serve_events.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <system_error>
#include <thread>

namespace rd420 {

void RunServingEvents(const std::function<void()>& work) {
  std::atomic<bool> finished{false};
  std::thread helper;
  try {
    helper = std::thread([&] {
      work();
      finished = true;
    });
  } catch (const std::system_error&) {
    work();
    return;
  }
  while (!finished) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
    QThread::msleep(1);
  }
  helper.join();
}

}  // namespace rd420
