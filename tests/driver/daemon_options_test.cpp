#include "driver/daemon_options.h"

#include <gtest/gtest.h>

namespace rd420 {
namespace {

bool Parse(std::vector<const char*> args, DaemonOptions& options, std::string& error) {
  args.insert(args.begin(), "rd420d");
  return ParseDaemonOptions(static_cast<int>(args.size()), args.data(), options, error);
}

// Catches: simulator options dropped or misread on their way to the camera.
TEST(DaemonOptions, EveryOptionReachesTheCamera) {
  DaemonOptions options;
  std::string error;
  ASSERT_TRUE(Parse(
      {"--simulate", "--dir", "/tmp/x", "--instances", "3,0,3", "--aspect", "16:9", "--variant",
       "1", "--busy-polls", "250", "--full-speed", "--fps", "22.61", "--functions-inactive"},
      options, error))
      << error;
  EXPECT_EQ(options.directory, "/tmp/x");
  EXPECT_EQ(options.instances, (std::vector<int>{0, 3}));
  EXPECT_TRUE(options.camera.aspect169);
  EXPECT_TRUE(options.camera.variant);
  EXPECT_EQ(options.camera.busyPolls, 250);
  EXPECT_TRUE(options.camera.fullSpeed);
  EXPECT_DOUBLE_EQ(options.camera.fps, 22.61);
  EXPECT_TRUE(options.camera.functionsInactive);
}

// Catches: the camera's ids misread (decimal, or vendor and product
// swapped).
TEST(DaemonOptions, UsbTakesHexadecimalIds) {
  DaemonOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--usb", "0a5c:21E8"}, options, error)) << error;
  EXPECT_FALSE(options.simulate);
  EXPECT_EQ(options.usbVendorId, 0x0a5c);
  EXPECT_EQ(options.usbProductId, 0x21e8);
}

// Catches: a recording or a replay asked for and not made.
TEST(DaemonOptions, RecordAndReplayReachTheUsbBackEnd) {
  DaemonOptions record;
  std::string error;
  ASSERT_TRUE(
      Parse({"--usb", "0a5c:21e8", "--record", "s.txt", "--record-headers-only"}, record, error))
      << error;
  EXPECT_EQ(record.recordPath, "s.txt");
  EXPECT_TRUE(record.recordHeadersOnly);
  DaemonOptions replay;
  ASSERT_TRUE(Parse({"--replay", "s.txt"}, replay, error)) << error;
  EXPECT_FALSE(replay.simulate);
  EXPECT_EQ(replay.replayPath, "s.txt");
}

// Catches: the --name=value form refused, or a second parse in the same
// process that starts where the first one ended.
TEST(DaemonOptions, ValuesAfterAnEqualsSignAndRepeatedParses) {
  for (int parse = 0; parse < 2; ++parse) {
    DaemonOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--dir=/tmp/y", "--fps=15", "--simulate"}, options, error)) << error;
    EXPECT_EQ(options.directory, "/tmp/y");
    EXPECT_DOUBLE_EQ(options.camera.fps, 15);
  }
}

// Catches: a bad command line accepted, or refused without saying why.
TEST(DaemonOptions, MistakesAreRefusedWithAReason) {
  for (std::vector<const char*> bad :
       std::vector<std::vector<const char*>>{{"--instances", "32"},
                                             {"--instances", "1,,2"},
                                             {"--aspect", "3:2"},
                                             {"--variant", "2"},
                                             {"--busy-polls", "-1"},
                                             {"--fps", "nan"},
                                             {"--dir"},
                                             {"--colour"},
                                             {"--usb", "0a5c"},
                                             {"--usb", "a5c:21e8"},
                                             {"--usb", "0a5c:21g8"},
                                             {"--record", "s.txt"},
                                             {"--usb", "0a5c:21e8", "--record-headers-only"},
                                             {"--replay", "s.txt", "--usb", "0a5c:21e8"}}) {
    DaemonOptions options;
    std::string error;
    EXPECT_FALSE(Parse(bad, options, error)) << bad[0];
    EXPECT_FALSE(error.empty()) << bad[0];
  }
}

}  // namespace
}  // namespace rd420
