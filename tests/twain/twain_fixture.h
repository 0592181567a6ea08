#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "platform/message.h"
#include "tests/twain/standin_dsm.h"
#include "twain/data_source.h"

namespace rd420::twain {

// Loads the stand-in manager the way an application loads the real one, so
// the source's RTLD_NOLOAD look-up finds it; unloads it at the end.
class StandInManager {
 public:
  StandInManager() {
    library_ = dlopen(STANDIN_DSM_PATH, RTLD_NOW | RTLD_GLOBAL);
    if (library_ != nullptr) {
      take_ = reinterpret_cast<StandInTakeRecordsFn>(dlsym(library_, "StandInTakeRecords"));
      setCallback_ = reinterpret_cast<StandInSetCallbackFn>(dlsym(library_, "StandInSetCallback"));
    }
  }
  ~StandInManager() {
    if (library_ != nullptr) {
      if (setCallback_ != nullptr) {
        setCallback_(nullptr, nullptr);
      }
      dlclose(library_);
    }
  }
  bool Loaded() const { return take_ != nullptr; }
  std::vector<StandInRecord> Take() {
    std::vector<StandInRecord> records(16);
    records.resize(take_(records.data(), records.size()));
    return records;
  }
  // Runs `callback` inside each later notification, as an application would.
  void OnNotification(std::function<void()> callback) {
    callback_ = std::move(callback);
    setCallback_([](void* self) { static_cast<StandInManager*>(self)->callback_(); }, this);
  }

 private:
  void* library_ = nullptr;
  StandInTakeRecordsFn take_ = nullptr;
  StandInSetCallbackFn setCallback_ = nullptr;
  std::function<void()> callback_;
};

// The view window as the tests play it: what MSG_ENABLEDS asked for, and
// the geometry that decides the picture size.
struct FakeViewState {
  ImageGeometry geometry;
  int opens = 0;
  int closes = 0;
  TW_HANDLE parent = nullptr;
  bool shown = false;
  std::function<void()> onClose;      // what the window's threads do as it closes
  std::function<void()> onTakeStill;  // what the host's loop does while a still is taken
};

class FakeView final : public ViewHost {
 public:
  explicit FakeView(std::shared_ptr<FakeViewState> state) : state_(std::move(state)) {}
  TW_UINT16 Open(TW_HANDLE parent, bool showUi) override {
    ++state_->opens;
    state_->parent = parent;
    state_->shown = showUi;
    return TWCC_SUCCESS;
  }
  void Close() override {
    ++state_->closes;
    if (state_->onClose) {
      state_->onClose();
    }
  }
  bool ProcessEvent(TW_EVENT&) override { return false; }
  ImageGeometry Geometry() const override { return state_->geometry; }
  bool TakeStill(std::vector<std::uint8_t>&, int&, int&) override {
    if (state_->onTakeStill) {
      state_->onTakeStill();
    }
    return false;
  }

 private:
  std::shared_ptr<FakeViewState> state_;
};

// A message box with its owner, as the user would see it.
struct ShownBox {
  const void* owner;
  Message message;
};

// One data source in a private folder holding the shipped templates, driven
// as an application (Id 7, protocol 1.9) would drive it.
class SourceTest : public testing::Test {
 protected:
  SourceTest() {
    char pattern[] = "/tmp/twain-test-XXXXXX";
    folder_ = mkdtemp(pattern);
    // The trace log (temporary folder) and the default transfer file (the
    // user's runtime folder) go to this test's own folder.
    setenv("TMPDIR", folder_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    for (const char* name : {"XGA_FULL.bmp", "XGA_HALF.bmp", "720P_FULL.bmp", "720P_HALF.bmp"}) {
      std::filesystem::copy_file(std::filesystem::path(TWAIN_TEMPLATE_DIR) / name, folder_ / name);
    }
    previousSink_ = SetMessageSink([this](const void* owner, const Message& message) {
      boxes_.push_back({owner, message});
    });
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    app_.Id = 7;
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 9;
    managerIdentity_.Id = 42;
  }
  ~SourceTest() override {
    source_.reset();
    SetMessageSink(std::move(previousSink_));
    std::filesystem::remove_all(folder_);
  }

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return source_->Entry(&app_, dg, dat, msg, data);
  }
  // DAT_STATUS: the code of the last failure, cleared by reading it.
  TW_UINT16 Condition() {
    TW_STATUS status{0xFFFF, 0xFFFF};
    EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    return status.ConditionCode;
  }
  void Open() {
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &managerIdentity_), TWRC_SUCCESS);
  }
  void Enable(bool showUi) {
    TW_USERINTERFACE ui{showUi ? kTwTrue : kTwFalse, kTwFalse, &parentWindow_};
    ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  }
  // A still of the current geometry's size: bottom-up BGR rows whose bytes
  // differ from row to row and along each row.
  std::vector<std::uint8_t> Still() const {
    const auto size = ImageSizeFor(view_->geometry);
    std::vector<std::uint8_t> pixels(static_cast<size_t>(size->width) * size->height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = static_cast<std::uint8_t>(i * 7 + i / (size->width * 3) * 13);
    }
    return pixels;
  }
  // The user presses "Scan Capturing Image" with `still_` on the screen.
  void HandOver() {
    const auto size = ImageSizeFor(view_->geometry);
    source_->HandOverStill(still_, size->width, size->height);
  }
  // Walks the source to a state the way an application and a user would.
  void GoTo(std::uint32_t state) {
    if (state >= 400) {
      Open();
    }
    if (state >= 500) {
      Enable(true);
    }
    if (state >= 600) {
      still_ = Still();
      HandOver();
    }
    if (state >= 700) {
      std::vector<std::uint8_t> strip(4096);
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = {0, static_cast<TW_UINT32>(strip.size()), strip.data()};
      ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_SUCCESS);
    }
    ASSERT_EQ(source_->State(), state);
  }

  std::filesystem::path folder_;
  std::shared_ptr<FakeViewState> view_ = std::make_shared<FakeViewState>();
  std::unique_ptr<DataSource> source_;
  TW_IDENTITY app_{};
  TW_IDENTITY managerIdentity_{};
  int parentWindow_ = 0;
  std::vector<std::uint8_t> still_;
  std::vector<ShownBox> boxes_;
  MessageSink previousSink_;
};

}  // namespace rd420::twain
