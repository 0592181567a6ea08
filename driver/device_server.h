#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/camera_backend.h"
#include "platform/unique_fd.h"

namespace rd420 {

// Serves each camera as the UNIX socket node <dir>/RD-420-<n> and, when a
// control handler is set, the control socket <dir>/rd420d.control. The
// accept loop runs on the thread that calls Run; every connection gets a
// thread of its own.
class DeviceServer {
 public:
  // Answers one control line with one line; runs on a connection thread.
  using ControlHandler = std::function<std::string(const std::string& line)>;

  DeviceServer(std::string directory, std::map<int, std::unique_ptr<CameraBackend>> cameras);
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
  // After Run has returned: ends every connection, joins its thread and
  // removes the nodes. The destructor does it too; call it first when a
  // control handler borrows something that dies before the server.
  void Shutdown();

  // Before Start: serve the control socket with `handler`.
  void SetControlHandler(ControlHandler handler);

  // Removes or recreates camera `instance`'s node, as a cable pulled or
  // plugged in. Safe from any thread once started.
  bool SetNodePresent(int instance, bool present);

 private:
  struct Node {
    std::unique_ptr<CameraBackend> camera;
    UniqueFd listener;
  };
  struct Connection {
    UniqueFd fd;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  bool OpenNode(int instance);
  void CloseNode(int instance);
  void Accept(int listenerFd, CameraBackend* camera);
  void ServeDevice(Connection& connection, CameraBackend& camera, uint64_t generation);
  void ServeControl(Connection& connection);
  void ReapFinished();
  void Wake();

  const std::string directory_;
  // The flock on <dir>/rd420d.lock, held while the server lives.
  UniqueFd directoryLock_;
  std::mutex nodesMutex_;  // guards nodes_' listeners (control thread vs accept loop)
  std::map<int, Node> nodes_;
  ControlHandler controlHandler_;
  UniqueFd control_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::atomic<bool> stopping_{false};
  bool shutDown_ = false;
  std::mutex connectionsMutex_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace rd420
