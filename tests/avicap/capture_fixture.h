#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>

#include "avicap/capture_dialog.h"
#include "avicap/control_ids.h"
#include "platform/message.h"
#include "support/gui_helpers.h"
#include "support/simulator_process.h"

namespace rd420::avicap::test {

using rd420::test::OwnThreadCount;
using rd420::test::SimulatorProcess;
using rd420::test::WaitFor;

// Records what the recording consumer handed to its writer.
class RecordingLog : public capture::RecordingWriter {
 public:
  bool Start(const capture::RecordingSettings& settings, FrameGeometry,
             capture::RecordingHost&) override {
    {
      std::lock_guard lock(mutex_);
      settings_ = settings;
    }
    ++starts;
    return true;
  }
  bool Frame(std::span<const uint8_t> bgr, FrameGeometry geometry) override {
    frames += bgr.size() == geometry.BgrBytes() ? 1 : 0;
    return true;
  }
  bool Finish() override {
    ++finishes;
    return true;
  }
  capture::RecordingSettings Settings() {
    std::lock_guard lock(mutex_);
    return settings_;
  }
  std::atomic<int> starts{0};
  std::atomic<int> frames{0};
  std::atomic<int> finishes{0};

 private:
  std::mutex mutex_;
  capture::RecordingSettings settings_;
};

// The capture program's dialog against a simulated camera in a private
// directory, with its own lock folder, a clock the test drives, a save
// dialog that answers `chosenFile_`, and messages recorded instead of shown.
class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtimeDirectory_ = rd420::test::MakeTempDirectory();
    setenv("XDG_RUNTIME_DIR", runtimeDirectory_.c_str(), 1);
    chosenFile_ = QString::fromStdString(runtimeDirectory_) + QStringLiteral("/clip.avi");
  }
  void TearDown() override {
    dialog_.reset();
    simulator_.reset();
    rd420::test::RemoveDirectory(runtimeDirectory_);
  }

  CaptureDlg::Options MakeOptions(const std::string& deviceDirectory) {
    CaptureDlg::Options options;
    options.deviceDirectory = deviceDirectory;
    options.programDirectory = QString::fromStdString(runtimeDirectory_);
    options.writer = writer_ != nullptr ? writer_ : &log_;
    options.readyPollIntervalMs = 1;
    options.minuteMs = minuteMs_;
    options.elapsedTickMs = 5;
    options.clockSeconds = [this] { return now_.load(); };
    options.chooseFile = [this] { return chosenFile_; };
    options.freeKilobytes = [this](const std::string&) { return freeKilobytes_; };
    options.limitsFileTo4GB = [this](const std::string&) { return fat_; };
    return options;
  }
  // Starts the simulator with `simulatorOptions` and runs the start-up;
  // returns Initialise()'s answer.
  bool StartCapture(std::vector<std::string> simulatorOptions = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(simulatorOptions));
    EXPECT_TRUE(simulator_->Ready());
    return StartCaptureOn(simulator_->Directory());
  }
  bool StartCaptureOn(const std::string& deviceDirectory) {
    dialog_ = std::make_unique<CaptureDlg>(MakeOptions(deviceDirectory));
    return dialog_->Initialise();
  }

  CaptureDlg& Dialog() { return *dialog_; }
  QWidget* Control(int id) { return dialog_->findChild<QWidget*>(ControlName(id)); }
  QString Text(int id) {
    QWidget* control = Control(id);
    if (auto* label = qobject_cast<QLabel*>(control)) {
      return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      return edit->text();
    }
    return qobject_cast<QAbstractButton*>(control)->text();
  }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
  int PicturesShown() { return dialog_->Preview()->PicturesShown(); }
  bool WaitForPictures(int more) {
    const int target = PicturesShown() + more;
    return WaitFor([&] { return PicturesShown() >= target; });
  }
  bool WaitForEnd() {
    return WaitFor([&] { return dialog_->Ended(); });
  }

  MessageRecorder messages_;
  RecordingLog log_;
  capture::RecordingWriter* writer_ = nullptr;  // instead of log_ when set
  std::unique_ptr<SimulatorProcess> simulator_;
  std::unique_ptr<CaptureDlg> dialog_;
  std::string runtimeDirectory_;
  QString chosenFile_;
  std::optional<uint64_t> freeKilobytes_ = uint64_t{1} << 40;
  bool fat_ = false;
  int minuteMs_ = 60000;
  std::atomic<int64_t> now_{1'000'000};
};

}  // namespace rd420::avicap::test
