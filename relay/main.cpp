// Swivane: hands the camera between the viewer and the capture program.
#include <QApplication>
#include <cstdlib>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/trace.h"
#include "relay/relay_dialog.h"
#include "relay/x11_windows.h"

namespace {

bool Unset(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr || *value == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace rd420::relay;
  const std::string argument = CommandLineArgument(argc, argv);
  rd420::Trace("Swivane %s", argument.c_str());
  const RelayMode* mode = FindRelayMode(argument);
  if (mode == nullptr) {
    return 0;
  }
  // Without a display that answers Qt would abort; the hand-over then
  // still happens, unseen. The token is not Qt's to read.
  std::unique_ptr<X11Windows> x11 = X11Windows::Connect();
  char offscreen[] = "offscreen";
  char platform[] = "-platform";
  std::vector<char*> qtArguments{argv[0]};
  if (Unset("QT_QPA_PLATFORM") && !x11 && Unset("WAYLAND_DISPLAY")) {
    qtArguments.insert(qtArguments.end(), {platform, offscreen});
  }
  int qtCount = static_cast<int>(qtArguments.size());
  qtArguments.push_back(nullptr);
  QApplication application(qtCount, qtArguments.data());

  // Windows of other programs can be seen only through X11. Elsewhere the
  // program handing over is known by the camera lock, which it lets go
  // only once it has stopped using the camera.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    x11.reset();  // a native Wayland program has no X11 window to find
  }
  RelayDlg::Options options;
  options.mode = mode;
  options.programDirectory = QCoreApplication::applicationDirPath();
  if (x11) {
    options.handingOverRuns = [&x11, mode] { return x11->TopLevelExists(mode->waitForTitle); };
  } else {
    rd420::Trace("Swivane: no X11 display, waiting for the camera lock");
    options.handingOverRuns = [] { return rd420::InstanceLockHeld(rd420::kCameraLockName); };
  }
  RelayDlg dialog(std::move(options));
  dialog.exec();
  return 0;
}
