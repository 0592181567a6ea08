#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/message.h"
#include "support/fake_still_dialogs.h"
#include "support/gui_helpers.h"
#include "support/recording_still_actions.h"
#include "support/simulator_process.h"
#include "viewer/control_ids.h"
#include "viewer/presenter/presenter.h"
#include "viewer/viewer_program.h"

namespace rd420::viewer::test {

using rd420::test::OwnThreadCount;
using rd420::test::RecordingStillActions;
using rd420::test::SimulatorProcess;
using rd420::test::WaitFor;

// Lends the viewer the test's recorder, which outlives it.
class LentStillActions : public StillActions {
 public:
  explicit LentStillActions(StillActions& to) : to_(to) {}
  void SaveStill(const ImagingBitmap& still, uint8_t mode, bool quick) override {
    to_.SaveStill(still, mode, quick);
  }
  void PrintStill(const FrameBitmap& still, uint8_t mode) override { to_.PrintStill(still, mode); }

 private:
  StillActions& to_;
};

// The viewer started against a simulated camera in a private directory,
// with messages recorded instead of shown.
class ViewerTest : public ::testing::Test {
 protected:
  // Starts the simulator with `simulatorOptions` and runs the viewer's
  // start-up; returns Start()'s answer.
  bool StartViewer(std::vector<std::string> simulatorOptions = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(simulatorOptions));
    EXPECT_TRUE(simulator_->Ready());
    return StartViewerOn(simulator_->Directory());
  }
  bool StartViewerOn(const std::string& deviceDirectory) {
    Viewer::Options options;
    options.deviceDirectory = deviceDirectory;
    options.stillActions = [this](Viewer& viewer) -> std::unique_ptr<StillActions> {
      if (recordStills_) {
        return std::make_unique<LentStillActions>(actions_);
      }
      return ProgramStillActions(viewer, &dialogs_);
    };
    if (withPresenter_) {
      options.presenterTools = [](Viewer& viewer) { return std::make_unique<Presenter>(viewer); };
    }
    options.readyPollIntervalMs = 1;
    options.programDirectory = programDirectory_;
    options.releaseInstanceLock = [this] { ++lockReleases_; };
    options.timings = timings_;
    options.settingsFile = SettingsFile();
    viewer_ = std::make_unique<Viewer>(std::move(options));
    QObject::connect(viewer_.get(), &Viewer::finished, [this] { ++finished_; });
    return viewer_->Start();
  }

  void TearDown() override {
    viewer_.reset();
    simulator_.reset();
  }

  MainWindow& Main() { return *viewer_->Main(); }
  ControlPanel& Panel() { return *viewer_->Panel(); }
  int PicturesShown() { return Main().View()->PicturesShown(); }
  bool WaitForPictures(int more) {
    const int target = PicturesShown() + more;
    return WaitFor([&] { return PicturesShown() >= target; });
  }
  // The words other than polls the camera received, oldest first.
  std::string History() { return simulator_->Control("history"); }
  bool WaitForHistory(const std::string& word) {
    return WaitFor([&] { return History().find(word) != std::string::npos; });
  }
  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // The viewer's settings file, private to the test.
  QString SettingsFile() const { return settingsFolder_.filePath(QStringLiteral("QRN_VMX.ini")); }

  MessageRecorder messages_;
  RecordingStillActions actions_;
  bool withPresenter_ = false;  // the viewer program's presenter tools
  bool recordStills_ = true;    // false: the program's save and print, with dialogs_
  rd420::test::FakeStillDialogs dialogs_;
  std::unique_ptr<SimulatorProcess> simulator_;
  std::unique_ptr<Viewer> viewer_;
  int finished_ = 0;
  QString programDirectory_;
  int lockReleases_ = 0;
  StreamTimings timings_;
  QTemporaryDir settingsFolder_;
};

}  // namespace rd420::viewer::test
