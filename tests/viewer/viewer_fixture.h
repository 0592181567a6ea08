#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/message.h"
#include "support/fake_still_dialogs.h"
#include "support/gui_helpers.h"
#include "support/simulator_process.h"
#include "viewer/control_ids.h"
#include "viewer/viewer.h"

namespace rd420::viewer::test {

using rd420::test::OwnThreadCount;
using rd420::test::SimulatorProcess;
using rd420::test::WaitFor;

// Records what save and print were handed.
class RecordingStillActions : public StillActions {
 public:
  struct Call {
    bool print;
    bool quick;
    int width;
    int height;
    uint8_t mode;
  };
  void SaveStill(const ImagingBitmap& still, uint8_t mode, bool quick) override {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({false, quick, still.Width(), still.Height(), mode});
    }
    if (duringSave) {
      duringSave();
    }
  }
  // Runs on the still thread inside each save, set before the viewer starts.
  std::function<void()> duringSave;
  void PrintStill(const FrameBitmap& still, uint8_t mode) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({true, false, still.Geometry().width, still.Geometry().height, mode});
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
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
    options.stillActions = recordStills_ ? &actions_ : nullptr;
    options.stillDialogs = &dialogs_;
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
  bool recordStills_ = true;  // false: the program's save and print, with dialogs_
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
