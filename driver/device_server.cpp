#include "driver/device_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "platform/byte_order.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/socket_io.h"
#include "wire/wire_protocol.h"

namespace rd420 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxControlLine = 1024;
// A control client that sends lines without reading the answers is not
// read further until they have gone out.
constexpr size_t kMaxControlBacklog = 64 * 1024;
// How long a refused connection's input is drained (see Drain).
constexpr auto kDrainTime = std::chrono::milliseconds(100);
// How long the listeners rest when not even a spare descriptor is left.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

// The process on the other end, so abort and resolution rules can tell one
// program's connections from another's.
pid_t PeerProcess(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    return 0;
  }
  return credentials.pid;
}

// Says why a socket node could not be made: the causes a user can fix by
// name, else the system's word for it.
void ReportListenFailure(const std::string& path, int error) {
  const std::optional<std::string> standing = error == EEXIST ? CheckNodePath(path) : std::nullopt;
  if (error == ENAMETOOLONG) {
    std::fprintf(stderr,
                 "rd420d: cannot listen on %s: the path is %zu bytes, too long for a socket name "
                 "(at most %zu); choose a shorter --dir\n",
                 path.c_str(), path.size(), SocketPathLimit());
  } else if (standing) {
    std::fprintf(stderr, "rd420d: %s\n", standing->c_str());  // never deleted
  } else {
    std::fprintf(stderr, "rd420d: cannot listen on %s: %s\n", path.c_str(), std::strerror(error));
  }
}

// Runs one request that never waits: its reply bytes, or nothing when it
// fails. `capacity` is the output length the client gave.
std::optional<std::vector<uint8_t>> Answer(CameraBackend& camera, ProcessReads& reads,
                                           const ClientContext& client, uint32_t code,
                                           std::span<const uint8_t> input, uint32_t capacity) {
  switch (code) {
    case kIoctlGetPipeInformation: {
      const std::optional<InterfaceInformation> info = camera.Pipes(client);
      std::vector<uint8_t> record =
          info ? EncodeInterfaceInformation(*info) : std::vector<uint8_t>{};
      if (!info || record.size() > std::min(capacity, kPipeInformationBufferBytes)) {
        return std::nullopt;
      }
      return record;
    }
    case kIoctlVendorRequest: {
      // A record of any other form never reaches the camera, nor does a
      // size word that would switch the size under another program's stream.
      const std::optional<uint32_t> word = DecodeVendorRecord(input);
      const std::optional<uint32_t> reply =
          word && capacity >= kVendorReplyBytes && reads.MaySend(client, *word, Clock::now())
              ? camera.Vendor(client, *word)
              : std::nullopt;
      if (!reply) {
        return std::nullopt;
      }
      reads.Sent(client, *word, Clock::now());
      const auto bytes = ReplyBytesFromWord(*reply);
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    case kIoctlAbortPipe:
      return camera.AbortPipe(client, LoadLe32(input.data()))
                 ? std::optional<std::vector<uint8_t>>(std::in_place)
                 : std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

// One client connection, owned by the loop's thread. While `transfer`
// runs, that thread alone uses `input` and `output`, and the loop leaves
// the connection alone until `transferDone`.
struct DeviceServer::Connection {
  UniqueFd fd;
  CameraBackend* camera = nullptr;  // null: a control connection
  ProcessReads* reads = nullptr;    // its camera's, for a device connection
  ClientContext client;
  // The request so far (header, then its input), or control text.
  std::vector<uint8_t> input;
  std::optional<wire::RequestHeader> header;
  // The reply (header and data) or answer lines not yet sent; released
  // once sent, so an idle connection holds no reply memory.
  std::vector<uint8_t> output;
  size_t sent = 0;
  bool drainAfterOutput = false;
  std::optional<Clock::time_point> drainUntil;
  size_t drained = 0;
  bool closed = false;
  std::thread transfer;
  std::atomic<bool> transferDone{false};
  std::optional<uint32_t> transferResult;  // the bytes the frame read delivered

  std::span<const uint8_t> RequestInput() const {
    return std::span<const uint8_t>(input).subspan(wire::kRequestHeaderBytes);
  }
  std::span<uint8_t> ReplyData() {
    return std::span<uint8_t>(output).subspan(wire::kReplyHeaderBytes);
  }
};

DeviceServer::DeviceServer(std::string directory,
                           std::map<int, std::unique_ptr<CameraBackend>> cameras)
    : directory_(std::move(directory)) {
  for (auto& [instance, camera] : cameras) {
    nodes_[instance].camera = std::move(camera);
  }
}

DeviceServer::~DeviceServer() {
  Shutdown();
}

void DeviceServer::Shutdown() {
  Stop();
  {
    std::lock_guard presence(presenceMutex_);
    if (shutDown_) {
      return;
    }
    shutDown_ = true;
  }
  for (auto& [instance, node] : nodes_) {
    node.camera->Shutdown();
  }
  for (auto& connection : connections_) {
    if (connection->transfer.joinable()) {
      // Also ends a read that checks for its client having gone.
      ::shutdown(connection->fd.Get(), SHUT_RDWR);
      connection->transfer.join();
    }
  }
  connections_.clear();
  for (auto& [instance, node] : nodes_) {
    CloseNode(instance);
  }
  if (control_.Valid()) {
    ::unlink(DevicePath(directory_, kControlSocketName).c_str());
  }
}

void DeviceServer::SetControlHandler(ControlHandler handler) {
  controlHandler_ = std::move(handler);
}

bool DeviceServer::SetNodePresent(int instance, bool present) {
  // One change at a time: a second plug between the first's check and its
  // listen would find the first's live node and fail.
  std::lock_guard presence(presenceMutex_);
  if (shutDown_) {
    return false;
  }
  if (!present) {
    CloseNode(instance);
    return true;
  }
  {
    std::lock_guard lock(nodesMutex_);
    if (nodes_.at(instance).listener.Valid()) {
      return true;
    }
  }
  if (!OpenNode(instance)) {
    return false;
  }
  Wake();  // the loop polls the new node from now on
  return true;
}

bool DeviceServer::AddCamera(int instance, std::unique_ptr<CameraBackend> camera) {
  std::lock_guard presence(presenceMutex_);
  if (shutDown_) {
    return false;
  }
  {
    std::lock_guard lock(nodesMutex_);
    if (nodes_.contains(instance)) {
      return false;
    }
    nodes_[instance].camera = std::move(camera);
  }
  if (!started_) {
    return true;  // Start opens it with the others
  }
  if (!OpenNode(instance)) {
    // Refused whole, so the caller can offer it again; the loop never saw
    // it without a listener.
    std::lock_guard lock(nodesMutex_);
    nodes_.erase(instance);
    return false;
  }
  Wake();
  return true;
}

bool DeviceServer::Start() {
  // The folder is claimed (checked and locked) before any node in it is
  // touched, so a second daemon never replaces the first one's nodes.
  std::string error;
  directoryLock_ = ClaimDeviceDirectory(directory_, error);
  if (!directoryLock_.Valid()) {
    std::fprintf(stderr, "rd420d: %s\n", error.c_str());
    return false;
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("rd420d: pipe");
    return false;
  }
  wakeRead_.Reset(pipeFds[0]);
  wakeWrite_.Reset(pipeFds[1]);
  spareFd_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (controlHandler_) {
    const std::string controlPath = DevicePath(directory_, kControlSocketName);
    control_ = ListenUnixSocket(controlPath);
    if (!control_.Valid()) {
      ReportListenFailure(controlPath, errno);
      return false;
    }
  }
  std::lock_guard presence(presenceMutex_);
  for (auto& [instance, node] : nodes_) {
    if (!OpenNode(instance)) {
      return false;
    }
  }
  started_ = true;
  return true;
}

bool DeviceServer::OpenNode(int instance) {
  const std::string path = DevicePath(directory_, DeviceName(instance));
  UniqueFd listener = ListenUnixSocket(path);
  if (!listener.Valid()) {
    ReportListenFailure(path, errno);
    return false;
  }
  std::lock_guard lock(nodesMutex_);
  nodes_[instance].listener = std::move(listener);
  return true;
}

void DeviceServer::CloseNode(int instance) {
  std::lock_guard lock(nodesMutex_);
  Node& node = nodes_[instance];
  if (node.listener.Valid()) {
    ::unlink(DevicePath(directory_, DeviceName(instance)).c_str());
    node.listener.Reset();
  }
}

void DeviceServer::Stop() {
  stopping_ = true;
  Wake();
}

void DeviceServer::Wake() {
  if (wakeWrite_.Valid()) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_.Get(), &byte, 1);
  }
}

namespace {

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
  return static_cast<int>(std::clamp<int64_t>(ms, 0, 60'000));
}

}  // namespace

void DeviceServer::Run() {
  std::vector<pollfd> fds;
  std::vector<std::pair<int, CameraBackend*>> listeners;
  while (!stopping_) {
    Clock::time_point now = Clock::now();
    if (!spareFd_.Valid()) {
      spareFd_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    const bool accepting = now >= acceptPausedUntil_;
    int timeoutMs = accepting ? -1 : MillisecondsUntil(acceptPausedUntil_, now);
    // An invalid descriptor (-1) is skipped by poll.
    fds.clear();
    fds.push_back({wakeRead_.Get(), POLLIN, 0});
    for (const auto& connection : connections_) {
      const Connection& c = *connection;
      short events = POLLIN;
      if (c.transfer.joinable()) {
        events = 0;  // its transfer thread has it; the wake pipe says when done
      } else if (c.sent < c.output.size()) {
        events = POLLOUT;
      }
      if (c.drainUntil) {
        const int left = MillisecondsUntil(*c.drainUntil, now);
        timeoutMs = timeoutMs < 0 ? left : std::min(timeoutMs, left);
      }
      fds.push_back({events == 0 ? -1 : c.fd.Get(), events, 0});
    }
    const size_t connectionCount = connections_.size();
    listeners.clear();
    listeners.emplace_back(control_.Get(), nullptr);
    {
      std::lock_guard lock(nodesMutex_);
      for (auto& [instance, node] : nodes_) {
        if (node.listener.Valid()) {
          listeners.emplace_back(node.listener.Get(), node.camera.get());
        }
      }
    }
    for (const auto& [fd, camera] : listeners) {
      fds.push_back({accepting ? fd : -1, POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
      if (errno != EINTR && errno != ENOMEM) {
        std::perror("rd420d: poll");
        return;
      }
      continue;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      char drain[64];
      while (::read(wakeRead_.Get(), drain, sizeof drain) > 0) {
      }
    }
    now = Clock::now();
    for (size_t i = 0; i < connectionCount; ++i) {
      Connection& c = *connections_[i];
      const short revents = fds[1 + i].revents;
      bool keep = true;
      try {
        if (c.transfer.joinable()) {
          if (c.transferDone.load(std::memory_order_acquire)) {
            keep = FinishTransfer(c);
          }
        } else if (c.sent < c.output.size()) {
          if (revents != 0) {
            keep = Flush(c);
          }
        } else if (revents != 0) {
          keep = OnReadable(c);
        }
      } catch (const std::bad_alloc&) {
        keep = false;  // out of memory: this connection goes, the rest stay
      }
      if (keep && c.drainUntil && now >= *c.drainUntil) {
        keep = false;
      }
      c.closed = !keep;
    }
    // Finished connections go at once, and their descriptors with them.
    std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) { return c->closed; });
    for (size_t i = 0; i < listeners.size(); ++i) {
      if ((fds[1 + connectionCount + i].revents & POLLIN) != 0) {
        Accept(listeners[i].first, listeners[i].second);
      }
    }
  }
}

void DeviceServer::Accept(int listenerFd, CameraBackend* camera) {
  // Under the lock, so an unplug on another thread cannot close the
  // listener between the poll and the accept.
  std::lock_guard lock(nodesMutex_);
  ProcessReads* reads = nullptr;
  if (camera != nullptr) {
    const auto node = std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& entry) {
      return entry.second.listener.Get() == listenerFd && entry.second.camera.get() == camera;
    });
    if (node == nodes_.end()) {
      return;  // no longer listening
    }
    reads = &node->second.reads;
  }
  // A bounded batch per turn, so the open connections are served between.
  for (int i = 0; i < 32; ++i) {
    UniqueFd fd(::accept4(listenerFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.Valid()) {
      if (errno == EMFILE || errno == ENFILE) {
        RefuseAtDescriptorLimit(listenerFd);
      } else if (errno == ENOMEM || errno == ENOBUFS) {
        acceptPausedUntil_ = Clock::now() + kAcceptPause;
      }
      return;
    }
    try {
      auto connection = std::make_unique<Connection>();
      const int raw = fd.Get();
      connection->fd = std::move(fd);
      connection->camera = camera;
      connection->reads = reads;
      if (camera != nullptr) {
        connection->client.generation = camera->Generation();
        connection->client.peerGone = [raw] { return PeerHasGone(raw); };
        connection->client.process = PeerProcess(raw);
      }
      connections_.push_back(std::move(connection));
      refusing_ = false;
    } catch (const std::bad_alloc&) {
      // No memory for one more: the newcomer is closed, the rest go on.
    }
  }
}

void DeviceServer::RefuseAtDescriptorLimit(int listenerFd) {
  if (!refusing_) {
    std::fprintf(stderr,
                 "rd420d: out of file descriptors (%zu connections open); refusing new "
                 "connections until one closes\n",
                 connections_.size());
    refusing_ = true;
  }
  // The waiting newcomer keeps the listener readable: take it with the
  // spare descriptor, tell a device client why and close it, so its client
  // hears at once and the loop does not spin.
  if (spareFd_.Valid()) {
    spareFd_.Reset();
    UniqueFd refused(::accept4(listenerFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (refused.Valid() && listenerFd != control_.Get()) {
      const auto reply = wire::EncodeReplyHeader({wire::kResultRefused, 0});
      [[maybe_unused]] const ssize_t sent =
          ::send(refused.Get(), reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    refused.Reset();
    spareFd_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  if (!spareFd_.Valid()) {
    acceptPausedUntil_ = Clock::now() + kAcceptPause;
  }
}

bool DeviceServer::OnReadable(Connection& c) {
  if (c.drainUntil) {
    // A refused request: its input is read and dropped, so the client sees
    // the reply and a clean end instead of a reset.
    uint8_t sink[4096];
    const ssize_t n = ::recv(c.fd.Get(), sink, sizeof sink, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      return true;
    }
    c.drained += n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0 && c.drained <= wire::kMaxInputBytes;
  }
  return c.camera != nullptr ? ReadDeviceRequest(c) : ReadControlLines(c);
}

// Reads what has arrived of one request and never past it: the next
// request stays in the socket until this one is answered.
bool DeviceServer::ReadDeviceRequest(Connection& c) {
  for (;;) {
    const size_t need =
        wire::kRequestHeaderBytes + (c.header ? size_t{c.header->inputLength} : size_t{0});
    if (c.header && c.input.size() == need) {
      StartRequest(c);
      return c.transfer.joinable() || Flush(c);
    }
    const size_t have = c.input.size();
    c.input.resize(need);
    const ssize_t n = ::recv(c.fd.Get(), c.input.data() + have, need - have, MSG_DONTWAIT);
    c.input.resize(have + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      return true;
    }
    if (n <= 0) {
      return false;  // the client hung up, possibly mid-request
    }
    if (!c.header && c.input.size() == wire::kRequestHeaderBytes) {
      const auto header = wire::DecodeRequestHeader(
          std::span<const uint8_t, wire::kRequestHeaderBytes>(c.input.data(), c.input.size()));
      if (!header || !wire::IsWellFormed(*header)) {
        const auto reply = wire::EncodeReplyHeader({0, 0});
        c.output.assign(reply.begin(), reply.end());
        c.sent = 0;
        c.drainAfterOutput = true;
        return Flush(c);
      }
      c.header = header;
    }
  }
}

void DeviceServer::StartRequest(Connection& c) {
  const uint32_t code = c.header->code;
  c.output.assign(wire::kReplyHeaderBytes, 0);
  if (code != kIoctlBulkRead) {
    // The other requests never wait: they run on the loop's thread.
    std::optional<std::vector<uint8_t>> reply;
    try {
      reply = Answer(*c.camera, *c.reads, c.client, code, c.RequestInput(), c.header->outputLength);
    } catch (const std::exception&) {
      reply.reset();
    }
    if (reply) {
      c.output.insert(c.output.end(), reply->begin(), reply->end());
    }
    FinishRequest(c, reply ? std::optional(static_cast<uint32_t>(reply->size())) : std::nullopt);
    return;
  }
  // A read is given at most the largest frame, whatever the client asks.
  try {
    c.output.resize(wire::kReplyHeaderBytes + std::min(c.header->outputLength, kLargestFrameBytes));
  } catch (const std::bad_alloc&) {
    FinishRequest(c, std::nullopt);
    return;
  }
  c.transferDone = false;
  try {
    c.transfer = std::thread([this, &c] {
      try {
        c.transferResult =
            c.camera->BulkRead(c.client, LoadLe32(c.RequestInput().data()), c.ReplyData());
      } catch (const std::exception&) {
        c.transferResult.reset();
      }
      c.transferDone.store(true, std::memory_order_release);
      Wake();
    });
  } catch (const std::system_error& error) {
    // No thread to spare (a user or system limit): this read fails, the
    // connection and everyone else go on.
    if (!threadsShort_) {
      std::fprintf(stderr, "rd420d: cannot start a transfer thread: %s\n", error.what());
      threadsShort_ = true;
    }
    FinishRequest(c, std::nullopt);
    return;
  }
  threadsShort_ = false;
  c.reads->ReadStarted(c.client.process);
}

// The reply data, if any, follows the header in `output` already.
void DeviceServer::FinishRequest(Connection& c, std::optional<uint32_t> returned) {
  const uint32_t bytes =
      std::min<size_t>(returned.value_or(0), c.output.size() - wire::kReplyHeaderBytes);
  c.output.resize(wire::kReplyHeaderBytes + bytes);
  const auto header = wire::EncodeReplyHeader({returned ? 1u : 0u, bytes});
  std::copy(header.begin(), header.end(), c.output.begin());
  c.sent = 0;
  c.header.reset();
  c.input.clear();
}

bool DeviceServer::FinishTransfer(Connection& c) {
  c.transfer.join();
  c.reads->ReadEnded(c.client.process, c.transferResult.has_value(), Clock::now());
  FinishRequest(c, c.transferResult);
  return Flush(c);
}

bool DeviceServer::Flush(Connection& c) {
  for (;;) {
    while (c.sent < c.output.size()) {
      const ssize_t n = ::send(c.fd.Get(), c.output.data() + c.sent, c.output.size() - c.sent,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return true;
      }
      if (n <= 0) {
        return false;
      }
      c.sent += static_cast<size_t>(n);
    }
    std::vector<uint8_t>().swap(c.output);
    c.sent = 0;
    if (c.drainAfterOutput) {
      c.drainAfterOutput = false;
      ::shutdown(c.fd.Get(), SHUT_WR);
      c.drainUntil = Clock::now() + kDrainTime;
      c.input.clear();
      return true;
    }
    // Control lines that waited for the answers to go out.
    if (c.camera != nullptr || !AnswerControlLines(c)) {
      return true;
    }
  }
}

bool DeviceServer::ReadControlLines(Connection& c) {
  char chunk[4096];
  const ssize_t n = ::recv(c.fd.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    return true;
  }
  if (n <= 0) {
    return false;
  }
  c.input.insert(c.input.end(), chunk, chunk + n);
  AnswerControlLines(c);
  return Flush(c);
}

// One answer line per command line. Returns true when answers were added.
bool DeviceServer::AnswerControlLines(Connection& c) {
  bool answered = false;
  while (c.output.size() < kMaxControlBacklog && !c.drainAfterOutput) {
    const auto newline = std::find(c.input.begin(), c.input.end(), '\n');
    if (static_cast<size_t>(newline - c.input.begin()) > kMaxControlLine) {
      const std::string error =
          "error control line longer than " + std::to_string(kMaxControlLine) + " bytes\n";
      c.output.insert(c.output.end(), error.begin(), error.end());
      c.input.clear();
      c.drainAfterOutput = true;  // the rest of the line is read and dropped
      return true;
    }
    if (newline == c.input.end()) {
      break;
    }
    const std::string line(c.input.begin(), newline);
    c.input.erase(c.input.begin(), newline + 1);
    std::string answer;
    try {
      answer = controlHandler_(line) + "\n";
    } catch (const std::exception& error) {
      answer = std::string("error ") + error.what() + "\n";
    }
    c.output.insert(c.output.end(), answer.begin(), answer.end());
    answered = true;
  }
  return answered;
}

}  // namespace rd420
