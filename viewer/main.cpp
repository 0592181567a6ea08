// TORVELA_VADIzivid: the document camera's viewer.
#include <QApplication>
#include <optional>

#include "devlink/device_directory.h"
#include "platform/instance_lock.h"
#include "platform/message.h"
#include "viewer/message_box_sink.h"
#include "viewer/viewer.h"

namespace {

constexpr char kAlreadyRunningText[] =
    "프로그램이 이미 실행중이거나 종료중입니다. \n잠시후에 다시 시도해 보세요. \n프로그램이 "
    "비정상적으로 종료된 경우, \nUSB 코드를 뽑았다가 다시 연결해보시기 바랍니다.   ";

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  rd420::viewer::InstallMessageBoxSink();
  // One of the viewer and the capture program holds the camera at a time.
  std::optional<rd420::InstanceLock> lock = rd420::InstanceLock::Acquire();
  if (!lock) {
    rd420::ShowMessage(nullptr, kAlreadyRunningText, "Error (AWN00001)",
                       rd420::MessageIcon::kError);
    return 0;
  }
  rd420::viewer::Viewer::Options options;
  options.deviceDirectory = rd420::DefaultDeviceDirectory();
  options.programDirectory = QCoreApplication::applicationDirPath();
  options.releaseInstanceLock = [&lock] { lock.reset(); };
  rd420::viewer::Viewer viewer(std::move(options));
  QObject::connect(&viewer, &rd420::viewer::Viewer::finished, &application, [] {
    rd420::viewer::SetMessageBoxesEnding();
    QCoreApplication::exit(0);
  });
  if (viewer.Start()) {
    application.exec();
  }
  return 0;
}
