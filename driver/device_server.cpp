#include "driver/device_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devlink/device_directory.h"
#include "devlink/wire_protocol.h"
#include "platform/socket_io.h"

namespace rd420 {

namespace {

constexpr size_t kMaxControlLine = 1024;

// Ends a refused connection so the client reads the reply and then a clean
// end of stream: input left unread at close would reset the connection
// instead. Reads at most one request's worth, briefly.
void CloseAfterDraining(int fd) {
  ::shutdown(fd, SHUT_WR);
  SetReceiveTimeout(fd, 100);
  uint8_t sink[4096];
  size_t drained = 0;
  ssize_t n;
  while (drained <= wire::kMaxInputBytes && (n = ::recv(fd, sink, sizeof sink, 0)) > 0) {
    drained += static_cast<size_t>(n);
  }
}

}  // namespace

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
  if (shutDown_) {
    return;
  }
  shutDown_ = true;
  for (auto& [instance, node] : nodes_) {
    node.camera->Shutdown();
  }
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto& connection : connections_) {
      // Wakes a connection thread blocked in a receive.
      ::shutdown(connection->fd.Get(), SHUT_RDWR);
    }
  }
  for (auto& connection : connections_) {
    connection->thread.join();
  }
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
  Wake();  // the accept loop polls the new node from now on
  return true;
}

bool DeviceServer::Start() {
  // The folder is claimed (checked and locked) before any node in it is
  // touched, so a second daemon never replaces the first one's nodes.
  std::string error;
  directoryLock_ = ClaimDeviceDirectory(directory_, error);
  std::vector<std::string> paths = {DevicePath(directory_, kControlSocketName)};
  for (const auto& [instance, node] : nodes_) {
    paths.push_back(DevicePath(directory_, DeviceName(instance)));
  }
  for (size_t i = 0; i < paths.size() && error.empty(); ++i) {
    error = CheckNodePath(paths[i]).value_or("");
  }
  if (!error.empty()) {
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
  if (controlHandler_) {
    const std::string controlPath = DevicePath(directory_, kControlSocketName);
    control_ = ListenUnixSocket(controlPath);
    if (!control_.Valid()) {
      std::fprintf(stderr, "rd420d: cannot listen on %s: %s\n", controlPath.c_str(),
                   std::strerror(errno));
      return false;
    }
  }
  for (auto& [instance, node] : nodes_) {
    if (!OpenNode(instance)) {
      return false;
    }
  }
  return true;
}

bool DeviceServer::OpenNode(int instance) {
  const std::string path = DevicePath(directory_, DeviceName(instance));
  UniqueFd listener = ListenUnixSocket(path);
  if (!listener.Valid()) {
    std::fprintf(stderr, "rd420d: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
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

void DeviceServer::Run() {
  while (!stopping_) {
    // An invalid control descriptor (-1) is skipped by poll.
    std::vector<pollfd> fds = {{wakeRead_.Get(), POLLIN, 0}, {control_.Get(), POLLIN, 0}};
    {
      std::lock_guard lock(nodesMutex_);
      for (auto& [instance, node] : nodes_) {
        if (node.listener.Valid()) {
          fds.push_back({node.listener.Get(), POLLIN, 0});
        }
      }
    }
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
      std::perror("rd420d: poll");
      return;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      char drain[64];
      while (::read(wakeRead_.Get(), drain, sizeof drain) > 0) {
      }
    }
    if ((fds[1].revents & POLLIN) != 0) {
      Accept(control_.Get(), nullptr);
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) {
        continue;
      }
      // The node may have been unplugged since the poll set was built.
      CameraBackend* camera = nullptr;
      {
        std::lock_guard lock(nodesMutex_);
        for (auto& [instance, node] : nodes_) {
          if (node.listener.Get() == fds[i].fd) {
            camera = node.camera.get();
          }
        }
      }
      if (camera != nullptr) {
        Accept(fds[i].fd, camera);
      }
    }
    ReapFinished();
  }
}

void DeviceServer::Accept(int listenerFd, CameraBackend* camera) {
  UniqueFd fd(::accept4(listenerFd, nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.Valid()) {
    return;
  }
  auto connection = std::make_unique<Connection>();
  connection->fd = std::move(fd);
  Connection& c = *connection;
  if (camera == nullptr) {
    c.thread = std::thread([this, &c] { ServeControl(c); });
  } else {
    const uint64_t generation = camera->Generation();
    c.thread = std::thread([this, &c, camera, generation] { ServeDevice(c, *camera, generation); });
  }
  std::lock_guard lock(connectionsMutex_);
  connections_.push_back(std::move(connection));
}

void DeviceServer::ReapFinished() {
  std::lock_guard lock(connectionsMutex_);
  std::erase_if(connections_, [](std::unique_ptr<Connection>& connection) {
    if (!connection->finished) {
      return false;
    }
    connection->thread.join();
    return true;
  });
}

// Runs on the connection's own thread: one request at a time.
void DeviceServer::ServeDevice(Connection& connection, CameraBackend& camera, uint64_t generation) {
  const int fd = connection.fd.Get();
  const ClientContext client{generation, [fd] { return PeerHasGone(fd); }};
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  for (;;) {
    std::array<uint8_t, wire::kRequestHeaderBytes> headerBytes;
    if (!ReceiveAll(fd, headerBytes)) {
      break;  // the client hung up, possibly mid-request
    }
    const std::optional<wire::RequestHeader> header = wire::DecodeRequestHeader(headerBytes);
    if (!header || !wire::IsWellFormed(*header)) {
      SendAll(fd, wire::EncodeReplyHeader({0, 0}));
      CloseAfterDraining(fd);
      break;
    }
    input.resize(header->inputLength);
    if (!ReceiveAll(fd, input)) {
      break;
    }
    output.resize(header->outputLength);
    const IoctlResult result = camera.Ioctl(client, header->code, input, output);
    const uint32_t returned = std::min<uint32_t>(result.bytesReturned, header->outputLength);
    if (!SendAll(fd, wire::EncodeReplyHeader({result.ok ? 1u : 0u, returned})) ||
        !SendAll(fd, std::span<const uint8_t>(output).first(returned))) {
      break;
    }
  }
  // The peer sees the end at once; the descriptor itself goes when the
  // accept loop reaps the connection.
  ::shutdown(fd, SHUT_RDWR);
  connection.finished = true;
}

// Runs on the connection's own thread: one command line, one answer line.
void DeviceServer::ServeControl(Connection& connection) {
  const int fd = connection.fd.Get();
  std::string pending;
  char chunk[256];
  for (;;) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    pending.append(chunk, static_cast<size_t>(n));
    size_t end;
    bool ok = true;
    while (ok && (end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      const std::string answer = controlHandler_(line) + "\n";
      ok = SendAll(fd, {reinterpret_cast<const uint8_t*>(answer.data()), answer.size()});
    }
    if (!ok || pending.size() > kMaxControlLine) {
      break;
    }
  }
  // The peer sees the end at once; the descriptor itself goes when the
  // accept loop reaps the connection.
  ::shutdown(fd, SHUT_RDWR);
  connection.finished = true;
}

}  // namespace rd420
