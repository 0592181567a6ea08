// TORVELA_AVICap: the document camera's capture program.
#include <QApplication>

#include "avicap/capture_dialog.h"
#include "devlink/daemon_start.h"
#include "platform/display_check.h"
#include "platform/message_box_sink.h"
#include "wire/device_directory.h"

int main(int argc, char** argv) {
  if (!rd420::DisplayAnswers(argc, argv)) {
    return 1;
  }
  QApplication application(argc, argv);
  rd420::InstallMessageBoxSink();
  // Where no systemd user session runs rd420d, a program started from the
  // menu still finds the camera.
  rd420::StartDaemonForProgram();
  rd420::avicap::CaptureDlg::Options options;
  options.deviceDirectory = rd420::DefaultDeviceDirectory();
  options.programDirectory = QCoreApplication::applicationDirPath();
  return rd420::avicap::RunCaptureProgram(std::move(options));
}
