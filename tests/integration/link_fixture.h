#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "support/simulator_process.h"
#include "viewer/link_messages.h"

namespace rd420::test {

// A simulated camera in a private directory and the viewer's device link
// to it.
class LinkTest : public ::testing::Test {
 protected:
  void StartSimulator(std::vector<std::string> options = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(std::move(options));
    ASSERT_TRUE(simulator_->Ready()) << "rd420d did not start";
    transport_ = std::make_unique<SocketTransport>(simulator_->Directory());
    link_ = std::make_unique<DeviceLink>(*transport_, viewer::ViewerLinkMessages());
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
