// Swivane: hands the camera between the viewer and the capture program.
#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/trace.h"
#include "relay/relay_dialog.h"
#include "relay/x11_windows.h"

namespace {

// The platforms Qt should try when no X server answers, or "" to leave
// Qt's choice alone. Qt aborts when the platform it picks cannot start,
// and the camera would then be left with no program: xcb is dropped and
// offscreen comes last, so the hand-over still happens, unseen.
std::string PlatformWithoutX11() {
  const char* forced = std::getenv("QT_QPA_PLATFORM");
  if (forced == nullptr || *forced == '\0') {
    return "wayland;offscreen";
  }
  // "name:options;name:options", tried in turn.
  std::string kept;
  bool droppedXcb = false;
  std::string_view rest = forced;
  while (!rest.empty()) {
    const std::string_view entry = rest.substr(0, rest.find(';'));
    rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    if (entry.substr(0, entry.find(':')) == "xcb") {
      droppedXcb = true;
    } else if (!entry.empty()) {
      kept.append(entry).append(";");
    }
  }
  return droppedXcb ? kept + "offscreen" : std::string();
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
  // The token is not Qt's to read. -platform, not the environment: the
  // program started later picks its own platform.
  std::unique_ptr<X11Windows> x11 = X11Windows::Connect();
  std::string platforms = x11 ? std::string() : PlatformWithoutX11();
  char platformOption[] = "-platform";
  std::vector<char*> qtArguments{argv[0]};
  if (!platforms.empty()) {
    rd420::Trace("Swivane: no X server answers, platform %s", platforms.c_str());
    qtArguments.insert(qtArguments.end(), {platformOption, platforms.data()});
  }
  int qtCount = static_cast<int>(qtArguments.size());
  qtArguments.push_back(nullptr);
  QApplication application(qtCount, qtArguments.data());

  // Windows of other programs can be seen only through X11. Elsewhere the
  // relay waits on the camera lock; but the viewer and the capture program
  // both stop using the camera and let go of the lock before they start
  // the relay, so it finds the lock free at once. That order, in each
  // program, is what keeps the two off the camera together; the wait only
  // covers a holder other than the one that started us.
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
