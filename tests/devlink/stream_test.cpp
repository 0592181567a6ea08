// The streaming pipeline against the simulated camera served in-process,
// with the camera's request log and an instrumented host.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "devlink/socket_transport.h"
#include "devlink/stream_pipeline.h"
#include "platform/message.h"
#include "recording_camera.h"
#include "support/link_texts.h"
#include "support/served_camera.h"

namespace rd420::test {
namespace {

using namespace std::chrono_literals;
using Kind = RecordingCamera::Kind;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

size_t ThreadCount() {
  size_t count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) {
      count += entry->d_name[0] != '.';
    }
    closedir(tasks);
  }
  return count;
}

// The socket transport, with one chosen open made to fail.
class FlakyTransport : public DeviceTransport {
 public:
  explicit FlakyTransport(std::string directory) : sockets_(std::move(directory)) {}
  // The n-th open from now fails.
  void FailOpenNumber(int n) { opensUntilFailure_ = n; }
  std::unique_ptr<DeviceHandle> Open(std::string_view name) override {
    if (opensUntilFailure_.fetch_sub(1) == 1) {
      return nullptr;
    }
    return sockets_.Open(name);
  }

 private:
  SocketTransport sockets_;
  std::atomic<int> opensUntilFailure_{0};
};

// Records what the pipeline shows and when it calls back.
class RecordingHost : public StreamHost {
 public:
  struct Draw {
    int run;
    DisplaySide side;
    uint32_t sequence;
    int width;
    bool changedWhileDrawn;
  };

  void RunStarting(uint8_t) override { ++runs; }
  void DrawFrame(const DisplayedFrame& frame) override {
    const uint32_t before = sim::ReadSequenceStamp(frame.raw);
    std::this_thread::sleep_for(drawDelay);
    const uint32_t after = sim::ReadSequenceStamp(frame.raw);
    std::lock_guard lock(mutex);
    draws.push_back({runs, frame.side, before, frame.bitmap.Geometry().width, before != after});
  }
  void HandleStatus() override { ++statusRuns; }
  bool StartStill(Event& stillReady) override {
    if (onStill) {
      onStill();
    }
    ++stills;
    stillReady.Set();
    return true;
  }
  void LayOut(uint8_t mode) override {
    layouts.push_back(mode);
    if (onLayOut) {
      onLayOut();
    }
  }
  void EndProgram() override { ++endCalls; }
  void StreamOpenFailed() override { ++openFailures; }

  std::vector<Draw> Draws() {
    std::lock_guard lock(mutex);
    return draws;
  }
  size_t DrawCount() {
    std::lock_guard lock(mutex);
    return draws.size();
  }

  std::mutex mutex;
  std::vector<Draw> draws;
  std::chrono::milliseconds drawDelay{0};
  std::atomic<int> runs{0};
  std::atomic<int> statusRuns{0};
  std::atomic<int> stills{0};
  std::atomic<int> endCalls{0};
  std::atomic<int> openFailures{0};
  std::vector<uint8_t> layouts;  // StreamThread only, read after Shutdown
  std::function<void()> onStill;
  std::function<void()> onLayOut;
};

class StreamTest : public ::testing::Test {
 protected:
  void Start(StreamTimings timings = {}, double fps = 250) {
    sim::CameraOptions options;
    options.fps = fps;
    auto camera = std::make_unique<RecordingCamera>(options);
    camera_ = camera.get();
    served_ = std::make_unique<ServedCamera>(std::move(camera));
    transport_ = std::make_unique<FlakyTransport>(served_->Directory());
    link_ = std::make_unique<DeviceLink>(*transport_, TestLinkMessages());
    link_->SetFatalHandler([this] { ++fatalCalls_; });
    ASSERT_TRUE(link_->DiscoverDevice());
    baselineThreads_ = ThreadCount();
    pipeline_ = std::make_unique<StreamPipeline>(*link_, status_, commands_, host_, timings);
  }

  void TearDown() override {
    pipeline_.reset();
    link_.reset();
    transport_.reset();
    served_.reset();
  }

  const StreamFlags& flags() { return pipeline_->Flags(); }
  bool WaitForDraws(size_t count) {
    return WaitUntil([&] { return host_.DrawCount() >= count; });
  }
  // After Shutdown: every thread the run started has gone.
  void ExpectNoThreadLeft() {
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= baselineThreads_; }, 5s))
        << ThreadCount() << " threads, " << baselineThreads_ << " before the pipeline";
  }

  MessageRecorder messages_;
  RecordingHost host_;
  CameraStatus status_;
  CommandQueue commands_;
  RecordingCamera* camera_ = nullptr;
  std::unique_ptr<ServedCamera> served_;
  std::unique_ptr<FlakyTransport> transport_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<StreamPipeline> pipeline_;
  std::atomic<int> fatalCalls_{0};
  size_t baselineThreads_ = 0;
};

// Each run's draws go A, B, A, B with consecutive camera frames, none of
// them changed while it was being drawn.
void ExpectOrderedDraws(const std::vector<RecordingHost::Draw>& draws) {
  ASSERT_FALSE(draws.empty());
  for (size_t i = 0; i < draws.size(); ++i) {
    EXPECT_FALSE(draws[i].changedWhileDrawn) << "frame " << draws[i].sequence;
    const bool firstOfRun = i == 0 || draws[i].run != draws[i - 1].run;
    if (firstOfRun) {
      EXPECT_EQ(draws[i].side, DisplaySide::kA) << "draw " << i;
      continue;
    }
    EXPECT_NE(draws[i].side, draws[i - 1].side) << "draw " << i;
    EXPECT_EQ(draws[i].sequence, draws[i - 1].sequence + 1) << "draw " << i;
  }
}

class StreamOrderTest : public StreamTest, public ::testing::WithParamInterface<int> {};

// Catches: overlapping reads, a buffer read into while it is drawn, display
// B overtaking display A, a missing or extra vendor request per cycle, and
// the resolution word sent late or twice. Run with a fast and a slow
// display, so both the readers and the displays get to be the bottleneck.
TEST_P(StreamOrderTest, ReadsAlternateAndEachCarriesOnePoll) {
  host_.drawDelay = std::chrono::milliseconds(GetParam());
  Start();
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(40));
  pipeline_->Shutdown();

  ExpectOrderedDraws(host_.Draws());
  EXPECT_EQ(host_.Draws().front().width, 640);
  EXPECT_EQ(camera_->MaxReadsAtOnce(), 1);
  const std::vector<RecordingCamera::Entry> log = camera_->Log();
  ASSERT_EQ(log.front().kind, Kind::kVendor);
  EXPECT_EQ(log.front().value, 0x00310001u);
  for (const auto& entry : log) {
    if (entry.kind == Kind::kReadEnd) {
      EXPECT_EQ(entry.bytes, 614400u);
    }
  }
  std::vector<uint32_t> polls = camera_->VendorWords();
  polls.erase(polls.begin());
  ASSERT_FALSE(polls.empty());
  for (size_t i = 0; i < polls.size(); ++i) {
    ASSERT_EQ(polls[i], i % 2 == 0 ? 0x00610000u : 0x00620000u) << "request " << i;
  }
  const size_t reads = camera_->Count(Kind::kReadStart);
  EXPECT_EQ(polls.size(), reads);
  EXPECT_EQ(status_.g_Normal_Status >> 16, 0x6180u);
  EXPECT_TRUE(WaitUntil([&] { return host_.statusRuns > 0; }));
  EXPECT_TRUE(pipeline_->StreamEnded().Wait(0));
  EXPECT_TRUE(messages_.Messages().empty());
  ExpectNoThreadLeft();
}

INSTANTIATE_TEST_SUITE_P(DrawDelayMs, StreamOrderTest, ::testing::Values(0, 15));

// Catches: a queued command lost while no run was active or sent beside a
// poll, and overlay flags that do not switch the readers' polls.
TEST_F(StreamTest, QueuedCommandAndOverlayPollsTakeTheirReadersTurn) {
  Start();
  commands_.QueueCommand(0x00030005);  // lamp on, queued before the run
  pipeline_->Controls().g_Zoom_Osd = 1;
  pipeline_->Controls().g_Brightness_Osd = 1;
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(10));
  pipeline_->Shutdown();

  const std::vector<uint32_t> words = camera_->VendorWords();
  ASSERT_GE(words.size(), 4u);
  EXPECT_EQ(words[0], 0x00310001u);
  EXPECT_EQ(words[1], 0x00030005u) << "reader A's first cycle posts the queued word";
  for (size_t i = 2; i < words.size(); ++i) {
    EXPECT_EQ(words[i], i % 2 == 0 ? 0x00650000u : 0x00690000u) << "request " << i;
  }
  EXPECT_EQ(status_.g_Zoom_Status >> 16, 0x0069u);
  EXPECT_EQ(status_.g_Bright_Status >> 16, 0x0065u);
  EXPECT_EQ(status_.g_Normal_Status, 0u) << "no plain status poll was due";
}

// Catches: SafeMode's pause missing from a cycle.
TEST_F(StreamTest, SafeModeSpacesReadsAtLeast75Ms) {
  Start({}, 0);
  pipeline_->Controls().SafeMode = 1;
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(5));
  pipeline_->Shutdown();
  std::vector<std::chrono::steady_clock::time_point> starts;
  for (const auto& entry : camera_->Log()) {
    if (entry.kind == Kind::kReadStart) {
      starts.push_back(entry.at);
    }
  }
  ASSERT_GE(starts.size(), 5u);
  for (size_t i = 1; i < starts.size(); ++i) {
    EXPECT_GE(starts[i] - starts[i - 1], 75ms) << "read " << i;
  }
}

// Catches: a thread left behind or blocked by a stop, a restart that keeps
// the old resolution, a still thread started while a read is in flight,
// and two runs reading at once when a run starts before the last has ended.
TEST_F(StreamTest, StopRestartAndFreezeCyclesLeaveNothingBehind) {
  Start();
  host_.onStill = [this] {
    EXPECT_EQ(camera_->ReadsNow(), 0);
    EXPECT_EQ(flags().g_ReaderB_On, 0u);
    EXPECT_EQ(flags().g_DisplayA_On, 0u);
    EXPECT_EQ(flags().g_Capture_Started, 1u);
  };
  ASSERT_TRUE(pipeline_->StartRun());
  int expectedStills = 0;
  for (int cycle = 0; cycle < 12; ++cycle) {
    const size_t drawn = host_.DrawCount();
    ASSERT_TRUE(WaitForDraws(drawn + 4)) << "cycle " << cycle;
    switch (cycle % 4) {
      case 0:  // freeze, then resume
        pipeline_->CaptureToggle();
        ++expectedStills;
        ASSERT_TRUE(WaitUntil([&] { return host_.stills == expectedStills; }));
        pipeline_->CaptureToggle();
        break;
      case 1:  // to the 1:1 window and back to half, through a restart each
      case 2: {
        const uint8_t mode = cycle % 4 == 1 ? kModeOneToOne : kModeHalf;
        pipeline_->RequestRestart(mode);
        const int width = mode == kModeOneToOne ? 1280 : 640;
        ASSERT_TRUE(WaitUntil([&] { return host_.Draws().back().width == width; }));
        break;
      }
      case 3:  // stop and start at once, before the old run has ended
        pipeline_->StopRun();
        ASSERT_TRUE(pipeline_->StartRun());
        break;
    }
  }
  pipeline_->Shutdown();

  ExpectOrderedDraws(host_.Draws());
  EXPECT_EQ(camera_->MaxReadsAtOnce(), 1);
  EXPECT_EQ(host_.layouts, std::vector<uint8_t>({1, 2, 1, 2, 1, 2}));
  EXPECT_EQ(host_.stills, 3);
  EXPECT_TRUE(messages_.Messages().empty());
  EXPECT_TRUE(pipeline_->StreamEnded().Wait(0));
  ExpectNoThreadLeft();
}

// Catches: an exit that lands while a run restarts in another mode, after
// which the restart started a run that nobody stops.
TEST_F(StreamTest, ExitDuringARestartStartsNoRun) {
  Start();
  host_.onLayOut = [this] { pipeline_->RequestExit(); };
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(2));
  pipeline_->RequestRestart(kModeOneToOne);
  ASSERT_TRUE(pipeline_->StreamEnded().Wait(10000));

  EXPECT_EQ(flags().g_Stream_Run, 0u);
  EXPECT_FALSE(pipeline_->StartRun());
  pipeline_->Shutdown();
  EXPECT_EQ(host_.runs, 1);
  EXPECT_EQ(host_.layouts, std::vector<uint8_t>{kModeOneToOne});
  ExpectNoThreadLeft();
}

// Catches: a read that never completes hanging the run, a missing pipe
// abort, or the failure shown more than once.
TEST_F(StreamTest, StalledReadStopsTheRunWithOneMessage) {
  StreamTimings timings;
  timings.readTimeoutMs = 300;
  Start(timings);
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(4));
  camera_->Camera().StallNextRead();
  ASSERT_TRUE(WaitUntil([&] { return host_.endCalls == 1; }));

  EXPECT_EQ(flags().g_Stream_Run, 0u);
  EXPECT_EQ(flags().g_Usb_Error, 1u);
  EXPECT_GE(camera_->Count(Kind::kAbort), 1u);
  pipeline_->Shutdown();
  ASSERT_EQ(messages_.Messages().size(), 1u);
  EXPECT_EQ(messages_.Messages()[0].caption, "BulkRead");
  EXPECT_EQ(messages_.Messages()[0].text,
            MessageFor(TestLinkMessages(), LinkFailure::kBulkRead).text);
  EXPECT_EQ(host_.endCalls, 1);
  ExpectNoThreadLeft();
}

// Catches: an unplug that blocks a thread for ever or tells the user (and
// the program) more than once.
TEST_F(StreamTest, UnplugEndsTheRunOnce) {
  Start();
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitForDraws(4));
  camera_->Camera().Unplug();
  ASSERT_TRUE(WaitUntil([&] { return host_.endCalls + fatalCalls_ >= 1; }));
  pipeline_->Shutdown();

  EXPECT_EQ(host_.endCalls + fatalCalls_, 1);
  const std::vector<std::string> captions = messages_.Captions();
  ASSERT_EQ(captions.size(), 1u);
  EXPECT_TRUE(captions[0] == "BulkRead" || captions[0] == "SendRequest") << captions[0];
  ExpectNoThreadLeft();
}

// Catches: a run that reads from a device it could not open, that leaves
// the run flag set so the next toggle cannot start a new run, or that does
// not tell its host (the data source asks to be closed then).
TEST_F(StreamTest, DeviceThatDoesNotOpenShowsStreamOpen) {
  Start();
  transport_->FailOpenNumber(2);  // the resolution request opens first
  ASSERT_TRUE(pipeline_->StartRun());
  ASSERT_TRUE(WaitUntil([&] { return !messages_.Messages().empty(); }));
  ASSERT_TRUE(WaitUntil([&] { return flags().g_Stream_Run == 0; }));
  EXPECT_EQ(messages_.Captions(), std::vector<std::string>{"StreamOpen"});

  pipeline_->CaptureToggle();  // the next toggle tries again, and streams
  ASSERT_TRUE(WaitForDraws(2));
  pipeline_->Shutdown();
  EXPECT_EQ(messages_.Messages().size(), 1u);
  EXPECT_EQ(host_.endCalls, 0);
  EXPECT_EQ(host_.openFailures, 1);
  EXPECT_EQ(fatalCalls_, 0);
  EXPECT_EQ(camera_->Count(Kind::kReadStart), camera_->Count(Kind::kReadEnd));
  ExpectNoThreadLeft();
}

}  // namespace
}  // namespace rd420::test
