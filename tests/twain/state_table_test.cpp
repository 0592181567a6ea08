// Every triplet in every state: the return code and the condition code the
// application reads with DAT_STATUS afterwards.

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "tests/twain/twain_fixture.h"

namespace rd420::twain {
namespace {

struct Outcome {
  TW_UINT16 rc;
  TW_UINT16 cc;
};

constexpr Outcome S{TWRC_SUCCESS, TWCC_SUCCESS};
constexpr Outcome Done{TWRC_XFERDONE, TWCC_SUCCESS};
constexpr Outcome NotMine{TWRC_NOTDSEVENT, TWCC_SUCCESS};
constexpr Outcome Seq{TWRC_FAILURE, TWCC_SEQERROR};
constexpr Outcome Proto{TWRC_FAILURE, TWCC_BADPROTOCOL};
constexpr Outcome Unsupported{TWRC_FAILURE, TWCC_CAPUNSUPPORTED};

constexpr std::array<std::uint32_t, 5> kStates = {300, 400, 500, 600, 700};

struct TripletRow {
  const char* name;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  std::array<Outcome, 5> outcomes;  // in 300, 400, 500, 600, 700
};

const TripletRow kTriplets[] = {
    {"identity get", DG_CONTROL, DAT_IDENTITY, MSG_GET, {S, S, S, S, S}},
    {"identity open", DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, {S, Seq, Seq, Seq, Seq}},
    {"identity close", DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, {Seq, S, S, S, S}},
    {"identity set", DG_CONTROL, DAT_IDENTITY, MSG_SET, {Proto, Proto, Proto, Proto, Proto}},
    {"enable", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, {Seq, S, Seq, Seq, Seq}},
    {"disable", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, {Seq, Seq, S, S, S}},
    {"enable ui only",
     DG_CONTROL,
     DAT_USERINTERFACE,
     MSG_ENABLEDSUIONLY,
     {Proto, Proto, Proto, Proto, Proto}},
    {"capability get", DG_CONTROL, DAT_CAPABILITY, MSG_GET, {Unsupported, S, S, S, S}},
    {"status get", DG_CONTROL, DAT_STATUS, MSG_GET, {S, S, S, S, S}},
    {"status set", DG_CONTROL, DAT_STATUS, MSG_SET, {Proto, Proto, Proto, Proto, Proto}},
    {"pending get", DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, {Seq, S, S, S, S}},
    {"pending end", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, {Seq, Seq, Seq, S, S}},
    {"pending reset", DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, {Seq, Seq, Seq, S, S}},
    {"pending set", DG_CONTROL, DAT_PENDINGXFERS, MSG_SET, {Proto, Proto, Proto, Proto, Proto}},
    {"setup memory get", DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, {Seq, S, S, S, Seq}},
    {"setup memory set", DG_CONTROL, DAT_SETUPMEMXFER, MSG_SET, {Seq, Proto, Proto, Proto, Seq}},
    {"setup file get", DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, {Seq, S, S, S, Seq}},
    {"setup file set", DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, {Seq, S, S, S, Seq}},
    {"setup file end", DG_CONTROL, DAT_SETUPFILEXFER, MSG_ENDXFER, {Seq, Proto, Proto, Proto, Seq}},
    {"transfer group get", DG_CONTROL, DAT_XFERGROUP, MSG_GET, {Seq, S, S, S, Seq}},
    {"transfer group set", DG_CONTROL, DAT_XFERGROUP, MSG_SET, {Seq, S, S, S, Seq}},
    {"transfer group end", DG_CONTROL, DAT_XFERGROUP, MSG_ENDXFER, {Seq, Proto, Proto, Proto, Seq}},
    {"event get", DG_CONTROL, DAT_EVENT, MSG_GET, {Proto, Proto, Proto, Proto, Proto}},
    {"parent open", DG_CONTROL, DAT_PARENT, MSG_OPENDSM, {Proto, Proto, Proto, Proto, Proto}},
    {"null get", DG_CONTROL, DAT_NULL, MSG_GET, {Proto, Proto, Proto, Proto, Proto}},
    {"process event",
     DG_CONTROL,
     DAT_EVENT,
     MSG_PROCESSEVENT,
     {NotMine, NotMine, NotMine, NotMine, NotMine}},
    {"image info get", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, {Seq, Seq, Seq, S, S}},
    {"image info set", DG_IMAGE, DAT_IMAGEINFO, MSG_SET, {Seq, Seq, Seq, Proto, Proto}},
    {"image layout get", DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, {S, S, S, S, S}},
    {"image layout end",
     DG_IMAGE,
     DAT_IMAGELAYOUT,
     MSG_ENDXFER,
     {Proto, Proto, Proto, Proto, Proto}},
    {"memory transfer", DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, {Seq, Seq, Seq, S, S}},
    {"memory transfer set",
     DG_IMAGE,
     DAT_IMAGEMEMXFER,
     MSG_SET,
     {Proto, Proto, Proto, Proto, Proto}},
    {"native transfer", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, {Seq, Seq, Seq, Done, Seq}},
    {"native transfer set", DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_SET, {Seq, Seq, Seq, Proto, Seq}},
    {"file transfer", DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, {Seq, Seq, Seq, Done, Seq}},
    {"file transfer set",
     DG_IMAGE,
     DAT_IMAGEFILEXFER,
     MSG_SET,
     {Proto, Proto, Proto, Proto, Proto}},
    {"palette get", DG_IMAGE, DAT_PALETTE8, MSG_GET, {Seq, S, S, S, Seq}},
    {"palette set", DG_IMAGE, DAT_PALETTE8, MSG_SET, {Seq, S, S, S, Seq}},
    {"palette get current",
     DG_IMAGE,
     DAT_PALETTE8,
     MSG_GETCURRENT,
     {Seq, Proto, Proto, Proto, Seq}},
    {"gray response reset", DG_IMAGE, DAT_GRAYRESPONSE, MSG_RESET, {S, S, S, S, S}},
    {"rgb response reset", DG_IMAGE, DAT_RGBRESPONSE, MSG_RESET, {S, S, S, S, S}},
    {"cie colour get", DG_IMAGE, DAT_CIECOLOR, MSG_GET, {S, S, S, S, S}},
    {"jpeg compression get", DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GET, {S, S, S, S, S}},
    {"image identity", DG_IMAGE, DAT_IDENTITY, MSG_GET, {Proto, Proto, Proto, Proto, Proto}},
    {"audio group", 4, DAT_NULL, MSG_GET, {Proto, Proto, Proto, Proto, Proto}},
};

class TripletInState : public SourceTest {
 protected:
  // A valid argument for the triplet; whatever it returns is freed.
  TW_UINT16 CallWithData(const TripletRow& row) {
    alignas(8) std::uint8_t data[2048] = {};
    std::vector<std::uint8_t> strip(65535);
    switch (row.dat) {
      case DAT_IDENTITY:
        std::memcpy(data, &managerIdentity_, sizeof managerIdentity_);
        break;
      case DAT_USERINTERFACE:
        *reinterpret_cast<TW_USERINTERFACE*>(data) = {kTwTrue, kTwFalse, &parentWindow_};
        break;
      case DAT_CAPABILITY:
        *reinterpret_cast<TW_CAPABILITY*>(data) = {ICAP_XFERMECH, 0, nullptr};
        break;
      case DAT_SETUPFILEXFER:
        std::strcpy(reinterpret_cast<TW_SETUPFILEXFER*>(data)->FileName,
                    (folder_ / "set.bmp").c_str());
        break;
      case DAT_IMAGEMEMXFER:
        reinterpret_cast<TW_IMAGEMEMXFER*>(data)->Memory = {0, static_cast<TW_UINT32>(strip.size()),
                                                            strip.data()};
        break;
      default:
        break;
    }
    const TW_UINT16 rc = Call(row.dg, row.dat, row.msg, data);
    if (row.dat == DAT_CAPABILITY) {
      std::free(reinterpret_cast<TW_CAPABILITY*>(data)->hContainer);
    } else if (row.dat == DAT_IMAGENATIVEXFER && rc == TWRC_XFERDONE) {
      TW_HANDLE dib;
      std::memcpy(&dib, data, sizeof dib);
      std::free(dib);
    }
    return rc;
  }
};

// Catches: a triplet accepted outside its states, refused inside them, or
// answered with the wrong condition code.
TEST_F(TripletInState, EveryTripletInEveryState) {
  for (const TripletRow& row : kTriplets) {
    for (size_t i = 0; i < kStates.size(); ++i) {
      SCOPED_TRACE(testing::Message() << row.name << " in " << kStates[i]);
      source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
      GoTo(kStates[i]);
      EXPECT_EQ(CallWithData(row), row.outcomes[i].rc);
      EXPECT_EQ(Condition(), row.outcomes[i].cc);
    }
  }
}

struct TransitionRow {
  std::uint32_t from;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  std::uint32_t to;
};

const TransitionRow kTransitions[] = {
    {300, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 400},
    {400, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 500},
    {600, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, 700},
    {600, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, 700},
    {700, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 600},
    {600, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 500},
    {600, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 500},
    {700, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 500},
    {500, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 400},
    {700, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 400},
    {400, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, 300},
    {700, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, 300},
};

// Catches: a triplet that leaves the source in the wrong state.
TEST_F(TripletInState, TransitionsFollowTheStateTable) {
  for (const TransitionRow& row : kTransitions) {
    SCOPED_TRACE(testing::Message() << row.from << " dat " << row.dat << " msg " << row.msg);
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(row.from);
    CallWithData({"", row.dg, row.dat, row.msg, {}});
    EXPECT_EQ(source_->State(), row.to);
  }
}

struct BoxRow {
  std::uint32_t state;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  const char* text;
  const char* caption;
};

const BoxRow kBoxes[] = {
    {400, DG_CONTROL, DAT_IDENTITY, MSG_SET, "General failure in response to DAT_IDENTITY.  ",
     "Error (TWN00001)"},
    {300, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET,
     "General failure in response to DAT_PENDINGXFER.  ", "Error (TWN00006-1)"},
    {500, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET,
     "General failure in response to DAT_PENDINGXFER.  ", "Error (TWN00006-3)"},
    {500, DG_CONTROL, DAT_PENDINGXFERS, MSG_SET,
     "General failure in response to DAT_PENDINGXFER.  ", "Error (TWN00006-4)"},
    {700, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET,
     "General failure in response to DAT_SETUPMEMXFER, not supported.  ", "Error (TWN00003)"},
    {500, DG_CONTROL, DAT_SETUPMEMXFER, MSG_SET,
     "General failure in response to DAT_SETUPMEMXFER, not supported.  ", "Error (TWN00003)"},
    {600, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_SET, "General failure in response to DAT_IMAGEMEMXFER.  ",
     "Error (TWN00005)"},
    {500, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET,
     "General failure in response to DAT_IMAGENATIVEXFER.  ", "Error (TWN00006)"},
    {600, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_SET,
     "General failure in response to DAT_IMAGENATIVEXFER.  ", "Error (TWN00006)"},
    {500, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, nullptr, nullptr},
    {500, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, nullptr, nullptr},
    {300, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, nullptr, nullptr},
};

// Catches: a failure box missing, shown twice, with the wrong text, caption
// or icon, not owned by the application's window; or a box where none is due.
TEST_F(TripletInState, FailureBoxesAreOwnedByTheParentWindow) {
  for (const BoxRow& row : kBoxes) {
    SCOPED_TRACE(testing::Message() << row.state << " dat " << row.dat << " msg " << row.msg);
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(row.state);
    boxes_.clear();
    EXPECT_EQ(CallWithData({"", row.dg, row.dat, row.msg, {}}), TWRC_FAILURE);
    if (row.caption == nullptr) {
      EXPECT_TRUE(boxes_.empty());
      continue;
    }
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].message.caption, row.caption);
    EXPECT_EQ(boxes_[0].message.text, row.text);
    EXPECT_EQ(boxes_[0].message.icon, MessageIcon::kInformation);
    EXPECT_EQ(boxes_[0].owner, row.state >= 500 ? &parentWindow_ : nullptr);
  }
}

// Catches: closing the window deadlocking with its still thread, which is
// handing a still over and is joined by the window's Close.
TEST_F(SourceTest, ClosingTheWindowDoesNotWaitForAStillBeingHandedOver) {
  StandInManager manager;
  ASSERT_TRUE(manager.Loaded());
  GoTo(500);
  still_ = Still();
  view_->onClose = [this] {
    std::thread stillThread([this] { HandOver(); });
    stillThread.join();
  };
  ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(source_->State(), 400u);
  EXPECT_TRUE(manager.Take().empty());
}

// Catches: MSG_XFERREADY sent with the source's lock held, so an
// application whose callback waits on a thread calling DS_Entry deadlocks.
TEST_F(SourceTest, CallbackMayWaitForAnotherThreadsCall) {
  StandInManager manager;
  ASSERT_TRUE(manager.Loaded());
  GoTo(400);
  bool answered = false;
  std::thread caller;
  manager.OnNotification([&] {
    std::packaged_task<TW_UINT16()> ask([this] {
      TW_PENDINGXFERS pending{};
      return Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    });
    std::future<TW_UINT16> reply = ask.get_future();
    caller = std::thread(std::move(ask));
    // Bounded, so a deadlock fails the test instead of hanging it.
    answered = reply.wait_for(std::chrono::seconds(5)) == std::future_status::ready &&
               reply.get() == TWRC_SUCCESS;
  });
  Enable(false);
  caller.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(source_->State(), 600u);
}

// Catches: the stored condition code read twice, or left uncleared.
TEST_F(SourceTest, StatusReturnsTheLastFailureOnce) {
  Call(7, DAT_NULL, MSG_GET, nullptr);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Condition(), TWCC_SUCCESS);
}

// Catches: a second application's calls (or calls without an origin) acting
// on the connected one's session or overwriting its condition code.
TEST_F(SourceTest, CallsFromAnotherApplicationHaveNoEffect) {
  GoTo(500);
  TW_IDENTITY other{};
  other.Id = 99;
  EXPECT_EQ(source_->Entry(&other, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_FAILURE);
  EXPECT_EQ(source_->Entry(nullptr, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr),
            TWRC_FAILURE);
  EXPECT_EQ(source_->State(), 500u);
  EXPECT_EQ(Condition(), TWCC_SUCCESS);
  EXPECT_EQ(view_->closes, 0);
}

// Catches: a second application that cannot list the source while the
// first one holds it, or is told there is no source instead of the one
// connection being taken.
TEST_F(SourceTest, AnotherApplicationFindsTheSourceButCannotOpenIt) {
  TW_IDENTITY other{};
  other.Id = 99;
  for (const std::uint32_t state : {400u, 500u, 600u, 700u}) {
    SCOPED_TRACE(state);
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(state);
    TW_IDENTITY mine{}, identity{};
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &mine), TWRC_SUCCESS);
    ASSERT_EQ(source_->Entry(&other, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_EQ(0, std::memcmp(&identity, &mine, sizeof mine));
    TW_IDENTITY asked{};
    EXPECT_EQ(source_->Entry(&other, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &asked), TWRC_FAILURE);
    TW_STATUS status{};
    ASSERT_EQ(source_->Entry(&other, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    EXPECT_EQ(status.ConditionCode, TWCC_MAXCONNECTIONS);
    EXPECT_EQ(source_->State(), state);
    EXPECT_EQ(Condition(), TWCC_SUCCESS);
  }
}

// Catches: MSG_XFERGROUP writing fewer than four bytes.
TEST_F(SourceTest, TransferGroupWritesAWholeWord) {
  GoTo(400);
  std::uint8_t word[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, word), TWRC_SUCCESS);
  EXPECT_EQ(word[0], 2);
  EXPECT_EQ(word[1] | word[2] | word[3], 0);
}

}  // namespace
}  // namespace rd420::twain
