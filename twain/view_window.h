#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message.h"
#include "platform/message_box_sink.h"
#include "twain/gui_thread.h"
#include "twain/view_host.h"
#include "twain/view_role.h"

namespace rd420::viewer {
class Viewer;
}

namespace rd420::twain {

// The data source's view window: the viewer's windows in their data-source
// flavour, on the host's GUI thread or on one of our own. DS_Entry calls it
// on the application's thread; the window's threads call the source back
// through the SourcePort.
class ViewWindow final : public ViewHost {
 public:
  struct Settings {
    std::string deviceDirectory;  // empty: the usual device folder
    QString settingsFile;         // empty: the user's own
    uint32_t readyPollIntervalMs = 100;
    // False: messages go to whatever sink the process has (tests record
    // them); true: boxes that hold no one up while the window is shown, a
    // trace line while it is hidden, standard error where no one could see
    // a box.
    bool messageBoxes = true;
  };

  explicit ViewWindow(Settings settings);
  ~ViewWindow() override;

  void Connect(SourcePort port) override { port_ = std::move(port); }
  TW_UINT16 Open(TW_HANDLE parent, bool showUi) override;
  void Close() override;
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override;
  bool TakeStill(std::vector<std::uint8_t>& pixels, int& width, int& height) override;
  void Release() override;

  // The window's code while the window is open, else null. GUI thread.
  viewer::Viewer* View() const { return viewer_.get(); }

 private:
  // MSG_CLOSEDSREQ from a thread of its own: the window's threads must not
  // wait for the source's lock, which the application's thread may hold
  // while it waits for them.
  void RequestClose();
  void JoinCloseRequests();

  Settings settings_;
  SourcePort port_;
  GuiThread gui_;
  std::unique_ptr<DataSourceRole> role_;  // outlives the viewer it is lent to
  std::unique_ptr<viewer::Viewer> viewer_;
  std::mutex requestsMutex_;
  std::vector<std::thread> closeRequests_;
  // While a hidden window starts, a close request means MSG_ENABLEDS fails.
  std::atomic<bool> startingHidden_{false};
  std::atomic<bool> lostWhileStarting_{false};
  std::unique_ptr<ModelessMessageBoxes> boxes_;  // GUI thread
  MessageSink previousSink_;                     // restored by Release
  bool sinkInstalled_ = false;
};

}  // namespace rd420::twain
