#include "devlink/device_link.h"

#include <system_error>

#include "platform/message.h"
#include "platform/thread.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"

namespace rd420 {

namespace {

constexpr uint16_t kHighSpeedPacketSize = 512;

IoctlResult SendPipeCommand(DeviceHandle& device, uint32_t code, std::span<uint8_t> out) {
  uint8_t pipe[kPipeIndexBytes] = {kFramePipeIndex, 0, 0, 0};
  return device.Ioctl(code, pipe, out);
}

}  // namespace

// Each request carries its own word and its own reply, so a caller storing
// a new word never changes a request not yet sent, and overlapping callers
// each get the reply to their own word.
struct DeviceLink::CommandRequest {
  explicit CommandRequest(uint32_t w) : word(w) {}
  const uint32_t word;
  uint32_t reply = 0;
  bool ok = false;
  // Set after reply and ok: a caller woken by a stop reads them only then.
  std::atomic<bool> finished{false};
  // The caller stopped waiting: a word not sent by then is not sent at all.
  std::atomic<bool> givenUp{false};
  AutoResetEvent CommandDone;
};

DeviceLink::DeviceLink(DeviceTransport& transport, const LinkMessages& messages)
    : transport_(transport), messages_(messages) {
}

DeviceLink::~DeviceLink() {
  WaitIdle();
}

void DeviceLink::WaitIdle() {
  for (;;) {
    {
      std::lock_guard lock(threadsMutex_);
      if (threads_.empty()) {
        return;
      }
    }
    JoinThreads(true);
  }
}

void DeviceLink::JoinThreads(bool all) {
  std::list<RequestThread> ended;
  {
    std::lock_guard lock(threadsMutex_);
    for (auto it = threads_.begin(); it != threads_.end();) {
      const auto next = std::next(it);
      if (all || it->finished) {
        ended.splice(ended.end(), threads_, it);
      }
      it = next;
    }
  }
  // A thread marks itself finished as its last step under the lock, so a
  // finished one is joined at once.
  for (RequestThread& request : ended) {
    request.thread.join();
  }
}

void DeviceLink::SetOwner(const void* owner) {
  std::lock_guard lock(mutex_);
  owner_ = owner;
}

void DeviceLink::SetFatalHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  fatalHandler_ = std::move(handler);
}

const void* DeviceLink::Owner() const {
  std::lock_guard lock(mutex_);
  return owner_;
}

std::string DeviceLink::DeviceName() const {
  std::lock_guard lock(mutex_);
  return g_DeviceName;
}

std::unique_ptr<DeviceHandle> DeviceLink::OpenDevice(std::string_view name) const {
  return transport_.Open(name);
}

std::unique_ptr<DeviceHandle> DeviceLink::OpenDevice() const {
  return OpenDevice(DeviceName());
}

void DeviceLink::UseDevice(std::string_view name) {
  std::lock_guard lock(mutex_);
  g_DeviceName = name;
}

bool DeviceLink::DiscoverDevice(bool reportMissing) {
  bool found = false;
  for (int n = 0; n < kMaxDeviceInstances; ++n) {
    const std::string name = rd420::DeviceName(n);
    if (OpenDevice(name) != nullptr) {
      std::lock_guard lock(mutex_);
      g_DeviceName = name;
      found = true;
    }
  }
  if (!found && reportMissing) {
    ShowFailure(LinkFailure::kNoDevice, Owner());
  }
  return found;
}

int DeviceLink::QueryHighSpeed(const void* owner) {
  std::unique_ptr<DeviceHandle> device = OpenDevice();
  if (device == nullptr) {
    g_HighSpeed_Link = 0;
    FailFatally(LinkFailure::kSpeedTestOpen, owner);
    return 0;
  }
  std::vector<uint8_t> record(kPipeInformationBufferBytes, 0);
  const IoctlResult result = device->Ioctl(kIoctlGetPipeInformation, {}, record);
  NoteRefusal(result);
  device.reset();
  // A failed request or a record too short for pipe 1 counts as full speed.
  const std::optional<InterfaceInformation> info = DecodeInterfaceInformation(
      std::span<const uint8_t>(record).first(result.ok ? result.bytesReturned : 0));
  const int highSpeed =
      info && info->pipes.size() > kFramePipeIndex &&
              info->pipes[kFramePipeIndex].maximumPacketSize == kHighSpeedPacketSize
          ? 1
          : 0;
  g_HighSpeed_Link = static_cast<uint32_t>(highSpeed);
  return highSpeed;
}

template <typename Body>
void DeviceLink::StartTracked(Body body) {
  // Threads of requests that have ended go now, so a long session keeps
  // no handles.
  JoinThreads(false);
  std::unique_lock lock(threadsMutex_);
  RequestThread& request = threads_.emplace_back();
  try {
    // Started under the lock: the thread cannot mark itself finished
    // before its handle is stored.
    request.thread = StartThread(ThreadPriority::kHighest, [this, &request, body]() mutable {
      body();
      std::lock_guard finished(threadsMutex_);
      request.finished = true;
    });
  } catch (const std::system_error&) {
    // Out of threads: the request still runs, on the caller's thread.
    threads_.pop_back();
    lock.unlock();
    body();
  }
}

void DeviceLink::PostCommand(uint32_t word) {
  auto request = std::make_shared<CommandRequest>(word);
  StartTracked([this, request] { RunRequest(Variant::kPost, request); });
}

std::optional<uint32_t> DeviceLink::SendCommand(uint32_t word, std::stop_token stop) {
  auto request = std::make_shared<CommandRequest>(word);
  StartTracked([this, request] { RunRequest(Variant::kSend, request); });
  {
    std::stop_callback wake(stop, [&request] {
      request->givenUp = true;
      request->CommandDone.Set();
    });
    request->CommandDone.Wait();
  }
  if (!request->finished || !request->ok) {
    return std::nullopt;
  }
  return request->reply;
}

uint32_t DeviceLink::SendCommandQuiet(uint32_t word) {
  auto request = std::make_shared<CommandRequest>(word);
  StartTracked([this, request] { RunRequest(Variant::kQuiet, request); });
  request->CommandDone.Wait();
  return request->reply;
}

// Runs on a request thread.
void DeviceLink::RunRequest(Variant variant, const std::shared_ptr<CommandRequest>& request) {
  CommandGate.Wait();
  // Sent now, a word its caller gave up on could land after that caller's
  // next word, which the gate may have let through first.
  const bool givenUp = request->givenUp;
  bool opened = false;
  std::optional<uint32_t> reply;
  // After a fatal failure the program is ending: nothing more is sent.
  if (!linkFailed_ && !givenUp) {
    if (std::unique_ptr<DeviceHandle> device = OpenDevice()) {
      opened = true;
      g_Command_Word = request->word;
      const VendorRecord record = EncodeVendorRecord(request->word);
      std::array<uint8_t, kVendorReplyBytes> replyBytes{};
      const IoctlResult result = device->Ioctl(kIoctlVendorRequest, record, replyBytes);
      noAnswer_ = result.noAnswer;
      NoteRefusal(result);
      if (result.ok && result.bytesReturned == kVendorReplyBytes) {
        reply = ReplyWordFromBytes(replyBytes);
      }
    }
  }
  const bool quiet = variant == Variant::kQuiet;
  const bool fatal = !reply && !quiet && !linkFailed_ && !givenUp;
  if (reply) {
    g_Reply_Word = *reply;
  } else if (quiet) {
    g_Link_Ok = 0;
  } else if (!givenUp) {
    linkFailed_ = true;
  }
  request->ok = reply.has_value();
  request->reply = reply.value_or(g_Reply_Word.load());
  request->finished = true;
  // The caller and the gate are released before the message: a message box
  // waits for the GUI thread, which may be that very caller.
  CommandGate.Set();
  request->CommandDone.Set();
  if (fatal) {
    const bool post = variant == Variant::kPost;
    FailFatally(opened ? (post ? LinkFailure::kPostRequest : LinkFailure::kSendRequest)
                       : (post ? LinkFailure::kPostOpen : LinkFailure::kSendOpen),
                Owner());
  }
}

void DeviceLink::FailFatally(LinkFailure failure, const void* owner) {
  linkFailed_ = true;
  // Only the first fatal failure speaks; the rest of the link goes quiet.
  if (fatalReported_.exchange(true)) {
    return;
  }
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = fatalHandler_;
  }
  ShowFailure(failure, owner);
  if (handler) {
    handler();
  }
}

void DeviceLink::NoteRefusal(const IoctlResult& result) {
  if (result.refused || result.ok) {
    refused_ = result.refused;
  }
}

void DeviceLink::ShowFailure(LinkFailure failure, const void* owner) const {
  const LinkMessage& message = MessageFor(messages_, failure);
  const std::string_view refusal = MessageFor(messages_, LinkFailure::kRefused).text;
  ShowMessage(owner, refused_ && !refusal.empty() ? refusal : message.text, message.caption,
              MessageIcon::kWarning);
}

std::thread DeviceLink::StartRead(FrameReadRequest& request) {
  return StartThread(ThreadPriority::kHighest, [this, &request] {
    const IoctlResult result =
        request.device == nullptr
            ? IoctlResult{}
            : request.device->Ioctl(request.code, {request.input, request.inputLength},
                                    {request.output, request.outputLength});
    NoteRefusal(result);
    request.bytesReturned = result.bytesReturned;
    request.result = result.ok ? 1 : 0;
    if (request.completion != nullptr) {
      request.completion->Set();
    }
  });
}

void DeviceLink::AbortPipe() {
  std::unique_ptr<DeviceHandle> device = OpenDevice();
  if (device != nullptr) {
    SendPipeCommand(*device, kIoctlAbortPipe, {});
  }
}

}  // namespace rd420
