#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/camera_backend.h"
#include "driver/process_reads.h"
#include "platform/unique_fd.h"

namespace rd420 {

// Serves each camera as the UNIX socket node <dir>/RD-420-<n> and, when a
// control handler is set, the control socket <dir>/rd420d.control. One
// event loop on the thread that calls Run accepts, reads every request
// without blocking and answers; only a bulk read, which waits for the
// camera, gets a transfer thread of its own. An idle connection costs one
// descriptor and no thread, and at any limit (descriptors, threads, memory)
// the newcomer is refused and the loop goes on.
class DeviceServer {
 public:
  // Answers one control line with one line; runs on the loop's thread.
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
  // Serves one more camera as node `instance`, at once when started, else
  // with the others at Start. False, and the camera freed, when the number
  // is taken, its node cannot be made or the server has shut down. Safe
  // from any thread.
  bool AddCamera(int instance, std::unique_ptr<CameraBackend> camera);

 private:
  struct Node {
    std::unique_ptr<CameraBackend> camera;
    UniqueFd listener;
    ProcessReads reads;  // the loop's thread's
  };
  struct Connection;

  bool OpenNode(int instance);
  void CloseNode(int instance);
  void Accept(int listenerFd, CameraBackend* camera);
  void RefuseAtDescriptorLimit(int listenerFd);
  // Each returns false when the connection is to be closed now.
  bool OnReadable(Connection& c);
  bool ReadDeviceRequest(Connection& c);
  bool ReadControlLines(Connection& c);
  bool AnswerControlLines(Connection& c);
  void StartRequest(Connection& c);
  void FinishRequest(Connection& c, std::optional<uint32_t> returned);
  bool FinishTransfer(Connection& c);
  bool Flush(Connection& c);
  void Wake();

  const std::string directory_;
  // The flock on <dir>/rd420d.lock, held while the server lives.
  UniqueFd directoryLock_;
  std::mutex presenceMutex_;  // one plug, unplug or new camera at a time
  std::mutex nodesMutex_;     // guards nodes_' listeners (control vs the loop)
  std::map<int, Node> nodes_;
  ControlHandler controlHandler_;
  UniqueFd control_;
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;   // under presenceMutex_
  bool shutDown_ = false;  // under presenceMutex_: no node opens after it
  // Given up for a moment to accept and close a newcomer at the descriptor
  // limit, so the listener does not stay readable and spin the loop.
  UniqueFd spareFd_;
  std::chrono::steady_clock::time_point acceptPausedUntil_{};
  bool refusing_ = false;      // a line on standard error once per episode
  bool threadsShort_ = false;  // the same for transfer threads
  // Touched by the loop's thread only (and by Shutdown after Run).
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace rd420
