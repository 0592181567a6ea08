// rd420ctl: a terminal tool for the camera: list the device nodes, decode
// the status word, send command words, show the pipes, run the ready-wait.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "devlink/camera_ready.h"
#include "devlink/camera_status.h"
#include "devlink/command_words.h"
#include "devlink/device_directory.h"
#include "devlink/device_link.h"
#include "devlink/device_records.h"
#include "devlink/ioctl_codes.h"
#include "devlink/socket_transport.h"
#include "devlink/status_word.h"
#include "platform/message.h"
#include "tools/console_messages.h"

namespace {

constexpr char kUsage[] =
    "usage: rd420ctl [--dir DIR] COMMAND\n"
    "  list          the device nodes that open, and the one discovery picks\n"
    "  status        poll the status word (0x00610000) and decode it\n"
    "  send WORD     send a command word (hex 0x... or decimal), print the reply\n"
    "  pipes         print the interface-information record\n"
    "  wait-ready    wait until the camera has started (up to 300 polls)\n";

int Fail(const std::string& line) {
  std::fprintf(stderr, "rd420ctl: %s\n", line.c_str());
  return 1;
}

int List(rd420::SocketTransport& transport, rd420::DeviceLink& link) {
  for (int n = 0; n < rd420::kMaxDeviceInstances; ++n) {
    const std::string name = rd420::DeviceName(n);
    if (transport.Open(name) != nullptr) {
      std::printf("%s  opens\n", name.c_str());
    }
  }
  if (!link.DiscoverDevice()) {
    return 1;
  }
  std::printf("discovery picks %s\n", link.DeviceName().c_str());
  return 0;
}

int Status(rd420::DeviceLink& link) {
  const std::optional<uint32_t> word = link.SendCommand(rd420::kPollStatus);
  if (!word) {
    return 1;
  }
  std::printf("status 0x%08X\n", *word);
  for (const std::string& line : rd420::DescribeStatus(*word)) {
    std::printf("  %s\n", line.c_str());
  }
  return 0;
}

int Send(rd420::DeviceLink& link, std::string_view text) {
  const std::optional<uint32_t> word = rd420::ParseWord(text);
  if (!word) {
    return Fail("not a command word: " + std::string(text) + " (use hex 0x... or decimal)");
  }
  const std::optional<uint32_t> reply = link.SendCommand(*word);
  if (!reply) {
    return 1;
  }
  std::printf("sent 0x%08X, reply 0x%08X\n", *word, *reply);
  return 0;
}

int Pipes(rd420::DeviceLink& link) {
  std::unique_ptr<rd420::DeviceHandle> device = link.OpenDevice();
  if (device == nullptr) {
    return Fail("cannot open " + link.DeviceName());
  }
  std::vector<uint8_t> record(rd420::kPipeInformationBufferBytes);
  const rd420::IoctlResult result = device->Ioctl(rd420::kIoctlGetPipeInformation, {}, record);
  const auto info = rd420::DecodeInterfaceInformation(
      std::span<const uint8_t>(record).first(result.ok ? result.bytesReturned : 0));
  if (!result.ok || !info) {
    return Fail("the pipe-information request failed");
  }
  std::printf("interface %u alternate %u class 0x%02X, %zu pipes\n", info->interfaceNumber,
              info->alternateSetting, info->interfaceClass, info->pipes.size());
  static const char* const kTypes[] = {"control", "isochronous", "bulk", "interrupt"};
  for (size_t i = 0; i < info->pipes.size(); ++i) {
    const rd420::PipeInformation& pipe = info->pipes[i];
    std::printf("  pipe %zu: endpoint 0x%02X %s %s, max packet %u, max transfer %u\n", i,
                pipe.endpointAddress, (pipe.endpointAddress & 0x80) != 0 ? "IN" : "OUT",
                pipe.pipeType < 4 ? kTypes[pipe.pipeType] : "unknown", pipe.maximumPacketSize,
                pipe.maximumTransferSize);
  }
  std::printf("link: %s\n", link.QueryHighSpeed(nullptr) == 1 ? "USB 2.0 high speed"
                                                              : "not high speed (USB 1.1)");
  return 0;
}

int WaitReady(rd420::DeviceLink& link) {
  rd420::CameraStatus status;
  if (!rd420::WaitCameraReady(link, status)) {
    link.ShowFailure(rd420::LinkFailure::kNotReady, nullptr);
    return 1;
  }
  std::printf("ready: aspect %s, model variant %u\n", status.g_Aspect_43 ? "4:3" : "16:9",
              unsigned{status.g_Model_Variant});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory = rd420::DefaultDeviceDirectory();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--dir") {
    directory = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  rd420::SetMessageSink([](const void*, const rd420::Message& message) {
    std::string text = message.text;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::fprintf(stderr, "rd420ctl: %s: %s\n", message.caption.c_str(), text.c_str());
  });

  rd420::SocketTransport transport(directory);
  rd420::DeviceLink link(transport, rd420::tools::ConsoleLinkMessages());
  const std::string_view command = args[0];
  const size_t wanted = command == "send" ? 2 : 1;
  if (args.size() != wanted) {
    return Fail(command == "send" ? "send needs one command word" : "unexpected arguments");
  }
  if (command == "list") {
    return List(transport, link);
  }
  if (command != "status" && command != "send" && command != "pipes" && command != "wait-ready") {
    std::fprintf(stderr, "rd420ctl: unknown command %s\n%s", std::string(command).c_str(), kUsage);
    return 2;
  }
  if (!link.DiscoverDevice()) {
    return 1;
  }
  if (command == "status") {
    return Status(link);
  }
  if (command == "send") {
    return Send(link, args[1]);
  }
  if (command == "pipes") {
    return Pipes(link);
  }
  return WaitReady(link);
}
