// Capability negotiation: containers, allowed lists, MSG_SET's exact-match
// rule, FIX32 and the protocol-1.5 condition codes.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "tests/twain/twain_fixture.h"

namespace rd420::twain {

// Found by argument-dependent look-up from the assertions below.
bool operator==(TW_FIX32 a, TW_FIX32 b) {
  return a.Whole == b.Whole && a.Frac == b.Frac;
}

namespace {

// Owns a container the source allocated, as the application does.
struct Reply {
  TW_UINT16 rc;
  TW_UINT16 conType;
  std::unique_ptr<std::uint8_t, FreeDeleter> block;

  template <typename T>
  const T& As() const {
    return *reinterpret_cast<const T*>(block.get());
  }
  const std::uint8_t* Items(size_t offset) const { return block.get() + offset; }
};

TW_FIX32 Fix32At(const std::uint8_t* at) {
  TW_FIX32 value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::uint16_t WordAt(const std::uint8_t* at) {
  std::uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

class CapabilityTest : public SourceTest {
 protected:
  void SetUp() override { GoTo(400); }

  Reply Ask(TW_UINT16 cap, TW_UINT16 msg) {
    TW_CAPABILITY capability{cap, 0, nullptr};
    Reply reply{Call(DG_CONTROL, DAT_CAPABILITY, msg, &capability), capability.ConType,
                std::unique_ptr<std::uint8_t, FreeDeleter>(
                    static_cast<std::uint8_t*>(capability.hContainer))};
    return reply;
  }
  // MSG_SET with a container the application built.
  TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 conType, std::vector<std::uint8_t> container) {
    TW_CAPABILITY capability{cap, conType, container.empty() ? nullptr : container.data()};
    return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
  }
};

std::vector<std::uint8_t> OneValue(TW_UINT16 itemType, const void* item, size_t bytes) {
  std::vector<std::uint8_t> container(2 + std::max<size_t>(bytes, 4));
  std::memcpy(container.data(), &itemType, 2);
  std::memcpy(container.data() + 2, item, bytes);
  return container;
}

std::vector<std::uint8_t> OneWord(TW_UINT16 itemType, std::uint16_t value) {
  return OneValue(itemType, &value, sizeof value);
}

std::vector<std::uint8_t> OneFix32(float value) {
  const TW_FIX32 fixed = FloatToFix32(value);
  return OneValue(TWTY_FIX32, &fixed, sizeof fixed);
}

// Catches: a wrong container, item list, order or index in MSG_GET replies.
TEST_F(CapabilityTest, GetRepliesCarryTheTableValues) {
  Reply depth = Ask(ICAP_BITDEPTH, MSG_GET);
  ASSERT_EQ(depth.rc, TWRC_SUCCESS);
  ASSERT_EQ(depth.conType, TWON_ENUMERATION);
  const auto& list = depth.As<TW_ENUMERATION>();
  EXPECT_EQ(list.ItemType, TWTY_UINT16);
  EXPECT_EQ(TW_UINT32{list.NumItems}, 1u);
  EXPECT_EQ(TW_UINT32{list.CurrentIndex}, 0u);
  EXPECT_EQ(TW_UINT32{list.DefaultIndex}, 0u);
  EXPECT_EQ(WordAt(depth.Items(offsetof(TW_ENUMERATION, ItemList))), 24);

  Reply brightness = Ask(ICAP_BRIGHTNESS, MSG_GET);
  ASSERT_EQ(brightness.conType, TWON_RANGE);
  const auto& range = brightness.As<TW_RANGE>();
  EXPECT_EQ(Fix32At(reinterpret_cast<const std::uint8_t*>(&range.MinValue)), (TW_FIX32{-1000, 1}));
  EXPECT_EQ(Fix32At(reinterpret_cast<const std::uint8_t*>(&range.MaxValue)), (TW_FIX32{1000, 0}));
  EXPECT_EQ(Fix32At(reinterpret_cast<const std::uint8_t*>(&range.StepSize)), (TW_FIX32{1000, 0}));
  EXPECT_EQ(TW_UINT32{range.DefaultValue}, 0u);
  EXPECT_EQ(TW_UINT32{range.CurrentValue}, 0u);

  Reply caps = Ask(CAP_SUPPORTEDCAPS, MSG_GETCURRENT);
  ASSERT_EQ(caps.conType, TWON_ARRAY);
  ASSERT_EQ(TW_UINT32{caps.As<TW_ARRAY>().NumItems}, 40u);
  EXPECT_EQ(WordAt(caps.Items(6 + 2 * 2)), ICAP_XFERMECH);
  EXPECT_EQ(WordAt(caps.Items(6 + 2 * 23)), ICAP_BITDEPTH);
  EXPECT_EQ(WordAt(caps.Items(6 + 2 * 39)), CAP_UICONTROLLABLE);

  Reply halftones = Ask(ICAP_HALFTONES, MSG_GET);
  ASSERT_EQ(TW_UINT32{halftones.As<TW_ENUMERATION>().NumItems}, 2u);
  EXPECT_STREQ(reinterpret_cast<const char*>(halftones.Items(14)), "FLOYD/STEINBURG");
  EXPECT_STREQ(reinterpret_cast<const char*>(halftones.Items(14 + 34)), "ORDERED");

  Reply count = Ask(CAP_XFERCOUNT, MSG_GETCURRENT);
  ASSERT_EQ(count.conType, TWON_ONEVALUE);
  EXPECT_EQ(TW_UINT32{count.As<TW_ONEVALUE>().Item}, 65535u);  // -1, zero-extended

  Reply frames = Ask(ICAP_FRAMES, MSG_GET);
  ASSERT_EQ(frames.As<TW_ONEVALUE>().ItemType, TWTY_FRAME);
  EXPECT_EQ(Fix32At(frames.Items(2 + 8)), (TW_FIX32{8, 32768}));
  EXPECT_EQ(Fix32At(frames.Items(2 + 12)), (TW_FIX32{11, 0}));
}

struct SetRow {
  const char* name;
  TW_UINT16 cap;
  TW_UINT16 conType;
  std::vector<std::uint8_t> container;
  TW_UINT16 rc;
  TW_UINT16 cc;
};

std::vector<std::uint8_t> EnumOfWords(TW_UINT16 itemType, std::vector<std::uint16_t> items,
                                      TW_UINT32 count, TW_UINT32 currentIndex) {
  std::vector<std::uint8_t> container(14 + 2 * items.size());
  std::memcpy(container.data(), &itemType, 2);
  std::memcpy(container.data() + 2, &count, 4);
  std::memcpy(container.data() + 6, &currentIndex, 4);
  if (!items.empty()) {
    std::memcpy(container.data() + 14, items.data(), 2 * items.size());
  }
  return container;
}

// Catches: MSG_SET accepting a value between a range's ends, a wrong
// container or item type, or a read-only capability; or refusing an
// allowed value.
TEST_F(CapabilityTest, SetAcceptsOnlyAnAllowedValueExactly) {
  std::vector<std::uint8_t> unterminated = OneValue(TWTY_STR32, std::string(34, 'A').data(), 34);
  const SetRow rows[] = {
      {"brightness between", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneFix32(0.0f), TWRC_FAILURE,
       TWCC_BADVALUE},
      {"brightness max", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneFix32(1000.0f), TWRC_SUCCESS,
       TWCC_SUCCESS},
      {"resolution 100", ICAP_XRESOLUTION, TWON_ONEVALUE, OneFix32(100.0f), TWRC_SUCCESS,
       TWCC_SUCCESS},
      {"resolution 200", ICAP_YRESOLUTION, TWON_ONEVALUE, OneFix32(200.0f), TWRC_FAILURE,
       TWCC_BADVALUE},
      {"feeder true", CAP_FEEDERENABLED, TWON_ONEVALUE, OneWord(TWTY_BOOL, 1), TWRC_SUCCESS,
       TWCC_SUCCESS},
      {"feeder false", CAP_FEEDERENABLED, TWON_ONEVALUE, OneWord(TWTY_BOOL, 0), TWRC_FAILURE,
       TWCC_BADVALUE},
      {"read-only", ICAP_PLANARCHUNKY, TWON_ONEVALUE, OneWord(TWTY_UINT16, 0), TWRC_FAILURE,
       TWCC_CAPBADOPERATION},
      {"first item taken", ICAP_XFERMECH, TWON_ENUMERATION,
       EnumOfWords(TWTY_UINT16, {TWSX_MEMORY, 77}, 2, 1), TWRC_SUCCESS, TWCC_SUCCESS},
      {"count past memory", ICAP_UNITS, TWON_ENUMERATION,
       EnumOfWords(TWTY_UINT16, {TWUN_PIXELS}, 0x7FFFFFFF, 0x7FFFFFFF), TWRC_SUCCESS, TWCC_SUCCESS},
      {"empty enumeration", ICAP_UNITS, TWON_ENUMERATION, EnumOfWords(TWTY_UINT16, {}, 0, 0),
       TWRC_FAILURE, TWCC_BADVALUE},
      {"wrong item type", ICAP_XFERMECH, TWON_ONEVALUE, OneWord(TWTY_BOOL, TWSX_MEMORY),
       TWRC_FAILURE, TWCC_BADVALUE},
      {"range container", ICAP_BRIGHTNESS, TWON_RANGE, OneFix32(1000.0f), TWRC_FAILURE,
       TWCC_BADVALUE},
      {"array container", ICAP_XFERMECH, TWON_ARRAY, EnumOfWords(TWTY_UINT16, {0}, 1, 0),
       TWRC_FAILURE, TWCC_BADVALUE},
      {"no container", ICAP_XFERMECH, TWON_ONEVALUE, {}, TWRC_FAILURE, TWCC_BADVALUE},
      {"halftone", ICAP_HALFTONES, TWON_ONEVALUE, OneValue(TWTY_STR32, "ORDERED", 8), TWRC_SUCCESS,
       TWCC_SUCCESS},
      {"unterminated string", ICAP_HALFTONES, TWON_ONEVALUE, unterminated, TWRC_FAILURE,
       TWCC_BADVALUE},
      {"unknown capability", 0x8123, TWON_ONEVALUE, OneWord(TWTY_UINT16, 0), TWRC_FAILURE,
       TWCC_CAPUNSUPPORTED},
  };
  for (const SetRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Set(row.cap, row.conType, row.container), row.rc);
    EXPECT_EQ(Condition(), row.cc);
  }
  EXPECT_EQ(TW_UINT32{Ask(ICAP_BRIGHTNESS, MSG_GETCURRENT).As<TW_ONEVALUE>().Item},
            1000u);  // Whole 1000, Frac 0
  EXPECT_EQ(TW_UINT32{Ask(ICAP_XFERMECH, MSG_GETCURRENT).As<TW_ONEVALUE>().Item}, TWSX_MEMORY);
  EXPECT_STREQ(reinterpret_cast<const char*>(Ask(ICAP_HALFTONES, MSG_GETCURRENT).Items(2)),
               "ORDERED");
}

// The settable capabilities whose current value lies outside their own
// allowed list, so that sending it back is a bad value.
constexpr TW_UINT16 kOutsideTheirList[] = {CAP_FEEDERENABLED, ICAP_BRIGHTNESS, ICAP_CONTRAST,
                                           ICAP_HIGHLIGHT,    ICAP_SHADOW,     ICAP_THRESHOLD};

// Catches: a listed capability without a record, a message allowed
// against its support bits, a container the application cannot read back,
// or a MSG_SET of the current value refused (or one outside the allowed
// list accepted).
TEST_F(CapabilityTest, EveryListedCapabilityWithEveryMessage) {
  Reply list = Ask(CAP_SUPPORTEDCAPS, MSG_GET);
  ASSERT_EQ(TW_UINT32{list.As<TW_ARRAY>().NumItems}, 40u);
  for (TW_UINT32 i = 0; i < 40; ++i) {
    const TW_UINT16 cap = WordAt(list.Items(offsetof(TW_ARRAY, ItemList) + 2 * i));
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << cap);
    Reply support = Ask(cap, MSG_QUERYSUPPORT);
    ASSERT_EQ(support.rc, TWRC_SUCCESS);
    const TW_UINT32 bits = support.As<TW_ONEVALUE>().Item;
    ASSERT_TRUE(bits == 13 || bits == 31);
    const bool settable = bits == 31;
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
      Reply reply = Ask(cap, msg);
      EXPECT_EQ(reply.rc, TWRC_SUCCESS);
      ASSERT_NE(reply.block, nullptr);
    }
    for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT}) {
      EXPECT_EQ(Ask(cap, msg).rc, TWRC_FAILURE);
      EXPECT_EQ(Condition(), TWCC_CAPUNSUPPORTED);
    }
    // The application sends back what MSG_GETCURRENT gave it.
    Reply current = Ask(cap, MSG_GETCURRENT);
    TW_CAPABILITY set{cap, current.conType, current.block.get()};
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &set);
    const TW_UINT16 cc = Condition();
    if (!settable) {
      EXPECT_EQ(rc, TWRC_FAILURE);
      EXPECT_EQ(cc, TWCC_CAPBADOPERATION);
    } else if (std::find(std::begin(kOutsideTheirList), std::end(kOutsideTheirList), cap) !=
               std::end(kOutsideTheirList)) {
      EXPECT_EQ(rc, TWRC_FAILURE);
      EXPECT_EQ(cc, TWCC_BADVALUE);
    } else {
      EXPECT_EQ(rc, TWRC_SUCCESS);
      EXPECT_EQ(cc, TWCC_SUCCESS);
    }
    Reply reset = Ask(cap, MSG_RESET);
    EXPECT_EQ(reset.rc, settable ? TWRC_SUCCESS : TWRC_FAILURE);
    if (!settable) {
      EXPECT_EQ(Condition(), TWCC_CAPBADOPERATION);
    }
  }
}

// Catches: X and Y records keeping separate values.
TEST_F(CapabilityTest, XAndYShareOneValue) {
  ASSERT_EQ(Set(ICAP_YSCALING, TWON_ONEVALUE, OneFix32(100.0f)), TWRC_SUCCESS);
  Reply reply = Ask(ICAP_XSCALING, MSG_GET);
  EXPECT_EQ(TW_UINT32{reply.As<TW_ENUMERATION>().CurrentIndex}, 0u);
}

// Catches: MSG_RESET not restoring the default, or replying with the old
// current value.
TEST_F(CapabilityTest, ResetRestoresAndReturnsTheDefault) {
  ASSERT_EQ(Set(CAP_FEEDERENABLED, TWON_ONEVALUE, OneWord(TWTY_BOOL, 1)), TWRC_SUCCESS);
  Reply reset = Ask(CAP_FEEDERENABLED, MSG_RESET);
  ASSERT_EQ(reset.rc, TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{reset.As<TW_ONEVALUE>().Item}, 0u);
  EXPECT_EQ(TW_UINT32{Ask(CAP_FEEDERENABLED, MSG_GETCURRENT).As<TW_ONEVALUE>().Item}, 0u);
}

// Catches: the support bits of a read-only or settable record reported wrong.
TEST_F(CapabilityTest, QuerySupportReportsTheSupportBits) {
  Reply readOnly = Ask(CAP_UICONTROLLABLE, MSG_QUERYSUPPORT);
  EXPECT_EQ(readOnly.As<TW_ONEVALUE>().ItemType, TWTY_UINT32);
  EXPECT_EQ(TW_UINT32{readOnly.As<TW_ONEVALUE>().Item}, 13u);
  EXPECT_EQ(TW_UINT32{Ask(ICAP_XFERMECH, MSG_QUERYSUPPORT).As<TW_ONEVALUE>().Item}, 31u);
}

// Catches: codes above TWCC_BADDEST reaching applications of protocol 1.5,
// which do not know them, or being mapped for newer applications.
TEST_F(SourceTest, OldApplicationsSeeBadCap) {
  struct Row {
    TW_UINT16 minor;
    TW_UINT16 msg;
    TW_UINT16 cap;
    TW_UINT16 cc;
  };
  const Row rows[] = {
      {5, MSG_GET, 0x8123, TWCC_BADCAP},
      {5, MSG_SET, ICAP_PLANARCHUNKY, TWCC_BADCAP},
      {5, MSG_GETFIRST, ICAP_UNITS, TWCC_BADCAP},
      {5, MSG_SET, ICAP_UNITS, TWCC_BADVALUE},
      {6, MSG_GET, 0x8123, TWCC_CAPUNSUPPORTED},
      {6, MSG_SET, ICAP_PLANARCHUNKY, TWCC_CAPBADOPERATION},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "1." << row.minor << " msg " << row.msg);
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    app_.ProtocolMinor = row.minor;
    Open();
    TW_CAPABILITY capability{row.cap, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, row.msg, &capability), TWRC_FAILURE);
    EXPECT_EQ(Condition(), row.cc);
  }
  // Before any application is connected the caller's protocol counts.
  source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
  TW_CAPABILITY capability{ICAP_UNITS, 0, nullptr};
  app_.ProtocolMinor = 5;
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADCAP);
}

// Catches: values lost at MSG_CLOSEDS, or the table kept after it.
TEST_F(CapabilityTest, ValuesSurviveCloseAndReopen) {
  ASSERT_EQ(Set(CAP_INDICATORS, TWON_ONEVALUE, OneWord(TWTY_BOOL, 0)), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(Ask(CAP_INDICATORS, MSG_GETCURRENT).rc, TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_CAPUNSUPPORTED);
  Open();
  EXPECT_EQ(TW_UINT32{Ask(CAP_INDICATORS, MSG_GETCURRENT).As<TW_ONEVALUE>().Item}, 0u);
}

// Catches: CAP_FEEDERLOADED not refreshed from the pending count on
// MSG_GET, or refreshed on MSG_GETCURRENT.
TEST_F(CapabilityTest, FeederLoadedFollowsThePendingCountOnGet) {
  EXPECT_EQ(TW_UINT32{Ask(CAP_FEEDERLOADED, MSG_GETCURRENT).As<TW_ONEVALUE>().Item}, 0u);
  EXPECT_EQ(TW_UINT32{Ask(CAP_FEEDERLOADED, MSG_GET).As<TW_ONEVALUE>().Item}, 1u);
}

struct Fix32Row {
  float value;
  TW_FIX32 fixed;
  float back;
};

// Catches: FIX32 rounding that differs from what applications have seen,
// negative values above all.
TEST(Fix32, ConvertsBothWays) {
  const Fix32Row rows[] = {
      {100.0f, {100, 0}, 100.0f},          {8.5f, {8, 32768}, 8.5f},
      {-1000.0f, {-1000, 1}, -999.99998f}, {0.1f, {0, 6554}, 0.100006104f},
      {-0.5f, {-1, 32769}, -0.49998474f},  {0.0f, {0, 0}, 0.0f},
  };
  for (const Fix32Row& row : rows) {
    SCOPED_TRACE(row.value);
    const TW_FIX32 fixed = FloatToFix32(row.value);
    EXPECT_EQ(fixed.Whole, row.fixed.Whole);
    EXPECT_EQ(fixed.Frac, row.fixed.Frac);
    EXPECT_FLOAT_EQ(Fix32ToFloat(fixed), row.back);
  }
}

}  // namespace
}  // namespace rd420::twain
