#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "support/link_texts.h"
#include "support/simulator_process.h"
#include "wire/ioctl_codes.h"

namespace rd420::test {

inline constexpr size_t kFullFrameBytes = 1280 * 960 * 2;

// One bulk read of pipe 1 running on its transfer thread, as a streaming
// reader starts it; joined when it goes.
struct PendingRead {
  PendingRead(DeviceLink& link, size_t bytes) : buffer(bytes), device(link.OpenDevice()) {
    request.device = device.get();
    request.code = kIoctlBulkRead;
    request.input = pipe;
    request.inputLength = sizeof pipe;
    request.output = buffer.data();
    request.outputLength = static_cast<uint32_t>(buffer.size());
    request.completion = &done;
    thread = link.StartRead(request);
  }
  ~PendingRead() {
    if (thread.joinable()) {
      thread.join();
    }
  }
  uint8_t pipe[4] = {1, 0, 0, 0};
  std::vector<uint8_t> buffer;
  std::unique_ptr<DeviceHandle> device;
  AutoResetEvent done;
  FrameReadRequest request;
  std::thread thread;
};

// A simulated camera in a private directory and a device link to it.
class LinkTest : public ::testing::Test {
 protected:
  void StartSimulator(std::vector<std::string> options = {}, ProcessLimits limits = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(options), limits);
    ASSERT_TRUE(simulator_->Ready()) << "rd420d did not start";
    transport_ = std::make_unique<SocketTransport>(simulator_->Directory());
    link_ = std::make_unique<DeviceLink>(*transport_, TestLinkMessages());
    link_->SetFatalHandler([this] { ++fatalCalls_; });
  }

  void TearDown() override {
    link_.reset();
    transport_.reset();
    simulator_.reset();
  }

  std::unique_ptr<SimulatorProcess> simulator_;
  std::unique_ptr<SocketTransport> transport_;
  std::unique_ptr<DeviceLink> link_;
  std::atomic<int> fatalCalls_{0};
};

}  // namespace rd420::test
