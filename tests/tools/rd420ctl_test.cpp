#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "devlink/link_fixture.h"
#include "support/small_file_system.h"
#include "wire/command_words.h"
#include "wire/device_directory.h"
#include "wire/socket_io.h"

namespace rd420::test {
namespace {

ProgramResult Ctl(const SimulatorProcess& simulator, std::vector<std::string> args) {
  args.insert(args.begin(), {RD420CTL_PATH, "--dir", simulator.Directory()});
  return RunProgram(args);
}

// Catches: a status line that is not decoded for a person.
TEST_F(LinkTest, Rd420ctlStatusPrintsTheDecodedWord) {
  StartSimulator({"--aspect", "16:9"});
  const ProgramResult result = Ctl(*simulator_, {"status"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("status 0x61C02000"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("bit 22 aspect: 16:9 (1280 x 720)"), std::string::npos);
  EXPECT_NE(result.out.find("bit 13 function commands: accepted"), std::string::npos);
  EXPECT_NE(result.out.find("bit 2 lamp: off"), std::string::npos);
}

// Catches: `send` not reaching the camera or misreading hex.
TEST_F(LinkTest, Rd420ctlSendSwitchesTheLampOn) {
  StartSimulator();
  const ProgramResult result = Ctl(*simulator_, {"send", "0x00030005"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("sent 0x00030005, reply 0x00030005"), std::string::npos) << result.out;
  EXPECT_EQ(simulator_->State().at("lamp"), "1");
  EXPECT_EQ(Ctl(*simulator_, {"status"}).out.find("bit 2 lamp: on") == std::string::npos, false);
}

// Catches: list not showing every node or the discovery choice.
TEST_F(LinkTest, Rd420ctlListShowsNodesAndChoice) {
  StartSimulator({"--instances", "0,3"});
  const ProgramResult result = Ctl(*simulator_, {"list"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "RD-420-0  opens\nRD-420-3  opens\ndiscovery picks RD-420-3\n");
}

// Catches: pipes not showing the packet size a person checks first.
TEST_F(LinkTest, Rd420ctlPipesShowsFullSpeedLink) {
  StartSimulator({"--full-speed"});
  const ProgramResult result = Ctl(*simulator_, {"pipes"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("pipe 1: endpoint 0x82 IN bulk, max packet 64"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("not high speed"), std::string::npos);
}

// Catches: a snapshot a picture viewer cannot open, upside down in size
// (height and width swapped) or of the wrong resolution.
TEST_F(LinkTest, Rd420ctlSnapshotWritesABmpThatFfprobeReads) {
  StartSimulator({"--aspect", "16:9"});
  const std::string directory = MakeTempDirectory();
  const std::string path = directory + "/still.bmp";
  const ProgramResult result = Ctl(*simulator_, {"snapshot", path, "--half"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const ProgramResult probe =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                  "stream=codec_name,width,height,pix_fmt", "-of", "default=nw=1", path});
  EXPECT_EQ(probe.out, "codec_name=bmp\nwidth=640\nheight=360\npix_fmt=bgr24\n") << probe.err;
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 640 * 360 * 3);
  RemoveDirectory(directory);
}

// Catches: a snapshot that empties or deletes the picture it was to
// replace when the disk cannot take the new one, or leaves a part behind.
TEST_F(LinkTest, Rd420ctlSnapshotOnAFullDiskKeepsTheOldPicture) {
  StartSimulator();
  const SmallFileSystem disk(460 * 1024);  // half a 640 x 480 BMP
  const std::string path = disk.Folder() + "/still.bmp";
  std::ofstream(path) << "the old picture";
  const ProgramResult result =
      RunProgram({RD420CTL_PATH, "--dir", simulator_->Directory(), "snapshot", path, "--half"},
                 disk.InChild());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err.rfind("rd420ctl: cannot write " + path + ": ", 0), 0u) << result.err;
  std::ifstream old(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "the old picture");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.Folder()), {}), 1);
}

// Catches: a device node named as the target removed, or replaced by a
// file, whether the write works (a null device) or fails (a full one).
TEST_F(LinkTest, Rd420ctlSnapshotLeavesADeviceNodeInPlace) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "making a device node needs root";
  }
  StartSimulator();
  const std::string directory = MakeTempDirectory();
  struct Node {
    const char* name;
    dev_t device;
    int exitCode;
  };
  for (const Node& node : {Node{"null", makedev(1, 3), 0}, Node{"full", makedev(1, 7), 1}}) {
    const std::string path = directory + "/" + node.name;
    ASSERT_EQ(mknod(path.c_str(), S_IFCHR | 0666, node.device), 0);
    EXPECT_EQ(Ctl(*simulator_, {"snapshot", path, "--half"}).exitCode, node.exitCode) << node.name;
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << node.name << " was removed";
    EXPECT_TRUE(S_ISCHR(info.st_mode) && info.st_rdev == node.device) << node.name;
  }
  RemoveDirectory(directory);
}

// Catches: a stream report without the rate or the status words, or a
// pipeline that draws nothing.
TEST_F(LinkTest, Rd420ctlStreamReportsRateAndStatus) {
  StartSimulator();
  const ProgramResult result = Ctl(*simulator_, {"stream", "--seconds", "1", "--half"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("640x480 for "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(" frames/s\n"), std::string::npos);
  EXPECT_NE(result.out.find("status 0x61802000 on "), std::string::npos);
  EXPECT_EQ(Ctl(*simulator_, {"stream", "--seconds", "0"}).exitCode, 2);
}

// Catches: the --dir=DIR form of the option refused.
TEST_F(LinkTest, Rd420ctlTakesDirWithAnEqualsSign) {
  StartSimulator();
  const ProgramResult result =
      RunProgram({RD420CTL_PATH, "--dir=" + simulator_->Directory(), "list"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "RD-420-0  opens\ndiscovery picks RD-420-0\n");
}

// Catches: a snapshot at full size switching the camera under another
// program's half-size stream, or refused without saying what to do.
TEST_F(LinkTest, Rd420ctlSnapshotDoesNotResizeAnotherProgramsStream) {
  StartSimulator();
  ASSERT_TRUE(link_->DiscoverDevice());
  ASSERT_TRUE(link_->SendCommand(kCmdHalfResolution).has_value());
  std::unique_ptr<DeviceHandle> device = link_->OpenDevice();
  ASSERT_NE(device, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> halfFrames{0};
  std::atomic<int> otherReads{0};
  std::thread streamer([&] {
    std::vector<uint8_t> frame(kFullFrameBytes);
    const uint8_t pipe[4] = {1, 0, 0, 0};
    while (!stop) {
      const IoctlResult result = device->Ioctl(kIoctlBulkRead, pipe, frame);
      ++(result.ok && result.bytesReturned == 640 * 480 * 2 ? halfFrames : otherReads);
    }
  });
  while (halfFrames == 0 && otherReads == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string directory = MakeTempDirectory();
  const ProgramResult snapshot = Ctl(*simulator_, {"snapshot", directory + "/still.bmp", "--full"});
  stop = true;
  streamer.join();
  RemoveDirectory(directory);
  EXPECT_EQ(snapshot.exitCode, 1);
  EXPECT_EQ(snapshot.err,
            "rd420ctl: the camera is streaming at half size for another program; use --half\n");
  EXPECT_EQ(otherReads, 0);
  EXPECT_EQ(simulator_->State().at("resolution"), "half");
}

// Catches: a connection rd420d refused at its descriptor limit reported as
// a camera that stopped answering.
TEST_F(LinkTest, Rd420ctlSaysTheDaemonRefusedTheConnection) {
  StartSimulator({}, {.openFiles = 32});
  std::vector<UniqueFd> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(ConnectUnixSocket(DevicePath(simulator_->Directory(), "RD-420-0")));
  }
  const ProgramResult result = Ctl(*simulator_, {"status"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "rd420ctl: Error (AEP00004): rd420d refused the connection: it has too many "
            "connections open\n");
}

// Catches: errors that are silent, multi-line, or exit 0.
TEST(Rd420ctl, ErrorsAreOneLineAndNonZero) {
  const std::string empty = MakeTempDirectory();
  const ProgramResult none = RunProgram({RD420CTL_PATH, "--dir", empty, "status"});
  EXPECT_NE(none.exitCode, 0);
  EXPECT_EQ(std::count(none.err.begin(), none.err.end(), '\n'), 1) << none.err;
  EXPECT_NE(none.err.find("Error (AHL00001)"), std::string::npos);
  EXPECT_TRUE(none.out.empty());

  SimulatorProcess simulator;
  ASSERT_TRUE(simulator.Ready());
  const ProgramResult bad =
      RunProgram({RD420CTL_PATH, "--dir", simulator.Directory(), "send", "lamp"});
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
  RemoveDirectory(empty);
}

}  // namespace
}  // namespace rd420::test
