#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "twain/twain_protocol.h"

namespace rd420::twain {

// The built TORVELA_TWAIN.ds loaded the way the manager loads it.
class LoadedSource {
 public:
  LoadedSource() {
    library_ = dlopen(TORVELA_TWAIN_DS_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) {
      entry_ = reinterpret_cast<DSENTRYPROC>(dlsym(library_, "DS_Entry"));
    }
  }
  ~LoadedSource() {
    if (library_ != nullptr) {
      dlclose(library_);
    }
  }
  LoadedSource(const LoadedSource&) = delete;
  LoadedSource& operator=(const LoadedSource&) = delete;
  bool Loaded() const { return entry_ != nullptr; }
  TW_UINT16 operator()(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       void* data) {
    return entry_(origin, dg, dat, msg, data);
  }

 private:
  void* library_ = nullptr;
  DSENTRYPROC entry_ = nullptr;
};

// The loaded source called as an application that cannot wait forever
// calls it: each call is timed, and one that has not returned within 10 s
// ends the process naming the triplet, where the application would hang.
class GuardedSource {
 public:
  explicit GuardedSource(LoadedSource& source) : source_(source), watchdog_([this] { Watch(); }) {}
  ~GuardedSource() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
  }
  GuardedSource(const GuardedSource&) = delete;
  GuardedSource& operator=(const GuardedSource&) = delete;

  TW_UINT16 operator()(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       void* data) {
    const auto start = std::chrono::steady_clock::now();
    {
      std::lock_guard lock(mutex_);
      dat_ = dat;
      msg_ = msg;
      deadline_ = start + std::chrono::seconds(10);
      armed_ = true;
    }
    wake_.notify_all();
    const TW_UINT16 rc = source_(origin, dg, dat, msg, data);
    const auto took = std::chrono::steady_clock::now() - start;
    std::lock_guard lock(mutex_);
    armed_ = false;
    longest_ = std::max(longest_, took);
    return rc;
  }
  // The longest call so far.
  std::chrono::steady_clock::duration Longest() const {
    std::lock_guard lock(mutex_);
    return longest_;
  }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (!armed_) {
        wake_.wait(lock);
      } else if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                 std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr, "DS_Entry DAT 0x%04X MSG 0x%04X did not return within 10 s\n",
                     unsigned{dat_}, unsigned{msg_});
        std::abort();
      }
    }
  }

  LoadedSource& source_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool armed_ = false;
  bool stop_ = false;
  TW_UINT16 dat_ = 0;
  TW_UINT16 msg_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::steady_clock::duration longest_{};
  std::thread watchdog_;
};

// One session of an application with the loaded source and the camera of
// $RD420_DEVICE_DIR: a shown window enabled and disabled, then a hidden
// one whose picture is taken by native transfer; then the source is closed
// and unloaded. The picture must be the camera's (640 x 480, not blank).
// `afterClose` runs between MSG_CLOSEDS and the unload.
inline void ScanWithLoadedSource(const std::function<void()>& afterClose) {
  LoadedSource source;
  ASSERT_TRUE(source.Loaded()) << dlerror();
  TW_IDENTITY app{};
  app.Id = 7;
  app.ProtocolMajor = 2;
  app.ProtocolMinor = 4;
  TW_IDENTITY identity{};
  identity.Id = 42;
  ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
  for (TW_BOOL showUi : {kTwTrue, kTwFalse}) {
    TW_USERINTERFACE ui{showUi, kTwFalse, nullptr};
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    if (showUi == kTwFalse) {
      TW_HANDLE dib = nullptr;
      ASSERT_EQ(source(&app, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
      const auto* block = static_cast<const std::uint8_t*>(dib);
      std::int32_t width, height;
      std::memcpy(&width, block + 4, 4);
      std::memcpy(&height, block + 8, 4);
      EXPECT_EQ(width, 640);
      EXPECT_EQ(height, 480);
      size_t lit = 0;
      for (size_t i = 40; i < 40 + 640 * 480 * 3; ++i) {
        lit += block[i] != 0 ? 1 : 0;
      }
      EXPECT_GT(lit, 640u * 480u);  // a picture, not an empty block
      std::free(dib);
      TW_PENDINGXFERS pending{};
      ASSERT_EQ(source(&app, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    }
    ASSERT_EQ(source(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  }
  ASSERT_EQ(source(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  afterClose();
}

}  // namespace rd420::twain
