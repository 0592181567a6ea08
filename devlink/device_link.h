#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "devlink/link_messages.h"
#include "platform/event.h"
#include "wire/device_transport.h"

namespace rd420 {

// The record of one bulk read handed to a transfer thread. The owner keeps
// it alive until the transfer thread has been joined.
struct FrameReadRequest {
  DeviceHandle* device = nullptr;
  uint32_t code = 0;
  const uint8_t* input = nullptr;
  uint32_t inputLength = 0;
  uint8_t* output = nullptr;
  uint32_t outputLength = 0;
  std::atomic<uint32_t> bytesReturned{0};
  Event* completion = nullptr;  // may be null
  std::atomic<uint32_t> result{0};
};

// The control channel to one camera: discovery, the speed test, vendor
// requests on threads of their own behind CommandGate, bulk reads and the
// pipe abort. Safe from any thread. Link failures are shown with the
// program's own message table; a fatal one (a failed fire-and-forget or
// reporting request) is shown once, then the fatal handler is called so the
// program can end, and every later or waiting request fails at once instead
// of reaching the camera.
class DeviceLink {
 public:
  DeviceLink(DeviceTransport& transport, const LinkMessages& messages);
  // Joins the request threads still running. Each request ends within the
  // transport's control time-out, so queued ones take at most that long
  // each.
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  // Joins every request thread, waiting for those still running (each ends
  // within the control time-out, or once its message has been answered).
  // Not from a request thread.
  void WaitIdle();
  DeviceLink& operator=(const DeviceLink&) = delete;

  // The window that owns the link's messages (may be null).
  void SetOwner(const void* owner);
  // Called once, on the thread that met the first fatal failure, after its
  // message.
  void SetFatalHandler(std::function<void()> handler);

  std::unique_ptr<DeviceHandle> OpenDevice(std::string_view name) const;
  // Opens the camera that discovery chose.
  std::unique_ptr<DeviceHandle> OpenDevice() const;

  // Opens `name` from now on, for a program whose user chose the camera
  // instead of taking discovery's pick.
  void UseDevice(std::string_view name);

  // Tries RD-420-0 .. RD-420-31; the highest that opens wins. When none
  // opens, shows "no device" and returns false.
  bool DiscoverDevice(bool reportMissing = true);

  // 1 when pipe 1's maximum packet size is 512 (USB 2.0 high speed), else 0.
  // A device that does not open shows the speed-test message, owned by
  // `owner`, and counts as fatal.
  int QueryHighSpeed(const void* owner);

  // Sends the word on a request thread and returns at once; the reply is
  // dropped.
  void PostCommand(uint32_t word);
  // Sends the word and waits for its reply; nothing after a failure, which
  // is fatal. A stop request ends the wait at once with nothing; a request
  // already sent goes on, within the control time-out, on its thread, and
  // one not yet sent is dropped, so it cannot follow the caller's next.
  std::optional<uint32_t> SendCommand(uint32_t word, std::stop_token stop = {});
  // As SendCommand, but a failure only clears g_Link_Ok and returns the
  // previous reply unchanged.
  uint32_t SendCommandQuiet(uint32_t word);

  // Runs request's I/O-control on a new transfer thread, stores the result
  // and signals the completion event. The caller joins the thread before
  // letting the request go (abort the pipe first if the read may hang).
  std::thread StartRead(FrameReadRequest& request);

  // Aborts pipe 1 through a fresh handle, ending every bulk read pending on
  // the camera.
  void AbortPipe();

  // Shows the program's message for `failure` with the warning icon, in the
  // words for a refusal when rd420d turned the last request away.
  void ShowFailure(LinkFailure failure, const void* owner) const;
  // The same, owned by the link's owner window.
  void ShowFailure(LinkFailure failure) const { ShowFailure(failure, Owner()); }

  std::string DeviceName() const;
  uint32_t ReplyWord() const { return g_Reply_Word.load(); }
  // The last word handed to the driver, for trace lines.
  uint32_t CommandWord() const { return g_Command_Word.load(); }
  bool HighSpeedLink() const { return g_HighSpeed_Link.load() != 0; }
  bool LinkOk() const { return g_Link_Ok.load() != 0; }
  // The last vendor request got no answer within the control time-out:
  // the daemon is stopped or hung, rather than the camera gone.
  bool NoAnswer() const { return noAnswer_.load(); }
  bool Failed() const { return linkFailed_.load(); }
  // rd420d turned the last request that did not succeed away (too many
  // connections open): the camera may be fine.
  bool Refused() const { return refused_.load(); }

 private:
  enum class Variant { kPost, kSend, kQuiet };
  struct CommandRequest;

  void RunRequest(Variant variant, const std::shared_ptr<CommandRequest>& request);
  void FailFatally(LinkFailure failure, const void* owner);
  // Remembers whether rd420d turned a request away, until one succeeds.
  void NoteRefusal(const IoctlResult& result);
  const void* Owner() const;
  template <typename Body>
  void StartTracked(Body body);

  DeviceTransport& transport_;
  const LinkMessages& messages_;

  mutable std::mutex mutex_;  // guards g_DeviceName, owner_, fatalHandler_
  std::string g_DeviceName;
  const void* owner_ = nullptr;
  std::function<void()> fatalHandler_;

  // Lets one vendor request at a time reach the driver, whichever thread
  // asked for it.
  AutoResetEvent CommandGate{true};
  std::atomic<uint32_t> g_Command_Word{0};
  std::atomic<uint32_t> g_Reply_Word{0};
  std::atomic<uint32_t> g_HighSpeed_Link{0};
  std::atomic<uint32_t> g_Link_Ok{1};
  std::atomic<bool> linkFailed_{false};
  std::atomic<bool> noAnswer_{false};
  std::atomic<bool> fatalReported_{false};
  std::atomic<bool> refused_{false};

  // A request's thread, joined by the next request started after it
  // finished, or by WaitIdle (the link's destructor at the latest).
  struct RequestThread {
    std::thread thread;
    bool finished = false;  // guarded by threadsMutex_
  };
  // Takes the threads whose requests have finished out of the list (all of
  // them with `all`) and joins them.
  void JoinThreads(bool all);

  std::mutex threadsMutex_;
  std::list<RequestThread> threads_;  // stable nodes: each thread marks its own
};

}  // namespace rd420
