// TORVELA_VADIzivid: the document camera's viewer.
#include <QApplication>
#include <csignal>

#include "devlink/daemon_start.h"
#include "platform/display_check.h"
#include "platform/message_box_sink.h"
#include "viewer/presenter/presenter.h"
#include "viewer/viewer_program.h"
#include "wire/device_directory.h"

int main(int argc, char** argv) {
  // Under a file-size limit a save must fail with its message, not kill us.
  std::signal(SIGXFSZ, SIG_IGN);
  if (!rd420::DisplayAnswers(argc, argv)) {
    return 1;
  }
  QApplication application(argc, argv);
  rd420::InstallMessageBoxSink();
  // Where no systemd user session runs rd420d, a program started from the
  // menu still finds the camera.
  rd420::StartDaemonForProgram();
  rd420::viewer::Viewer::Options options;
  options.deviceDirectory = rd420::DefaultDeviceDirectory();
  options.programDirectory = QCoreApplication::applicationDirPath();
  options.stillActions = [](rd420::viewer::Viewer& viewer) {
    return rd420::viewer::ProgramStillActions(viewer);
  };
  options.presenterTools = [](rd420::viewer::Viewer& viewer) {
    return std::make_unique<rd420::viewer::Presenter>(viewer);
  };
  return rd420::viewer::RunViewerProgram(std::move(options));
}
