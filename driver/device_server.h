#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/simulated_camera.h"
#include "platform/unique_fd.h"

namespace rd420 {

// Serves each camera as the UNIX socket node <dir>/RD-420-<n> and the
// simulator's control socket <dir>/rd420d.control. The accept loop runs on
// the thread that calls Run; every connection gets a thread of its own.
class DeviceServer {
 public:
  DeviceServer(std::string directory, std::map<int, std::unique_ptr<sim::SimulatedCamera>> cameras);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // Creates the nodes; false (with a line on standard error) when the
  // directory or a socket cannot be made.
  bool Start();
  // Serves until Stop is called (from a signal handler's thread or another
  // thread).
  void Run();
  void Stop();

  // Runs one control command line and returns its one-line answer.
  std::string Control(const std::string& line);

 private:
  struct Node {
    std::unique_ptr<sim::SimulatedCamera> camera;
    UniqueFd listener;
  };
  struct Connection {
    UniqueFd fd;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  bool OpenNode(int instance);
  void CloseNode(int instance);
  void Accept(int listenerFd, sim::SimulatedCamera* camera);
  void ServeDevice(Connection& connection, sim::SimulatedCamera& camera, uint64_t generation);
  void ServeControl(Connection& connection);
  void ReapFinished();
  void Wake();

  const std::string directory_;
  std::mutex nodesMutex_;  // guards nodes_' listeners (control thread vs accept loop)
  std::map<int, Node> nodes_;
  UniqueFd control_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::atomic<bool> stopping_{false};
  std::mutex connectionsMutex_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace rd420
