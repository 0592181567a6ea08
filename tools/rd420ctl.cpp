// rd420ctl: a terminal tool for the camera: list the device nodes, decode
// the status word, send command words, show the pipes, run the ready-wait,
// grab a still, measure streaming, record an AVI.
#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "devlink/camera_status.h"
#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "platform/message.h"
#include "tools/check_command.h"
#include "tools/console_messages.h"
#include "tools/frame_commands.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"
#include "wire/status_word.h"
#if RD420_RECORD
#include "tools/record_command.h"
#endif

namespace {

constexpr char kUsageHeader[] = "usage: rd420ctl [--dir DIR] COMMAND\n";

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
  if (!rd420::tools::WaitReady(link, status)) {
    return 1;
  }
  std::printf("ready: aspect %s, model variant %u\n", status.g_Aspect_43 ? "4:3" : "16:9",
              unsigned{status.g_Model_Variant});
  return 0;
}

struct FrameOptions {
  std::string file;
  double seconds = 0;
  rd420::Resolution resolution = rd420::Resolution::kFull;
};

// snapshot FILE [--full|--half] and stream --seconds N [--full|--half]:
// `args` starts with the command, which getopt takes for the program name.
std::optional<FrameOptions> ParseFrameOptions(std::string_view command, int argc, char** args) {
  static const option kOptions[] = {
      {"full", no_argument, nullptr, 'f'},
      {"half", no_argument, nullptr, 'a'},
      {"seconds", required_argument, nullptr, 's'},
      {nullptr, 0, nullptr, 0},
  };
  const bool stream = command == "stream";
  FrameOptions options;
  optind = 0;  // afresh, after the parse of the global options
  opterr = 0;
  for (;;) {
    const int c = getopt_long(argc, args, ":", kOptions, nullptr);
    if (c == -1) {
      break;
    }
    switch (c) {
      case 'f':
      case 'a':
        options.resolution = c == 'f' ? rd420::Resolution::kFull : rd420::Resolution::kHalf;
        break;
      case 's': {
        if (!stream) {
          Fail("unexpected argument --seconds");
          return std::nullopt;
        }
        char* end = nullptr;
        options.seconds = std::strtod(optarg, &end);
        if (end == optarg || *end != '\0' || !(options.seconds > 0 && options.seconds <= 3600)) {
          Fail(std::string("--seconds takes a number of seconds from 0 to 3600: ") + optarg);
          return std::nullopt;
        }
        break;
      }
      case ':':
        Fail(std::string(args[optind - 1]) + " needs a value");
        return std::nullopt;
      default:
        Fail("unexpected argument " + std::string(args[optind - 1]));
        return std::nullopt;
    }
  }
  const std::vector<std::string_view> operands(args + optind, args + argc);
  if (stream && !operands.empty()) {
    Fail("unexpected argument " + std::string(operands[0]));
    return std::nullopt;
  }
  if (!stream && operands.size() > 1) {
    Fail("unexpected argument " + std::string(operands[1]));
    return std::nullopt;
  }
  if (!stream && operands.empty()) {
    Fail("snapshot needs a file name");
    return std::nullopt;
  }
  if (!stream) {
    options.file = operands[0];
  }
  if (stream && options.seconds == 0) {
    Fail("stream needs --seconds N");
    return std::nullopt;
  }
  return options;
}

// What a command works on: its own words (args[0] is its name, which
// getopt takes for the program name), rd420ctl's device folder, the link,
// and what its options read.
struct Session {
  int argc = 0;
  char** args = nullptr;
  std::string directory;
  rd420::SocketTransport* transport = nullptr;
  rd420::DeviceLink* link = nullptr;
  std::vector<std::string_view> operands;  // the words after the command
  FrameOptions frame;
#if RD420_RECORD
  rd420::tools::RecordOptions record;
#endif
};

struct Command {
  std::string_view name;
  // Reads the command's words into the session; after a mistake, said on
  // standard error, the exit code. Null: the command reads its own words
  // and checks the device folder itself.
  std::optional<int> (*options)(Session& session);
  // Returns the exit code; those on the camera start with discovery (1
  // after its message when none is found).
  int (*run)(Session& session);
  const char* usage;
};

std::optional<int> NoOperands(Session& session) {
  return session.operands.empty() ? std::nullopt : std::optional(Fail("unexpected arguments"));
}

std::optional<int> FrameCommandOptions(Session& session) {
  std::optional<FrameOptions> frame =
      ParseFrameOptions(session.args[0], session.argc, session.args);
  if (!frame) {
    return 2;
  }
  session.frame = std::move(*frame);
  return std::nullopt;
}

constexpr Command kCommands[] = {
    {"list", NoOperands, [](Session& s) { return List(*s.transport, *s.link); },
     "  list          the device nodes that open, and the one discovery picks\n"},
    {"status", NoOperands,
     [](Session& s) { return s.link->DiscoverDevice() ? Status(*s.link) : 1; },
     "  status        poll the status word (0x00610000) and decode it\n"},
    {"send",
     [](Session& s) {
       return s.operands.size() == 1 ? std::nullopt
                                     : std::optional(Fail("send needs one command word"));
     },
     [](Session& s) { return s.link->DiscoverDevice() ? Send(*s.link, s.operands[0]) : 1; },
     "  send WORD     send a command word (hex 0x... or decimal), print the reply\n"},
    {"pipes", NoOperands, [](Session& s) { return s.link->DiscoverDevice() ? Pipes(*s.link) : 1; },
     "  pipes         print the interface-information record\n"},
    {"wait-ready", NoOperands,
     [](Session& s) { return s.link->DiscoverDevice() ? WaitReady(*s.link) : 1; },
     "  wait-ready    wait until the camera has started (up to 300 polls)\n"},
    {"snapshot", FrameCommandOptions,
     [](Session& s) {
       return s.link->DiscoverDevice()
                  ? rd420::tools::Snapshot(*s.link, s.frame.file, s.frame.resolution)
                  : 1;
     },
     "  snapshot FILE.bmp [--full|--half]\n"
     "                read one frame and write it as a 24-bit BMP (default full)\n"},
    {"check", nullptr, [](Session& s) { return rd420::tools::Check(s.argc, s.args, s.directory); },
     "  check [--node RD-420-n] [--quick]\n"
     "                run the conformance check on a camera: one line per item,\n"
     "                exit 0 only when every item passes; --quick in about 10 s\n"},
    {"stream", FrameCommandOptions,
     [](Session& s) {
       return s.link->DiscoverDevice()
                  ? rd420::tools::Stream(*s.link, s.frame.seconds, s.frame.resolution)
                  : 1;
     },
     "  stream --seconds N [--full|--half]\n"
     "                stream for N seconds without drawing; print frames per\n"
     "                second, frames not drawn and the status words seen\n"},
#if RD420_RECORD
    {"record",
     [](Session& s) -> std::optional<int> {
       std::string problem;
       std::optional<rd420::tools::RecordOptions> record =
           rd420::tools::ParseRecordOptions(s.argc, s.args, &problem);
       if (!record) {
         std::fprintf(stderr, "rd420ctl: %s\n", problem.c_str());
         return 2;
       }
       s.record = std::move(*record);
       return std::nullopt;
     },
     [](Session& s) {
       return s.link->DiscoverDevice() ? rd420::tools::Record(*s.link, s.record) : 1;
     },
     "  record FILE.avi --seconds N [--video none|xvid|div3] [--audio none|adpcm]\n"
     "         [--timestamp] [--caption TEXT] [--rotate]\n"
     "                record video with sound as the capture program does (default\n"
     "                xvid and adpcm); Ctrl-C stops it early\n"},
#endif
};

std::string Usage() {
  std::string usage = kUsageHeader;
  for (const Command& command : kCommands) {
    usage += command.usage;
  }
  return usage;
}

// rd420ctl's own options, before the command: its words and the device
// folder go into `session`. The exit code when there is nothing to run.
std::optional<int> ParseGlobalOptions(int argc, char** argv, Session& session) {
  static const option kOptions[] = {
      {"dir", required_argument, nullptr, 'd'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  session.directory = rd420::DefaultDeviceDirectory();
  bool help = false;
  opterr = 0;
  // "+": the global options end at the command; its own options follow it.
  for (int c; (c = getopt_long(argc, argv, "+:h", kOptions, nullptr)) != -1;) {
    if (c == 'd') {
      session.directory = optarg;
    } else if (c == 'h') {
      help = true;
    } else {
      std::fprintf(stderr,
                   c == ':' ? "rd420ctl: %s needs a value\n%s" : "rd420ctl: unknown option %s\n%s",
                   argv[optind - 1], Usage().c_str());
      return 2;
    }
  }
  if (help || optind == argc) {
    std::fputs(Usage().c_str(), help ? stdout : stderr);
    return help ? 0 : 2;
  }
  session.argc = argc - optind;
  session.args = argv + optind;
  session.operands.assign(session.args + 1, session.args + session.argc);
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Session session;
  if (const std::optional<int> done = ParseGlobalOptions(argc, argv, session)) {
    return *done;
  }
  rd420::SetMessageSink([](const void*, const rd420::Message& message) {
    std::string text = message.text;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::fprintf(stderr, "rd420ctl: %s: %s\n", message.caption.c_str(), text.c_str());
  });
  const std::string_view name = session.args[0];
  const Command* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                        [&](const Command& c) { return c.name == name; });
  if (command != std::end(kCommands) && command->options == nullptr) {
    return command->run(session);
  }
  if (const std::optional<std::string> problem = rd420::CheckDeviceDirectory(session.directory)) {
    std::fprintf(stderr, "rd420ctl: %s\n", problem->c_str());
    return 1;
  }
  if (command == std::end(kCommands)) {
    std::fprintf(stderr, "rd420ctl: unknown command %s\n%s", std::string(name).c_str(),
                 Usage().c_str());
    return 2;
  }
  rd420::SocketTransport transport(session.directory);
  rd420::DeviceLink link(transport, rd420::tools::ConsoleLinkMessages());
  session.transport = &transport;
  session.link = &link;
  if (const std::optional<int> mistake = command->options(session)) {
    return *mistake;
  }
  return command->run(session);
}
