#include <gtest/gtest.h>

#include <sstream>

#include "support/check_output.h"
#include "support/simulator_process.h"

namespace rd420::test {
namespace {

ProgramResult Check(const SimulatorProcess& simulator, const std::string& mode = "--quick") {
  return RunProgram({RD420CTL_PATH, "check", "--dir", simulator.Directory(), mode});
}

// The line of `item`, which starts with its name.
std::string ItemLine(const std::string& out, const std::string& item) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(item + " ")) {
      return line;
    }
  }
  return "";
}

// Catches: a check that fails a camera working as it should, or leaves
// the camera in another state than it found it.
TEST(Check, PassesOnTheSimulatorAndRestoresItsState) {
  SimulatorProcess simulator;
  ASSERT_TRUE(simulator.Ready());
  const ProgramResult result = Check(simulator);
  EXPECT_EQ(FailedCheckLines(result.out), std::vector<std::string>{});
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("15 items, "), std::string::npos) << result.out;
  const auto state = simulator.State();
  EXPECT_EQ(state.at("status"), "0x61802000");
  EXPECT_EQ(state.at("resolution"), "full");
}

struct Fault {
  const char* control;  // the simulator's control line, or its option
  const char* item;     // the item that must fail
};

class CheckFault : public ::testing::TestWithParam<Fault> {};

// Catches: a misbehaving camera the check lets through, or blamed on the
// wrong item.
TEST_P(CheckFault, FailsNamingTheItem) {
  const std::string control = GetParam().control;
  const bool option = control.starts_with("--");
  SimulatorProcess simulator(option ? std::vector<std::string>{control}
                                    : std::vector<std::string>{});
  ASSERT_TRUE(simulator.Ready());
  ASSERT_TRUE(option || simulator.Control(control).starts_with("ok"));
  const ProgramResult result = Check(simulator);
  EXPECT_EQ(result.exitCode, 1) << result.out;
  const std::string line = ItemLine(result.out, GetParam().item);
  EXPECT_NE(line.find(" FAIL: expected "), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Faults, CheckFault,
                         ::testing::Values(Fault{"--full-speed", "pipe information"},
                                           Fault{"short-frames 512", "frames full size"},
                                           Fault{"wrong-size-frame", "frames full size"},
                                           Fault{"stall", "frames full size"},
                                           Fault{"stuck-bit 2", "lamp"},
                                           Fault{"drop-commands all", "lamp"},
                                           Fault{"slow-status 50", "status poll time"}),
                         [](const ::testing::TestParamInfo<Fault>& param) {
                           std::string name = param.param.control;
                           name = name.substr(0, name.find(' '));
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace rd420::test
