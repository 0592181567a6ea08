#include "driver/control_command.h"

#include <gtest/gtest.h>

#include "wire/command_words.h"

namespace rd420::sim {
namespace {

// Catches: control lines misread, or nonsense accepted as a command.
TEST(ControlCommand, ParsesEachCommandAndRejectsNonsense) {
  using Kind = ControlCommand::Kind;
  auto parse = [](const char* line) { return ParseControlCommand(line); };
  EXPECT_EQ(parse("unplug")->kind, Kind::kUnplug);
  EXPECT_EQ(parse("plug camera=3")->camera, 3);
  EXPECT_EQ(parse("fail-vendor all")->count, -1);
  EXPECT_EQ(parse("fail-vendor 2")->count, 2);
  EXPECT_EQ(parse("fail-vendor off")->count, 0);
  EXPECT_TRUE(parse("aspect 16:9")->flag);
  EXPECT_FALSE(parse("aspect 4:3")->flag);
  EXPECT_EQ(parse("busy-polls 300")->count, 300);
  EXPECT_EQ(parse("force-status 0x00000000")->word, 0u);
  EXPECT_FALSE(parse("force-status off")->word.has_value());
  EXPECT_EQ(parse("fps 0")->fps, 0);
  EXPECT_EQ(parse("fps default")->fps, -1);
  EXPECT_EQ(parse("fps 22.61")->fps, 22.61);
  EXPECT_EQ(parse("  state  \r")->kind, Kind::kState);
  EXPECT_EQ(parse("short-frames 512")->count, 512);
  EXPECT_EQ(parse("wrong-size-frame")->kind, Kind::kWrongSizeFrame);
  EXPECT_EQ(parse("drop-commands all")->count, -1);
  EXPECT_EQ(parse("stuck-bit 21")->count, 21);
  EXPECT_EQ(parse("stuck-bit off")->count, -1);
  EXPECT_EQ(parse("slow-status 50")->count, 50);

  for (const char* bad :
       {"", "zoom", "unplug now", "aspect 5:4", "busy-polls -1", "fps fast",
        "force-status 0x1FFFFFFFF", "state camera=x", "fail-vendor", "fps nan", "fps inf",
        "fps 1e-300", "fps 0.05", "fps 1001", "stuck-bit 32", "short-frames all", "slow-status"}) {
    EXPECT_FALSE(parse(bad).has_value()) << bad;
  }
}

// Catches: command words typed by a person misread.
TEST(ParseWord, HexAndDecimal) {
  EXPECT_EQ(ParseWord("0x00260005"), 0x00260005u);
  EXPECT_EQ(ParseWord("0X2F0005"), 0x002F0005u);
  EXPECT_EQ(ParseWord("6356992"), 0x00610000u);
  EXPECT_FALSE(ParseWord("0x").has_value());
  EXPECT_FALSE(ParseWord("12ab").has_value());
  EXPECT_FALSE(ParseWord("4294967296").has_value());
}

}  // namespace
}  // namespace rd420::sim
