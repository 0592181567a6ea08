#include "devlink/device_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message.h"
#include "support/link_texts.h"
#include "wire/device_records.h"
#include "wire/ioctl_codes.h"

namespace rd420 {
namespace {

using namespace std::chrono_literals;

// An in-process camera that answers every vendor request with the word it
// was sent, slowly, and notes how many requests overlap.
class EchoTransport : public DeviceTransport {
 public:
  std::unique_ptr<DeviceHandle> Open(std::string_view name) override {
    if (!present || name != "RD-420-0") {
      return nullptr;
    }
    return std::make_unique<Handle>(*this);
  }

  std::atomic<bool> present{true};
  std::atomic<bool> failRequests{false};
  std::atomic<int> inFlight{0};
  std::atomic<int> maxInFlight{0};
  std::atomic<int> requests{0};
  // While set, a request waits in the driver.
  std::atomic<bool> holding{false};
  std::vector<uint32_t> Words() {
    std::lock_guard lock(wordsMutex_);
    return words_;
  }

 private:
  struct Handle : DeviceHandle {
    explicit Handle(EchoTransport& t) : owner(t) {}
    IoctlResult Ioctl(uint32_t, std::span<const uint8_t> in, std::span<uint8_t> out) override {
      const int now = ++owner.inFlight;
      int seen = owner.maxInFlight;
      while (now > seen && !owner.maxInFlight.compare_exchange_weak(seen, now)) {
      }
      ++owner.requests;
      const auto word = DecodeVendorRecord(in);
      if (word) {
        std::lock_guard lock(owner.wordsMutex_);
        owner.words_.push_back(*word);
      }
      std::this_thread::sleep_for(1ms);
      while (owner.holding) {
        std::this_thread::sleep_for(1ms);
      }
      --owner.inFlight;
      if (owner.failRequests || !word || out.size() < 4) {
        return {};
      }
      const auto bytes = ReplyBytesFromWord(*word);
      std::copy(bytes.begin(), bytes.end(), out.begin());
      return {true, 4};
    }
    void Cancel() override {}  // its requests never block
    EchoTransport& owner;
  };
  std::mutex wordsMutex_;
  std::vector<uint32_t> words_;
};

class DeviceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link_.SetFatalHandler([this] { ++fatalCalls_; });
    ASSERT_TRUE(link_.DiscoverDevice());
  }
  EchoTransport transport_;
  DeviceLink link_{transport_, test::TestLinkMessages()};
  std::atomic<int> fatalCalls_{0};
};

// Catches: vendor requests overlapping at the driver, or a caller handed
// another caller's reply.
TEST_F(DeviceLinkTest, RequestsFromManyThreadsReachTheDriverOneAtATime) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> callers;
  for (uint32_t t = 0; t < 6; ++t) {
    callers.emplace_back([&, t] {
      for (uint32_t i = 0; i < 15; ++i) {
        const uint32_t word = (t << 16) | i;
        const auto reply = link_.SendCommand(word);
        if (!reply || *reply != word) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(transport_.maxInFlight, 1);
  EXPECT_EQ(transport_.requests, 90);
}

// The process's mapped memory in KiB, from /proc.
long MappedKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) {
      return std::stol(line.substr(7));
    }
  }
  return -1;
}

// Catches: ended request threads left unjoined until the link ends, each
// keeping its stack mapped, so a long session grows without bound.
TEST_F(DeviceLinkTest, ALongSessionKeepsNoEndedRequestThreads) {
  ASSERT_TRUE(link_.SendCommand(1));
  const long before = MappedKib();
  for (uint32_t i = 0; i < 300; ++i) {
    ASSERT_TRUE(link_.SendCommand(i));
  }
  EXPECT_LT(MappedKib() - before, 256 * 1024) << "KiB more mapped after 300 requests";
}

// Catches: a word stored after PostCommand returned changing the request
// already on its way.
TEST_F(DeviceLinkTest, EachPostedRequestCarriesItsOwnWord) {
  for (uint32_t i = 0; i < 20; ++i) {
    link_.PostCommand(0x00170000 | i);
  }
  for (int i = 0; i < 500 && transport_.requests < 20; ++i) {
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(transport_.requests, 20);
  EXPECT_EQ(transport_.maxInFlight, 1);
}

// Catches: a request whose caller stopped waiting before it went out being
// sent later anyway, after the caller's next word (a still's full-size word
// undoing the next run's half-size one, whose reads then fail).
TEST_F(DeviceLinkTest, ARequestGivenUpBeforeItIsSentIsNeverSent) {
  transport_.holding = true;
  std::thread first([&] { link_.SendCommand(0x00610000); });
  while (transport_.requests == 0) {
    std::this_thread::sleep_for(1ms);
  }
  std::stop_source stop;
  std::thread givenUp([&] { EXPECT_FALSE(link_.SendCommand(0x00310000, stop.get_token())); });
  std::this_thread::sleep_for(20ms);  // its request thread waits for the gate
  stop.request_stop();
  givenUp.join();
  transport_.holding = false;
  first.join();
  EXPECT_EQ(link_.SendCommand(0x00310001), 0x00310001u);
  link_.WaitIdle();
  EXPECT_EQ(transport_.Words(), (std::vector<uint32_t>{0x00610000, 0x00310001}));
  EXPECT_EQ(fatalCalls_, 0);
}

// Catches: a reporting request on a vanished camera that blocks its caller
// for ever or lets later requests through.
TEST_F(DeviceLinkTest, OpenFailureShowsSendOpenReleasesCallersAndSilencesTheLink) {
  transport_.present = false;
  MessageRecorder messages;
  std::vector<std::thread> callers;
  std::atomic<int> failed{0};
  for (int i = 0; i < 4; ++i) {
    callers.emplace_back([&] {
      if (!link_.SendCommand(0x00610000)) {
        ++failed;
      }
    });
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  // The callers are let go before the message, which their request thread
  // shows after them.
  link_.WaitIdle();
  EXPECT_EQ(failed, 4);
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"SendOpen"});
  EXPECT_EQ(fatalCalls_, 1);
  transport_.present = true;
  EXPECT_FALSE(link_.SendCommand(0x00610000).has_value());
  EXPECT_EQ(transport_.requests, 0);
}

// Catches: the gate or the caller held while the message waits for the GUI
// thread (the caller itself), or a fatal handler that deadlocks calling back
// into the link.
TEST_F(DeviceLinkTest, FatalMessageWaitsForNoneOfTheLinksCallers) {
  transport_.present = false;
  std::atomic<bool> callerReturned{false};
  std::atomic<bool> sinkSawCallerReturn{false};
  MessageSink previous = SetMessageSink([&](const void*, const Message&) {
    for (int i = 0; i < 2000 && !callerReturned; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    sinkSawCallerReturn = callerReturned.load();
  });
  std::optional<uint32_t> fromHandler = 1;
  link_.SetFatalHandler([&] { fromHandler = link_.SendCommand(0x00330005); });
  EXPECT_FALSE(link_.SendCommand(0x00610000).has_value());
  callerReturned = true;
  for (int i = 0; i < 3000 && fromHandler.has_value(); ++i) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(sinkSawCallerReturn);
  EXPECT_FALSE(fromHandler.has_value());
  SetMessageSink(std::move(previous));
}

// Catches: a failed post that is silent or shown with the reporting caption.
TEST_F(DeviceLinkTest, FailedPostShowsPostRequest) {
  transport_.failRequests = true;
  MessageRecorder messages;
  link_.PostCommand(0x00030005);
  for (int i = 0; i < 500 && messages.Messages().empty(); ++i) {
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(messages.Captions(), std::vector<std::string>{"PostRequest"});
  EXPECT_EQ(fatalCalls_, 1);
}

// Catches: the quiet variant skipping nothing on a missing device, or
// showing a message.
TEST_F(DeviceLinkTest, QuietOpenFailureSkipsTheRequestSilently) {
  ASSERT_EQ(link_.SendCommandQuiet(0x61802000), 0x61802000u);
  transport_.present = false;
  MessageRecorder messages;
  EXPECT_EQ(link_.SendCommandQuiet(0x00610000), 0x61802000u);
  EXPECT_FALSE(link_.LinkOk());
  EXPECT_TRUE(messages.Messages().empty());
  EXPECT_EQ(fatalCalls_, 0);
}

}  // namespace
}  // namespace rd420
