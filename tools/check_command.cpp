#include "tools/check_command.h"

#include <getopt.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "tools/check_items.h"
#include "tools/console_messages.h"
#include "wire/device_directory.h"

namespace rd420::tools {

int Check(int argc, char** args, std::string directory) {
  static const option kOptions[] = {
      {"dir", required_argument, nullptr, 'd'},
      {"node", required_argument, nullptr, 'n'},
      {"quick", no_argument, nullptr, 'q'},
      {nullptr, 0, nullptr, 0},
  };
  std::string node;
  bool quick = false;
  optind = 0;  // afresh, after the parse of the global options
  opterr = 0;
  for (int c; (c = getopt_long(argc, args, ":", kOptions, nullptr)) != -1;) {
    if (c == 'd') {
      directory = optarg;
    } else if (c == 'n') {
      node = optarg;
    } else if (c == 'q') {
      quick = true;
    } else {
      std::fprintf(stderr, "rd420ctl: check: %s %s\n", args[optind - 1],
                   c == ':' ? "needs a value" : "is not an option of check");
      return 2;
    }
  }
  if (optind < argc) {
    std::fprintf(stderr, "rd420ctl: check: unexpected argument %s\n", args[optind]);
    return 2;
  }
  if (const std::optional<std::string> problem = CheckDeviceDirectory(directory)) {
    std::fprintf(stderr, "rd420ctl: %s\n", problem->c_str());
    return 1;
  }
  if (node.empty()) {
    SocketTransport transport(directory);
    DeviceLink link(transport, ConsoleLinkMessages());
    if (!link.DiscoverDevice()) {
      return 1;
    }
    node = link.DeviceName();
  }

  const auto start = std::chrono::steady_clock::now();
  CheckSession session(directory, node, quick);
  if (!session.Open()) {
    std::printf("open %s: FAIL: expected the node to open in %s, it did not\n", node.c_str(),
                directory.c_str());
    return 1;
  }
  std::printf("rd420ctl check%s of %s in %s\n", quick ? " --quick" : "", node.c_str(),
              directory.c_str());
  std::fflush(stdout);
  int failed = 0;
  for (const CheckItem& item : CheckItems()) {
    const ItemResult result = item.run(session);
    failed += result.ok ? 0 : 1;
    std::printf("%-20s %s: %s\n", item.name, result.ok ? "ok" : "FAIL", result.text.c_str());
    std::fflush(stdout);  // an owner watching sees each item as it ends
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu items, %zu ok, %d failed, %.1f s\n", CheckItems().size(),
              CheckItems().size() - failed, failed, seconds);
  return failed == 0 ? 0 : 1;
}

}  // namespace rd420::tools
