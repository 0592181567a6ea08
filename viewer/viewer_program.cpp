#include "viewer/viewer_program.h"

#include <QEventLoop>

#include "platform/instance_lock.h"
#include "platform/message.h"
#include "stills/held_still_actions.h"

namespace rd420::viewer {
namespace {

constexpr char kAlreadyRunningText[] =
    "프로그램이 이미 실행중이거나 종료중입니다. \n잠시후에 다시 시도해 보세요. \n프로그램이 "
    "비정상적으로 종료된 경우, \nUSB 코드를 뽑았다가 다시 연결해보시기 바랍니다.   ";

}  // namespace

std::unique_ptr<StillActions> ProgramStillActions(Viewer& viewer, stills::StillDialogs* dialogs) {
  stills::HeldStillEnvironment environment;
  environment.gui = &viewer;
  environment.owner = [&viewer] { return viewer.Main(); };
  environment.quickSaveFolder = [&viewer] { return viewer.QuickSaveFolder(); };
  environment.ending = [&viewer] { return viewer.Ended(); };
  environment.stillHeld = [&viewer] { return viewer.Flags().g_Capture_Mode != 0; };
  environment.dialogs = dialogs;
  // Saved and printed stills follow the shown picture; the tools are made
  // after these actions, and the viewer may have none.
  environment.asShown = [&viewer](const QImage& still, bool withDrawing) {
    return viewer.Tools() != nullptr ? viewer.Tools()->AsShown(still, withDrawing) : QImage();
  };
  environment.hasDrawing = [&viewer] {
    return viewer.Tools() != nullptr && viewer.Tools()->HasDrawing();
  };
  environment.quickSaveWithDrawing = [&viewer] {
    return viewer.Tools() != nullptr && viewer.Tools()->QuickSaveWithDrawing();
  };
  return std::make_unique<stills::HeldStillActions>(std::move(environment));
}

int RunViewerProgram(Viewer::Options options) {
  // One of the viewer and the capture program holds the camera at a time.
  std::optional<InstanceLock> lock = InstanceLock::Acquire();
  if (!lock) {
    ShowMessage(nullptr, kAlreadyRunningText, "Error (AWN00001)", MessageIcon::kError);
    return 0;
  }
  options.releaseInstanceLock = [&lock] { lock.reset(); };
  Viewer viewer(std::move(options));
  QEventLoop loop;
  QObject::connect(&viewer, &Viewer::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  if (viewer.Start()) {
    loop.exec();
  }
  return 0;
}

}  // namespace rd420::viewer
