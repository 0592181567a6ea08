#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "driver/camera_backend.h"
#include "driver/camera_model.h"
#include "driver/injected_faults.h"
#include "driver/scene_renderer.h"

namespace rd420::sim {

// Request counts and the last command, for the control socket's `state`.
struct CameraCounters {
  uint64_t vendor = 0;
  uint64_t statusPolls = 0;
  uint64_t bulk = 0;
  uint64_t pipes = 0;
  uint64_t abort = 0;
  uint64_t frames = 0;
};

// A simulated camera behind one device node: the model, its frames at the
// camera's pace, and the faults tests inject. Called from the server's loop
// thread (requests that never wait, control commands) and its transfer
// threads (bulk reads); one mutex guards the state, and frames are rendered
// outside it.
class SimulatedCamera : public CameraBackend {
 public:
  explicit SimulatedCamera(const CameraOptions& options);

  uint64_t Generation() const override;
  std::optional<InterfaceInformation> Pipes(const ClientContext& client) override;
  std::optional<uint32_t> Vendor(const ClientContext& client, uint32_t word) override;
  bool AbortPipe(const ClientContext& client, uint32_t pipe) override;
  std::optional<uint32_t> BulkRead(const ClientContext& client, uint32_t pipe,
                                   std::span<uint8_t> frame) override;
  void Shutdown() override;

  // Faults and run-time changes.
  bool Plugged() const;
  void Unplug();
  void Plug();
  void StallNextRead();
  // Fails the next `count` vendor requests; a negative count fails all of
  // them until set to 0.
  void FailVendorRequests(int count);
  void SetAspect169(bool wide);
  void SetBusyPolls(int polls);
  void ForceStatus(std::optional<uint32_t> word);
  void SetFps(double fps);
  // Changes the faults of InjectedFaults under the camera's lock; `status`
  // is the status word as the model has it now.
  void ChangeFaults(const std::function<void(InjectedFaults&, uint32_t status)>& change);
  void ResetCounters();

  // One line of "key=value" pairs describing the camera.
  std::string StateLine();
  // The last non-poll command words, oldest first.
  std::string HistoryLine();

 private:
  // One bulk read, from its start until it returns.
  struct Read {
    pid_t process = 0;
    bool aborted = false;  // by its own process's abort
  };
  std::optional<uint32_t> VendorLocked(uint32_t word);
  // Waits until `deadline` or until the read is interrupted (its process's
  // abort, unplug, shutdown, client gone). True when the deadline came;
  // the deadline may move up while waiting (a slot given back).
  bool WaitForFrameTime(std::unique_lock<std::mutex>& lock, const ClientContext& client,
                        const Read& read, const Clock::time_point& deadline);
  // Whether the client's handle reaches the camera: plugged, not stopping,
  // and opened since the last plug.
  bool Attached(const ClientContext& client) const;
  Clock::duration FramePeriod() const;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  CameraModel model_;
  double fps_;
  bool plugged_ = true;
  bool shuttingDown_ = false;
  uint64_t generation_ = 1;
  std::list<Read> reads_;
  bool stallNext_ = false;
  int failVendor_ = 0;
  uint32_t sequence_ = 0;
  std::optional<std::pair<SceneSettings, uint32_t>> frozenFrame_;
  Clock::time_point lastFrameAt_{};
  // The frame times the waiting reads were given, to move up when one
  // gives its slot back.
  std::list<Clock::time_point*> waitingSlots_;
  CameraCounters counters_;
  InjectedFaults faults_;
  std::optional<uint32_t> lastCommand_;
  std::deque<uint32_t> history_;

  std::mutex renderMutex_;  // the renderer is used by one read at a time
  SceneRenderer renderer_;
};

}  // namespace rd420::sim
