#include <gtest/gtest.h>
#include <sane/sane.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "sane/scan_options.h"

namespace rd420::sane {
namespace {

// Records the words the options send; answers status polls with `status`.
class RecordingCamera : public CameraControls {
 public:
  SANE_Status SendWord(uint32_t word) override {
    words.push_back(word);
    return SANE_STATUS_GOOD;
  }
  SANE_Status ReadStatus(uint32_t& word) override {
    word = status;
    return SANE_STATUS_GOOD;
  }
  std::vector<uint32_t> words;
  uint32_t status = 0x61802000;
};

class OptionTableTest : public ::testing::Test {
 protected:
  SANE_Status SetWord(SANE_Int option, SANE_Word& value, SANE_Int* info = nullptr) {
    return options_.Control(option, SANE_ACTION_SET_VALUE, &value, info);
  }
  SANE_Status SetString(SANE_Int option, const char* text, SANE_Int* info = nullptr) {
    std::string buffer(text);
    return options_.Control(option, SANE_ACTION_SET_VALUE, buffer.data(), info);
  }
  SANE_Word GetWord(SANE_Int option) {
    SANE_Word value = -1;
    EXPECT_EQ(options_.Control(option, SANE_ACTION_GET_VALUE, &value, nullptr), SANE_STATUS_GOOD);
    return value;
  }
  std::string GetString(SANE_Int option) {
    char buffer[64] = {};
    EXPECT_EQ(options_.Control(option, SANE_ACTION_GET_VALUE, buffer, nullptr), SANE_STATUS_GOOD);
    return buffer;
  }

  RecordingCamera camera_;
  ScanOptions options_{camera_};
};

// Catches: an option table a front-end refuses or misreads (scanimage
// rejects a settable option that is not also detectable, and front-ends
// size value buffers from `size`).
TEST_F(OptionTableTest, EveryDescriptorFollowsSaneRules) {
  const SANE_Option_Descriptor* count = options_.Descriptor(0);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->type, SANE_TYPE_INT);
  EXPECT_EQ(count->cap, SANE_CAP_SOFT_DETECT);
  EXPECT_EQ(GetWord(0), kOptionCount);
  EXPECT_EQ(options_.Descriptor(kOptionCount), nullptr);

  std::set<std::string> names;
  for (SANE_Int i = 1; i < kOptionCount; ++i) {
    const SANE_Option_Descriptor& d = *options_.Descriptor(i);
    SCOPED_TRACE(d.name);
    if (d.type == SANE_TYPE_GROUP) {
      EXPECT_EQ(d.constraint_type, SANE_CONSTRAINT_NONE);
      continue;
    }
    EXPECT_TRUE(names.insert(d.name).second) << "duplicate name";
    EXPECT_EQ(std::strspn(d.name, "abcdefghijklmnopqrstuvwxyz0123456789-"), std::strlen(d.name));
    if (SANE_OPTION_IS_SETTABLE(d.cap)) {
      EXPECT_TRUE(d.cap & SANE_CAP_SOFT_DETECT);
    }
    switch (d.type) {
      case SANE_TYPE_BUTTON:
        EXPECT_EQ(d.size, 0);
        break;
      case SANE_TYPE_STRING: {
        ASSERT_EQ(d.constraint_type, SANE_CONSTRAINT_STRING_LIST);
        for (auto* item = d.constraint.string_list; *item != nullptr; ++item) {
          EXPECT_GT(d.size, static_cast<SANE_Int>(std::strlen(*item)));
        }
        EXPECT_LT(static_cast<SANE_Int>(GetString(i).size()), d.size);
        break;
      }
      default:
        EXPECT_EQ(d.size, static_cast<SANE_Int>(sizeof(SANE_Word)));
        if (d.constraint_type == SANE_CONSTRAINT_RANGE) {
          EXPECT_LE(d.constraint.range->min, GetWord(i));
          EXPECT_GE(d.constraint.range->max, GetWord(i));
        }
        break;
    }
  }
}

// Catches: resolution and source drifting apart, a size change a front-end
// is not told to reload, a preview at full size.
TEST_F(OptionTableTest, SizeOptionsChangeTheFrameAndSayReload) {
  constexpr SANE_Int kBoth = SANE_INFO_RELOAD_PARAMS | SANE_INFO_RELOAD_OPTIONS;
  const struct {
    SANE_Int option;
    SANE_Word word;      // numbers and booleans
    const char* string;  // strings
    int width;           // of the frame afterwards (4:3)
    SANE_Word dpi;
    const char* source;
    SANE_Int info;
  } cases[] = {
      {kOptResolution, kHalfDpi, nullptr, 640, kHalfDpi, "Half", kBoth},
      {kOptResolution, kFullDpi, nullptr, 1280, kFullDpi, "Full", kBoth},
      {kOptSource, 0, "half", 640, kHalfDpi, "Half", kBoth},
      {kOptPreview, SANE_TRUE, nullptr, 640, kHalfDpi, "Half", SANE_INFO_RELOAD_PARAMS},
      {kOptSource, 0, "Full", 640, kFullDpi, "Full", kBoth},  // the preview stays half
      {kOptPreview, SANE_FALSE, nullptr, 1280, kFullDpi, "Full", SANE_INFO_RELOAD_PARAMS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << options_.Descriptor(c.option)->name << " " << c.word);
    SANE_Int info = 0;
    SANE_Word word = c.word;
    ASSERT_EQ(c.string ? SetString(c.option, c.string, &info) : SetWord(c.option, word, &info),
              SANE_STATUS_GOOD);
    EXPECT_EQ(info, c.info);
    const SANE_Parameters p = options_.Parameters();
    EXPECT_EQ(p.pixels_per_line, c.width);
    EXPECT_EQ(p.bytes_per_line, c.width * 3);
    EXPECT_EQ(p.lines, c.width * 3 / 4);
    EXPECT_EQ(GetWord(kOptResolution), c.dpi);
    EXPECT_EQ(GetString(kOptSource), c.source);
  }
}

// Catches: a scan area cropped at the wrong scale, off the frame, empty, or
// on a stage that ignores a 16:9 camera.
TEST_F(OptionTableTest, ScanAreaInMillimetresCropsTheFrame) {
  const struct {
    const char* name;
    bool half, aspect43;
    double mm[4];  // tl-x, tl-y, br-x, br-y
    Crop crop;
  } cases[] = {
      {"whole stage", false, true, {0, 0, 325.12, 243.84}, {0, 0, 1280, 960}},
      {"whole stage, half", true, true, {0, 0, 325.12, 243.84}, {0, 0, 640, 480}},
      {"inset", false, true, {10, 20, 110, 70}, {39, 79, 394, 197}},
      {"inset, half", true, true, {10, 20, 110, 70}, {20, 39, 197, 99}},
      {"edges swapped", false, true, {110, 70, 10, 20}, {39, 79, 394, 197}},
      {"empty at the far edge", false, true, {325.12, 243.84, 325.12, 243.84}, {1279, 959, 1, 1}},
      {"16:9 stage", false, false, {0, 0, 325.12, 300}, {0, 0, 1280, 720}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    options_.SetAspect43(c.aspect43);
    ASSERT_EQ(SetString(kOptSource, c.half ? "Half" : "Full"), SANE_STATUS_GOOD);
    for (int i = 0; i < 4; ++i) {
      SANE_Word value = SANE_FIX(c.mm[i]);
      ASSERT_EQ(SetWord(kOptTlX + i, value), SANE_STATUS_GOOD);
    }
    const Crop crop = options_.ScanCrop();
    EXPECT_EQ(std::tie(crop.x, crop.y, crop.width, crop.height),
              std::tie(c.crop.x, c.crop.y, c.crop.width, c.crop.height));
    EXPECT_EQ(options_.Parameters().pixels_per_line, c.crop.width);
    EXPECT_EQ(options_.Parameters().lines, c.crop.height);
  }
}

// Catches: a bad value accepted, or one that changes the scan before it is
// refused.
TEST_F(OptionTableTest, BadValuesAreRefusedAndChangeNothing) {
  const SANE_Parameters before = options_.Parameters();
  struct {
    const char* name;
    SANE_Int option;
    SANE_Action action;
    SANE_Word word;
    const char* string;
  } cases[] = {
      {"mode Gray", kOptMode, SANE_ACTION_SET_VALUE, 0, "Gray"},
      {"source Quarter", kOptSource, SANE_ACTION_SET_VALUE, 0, "Quarter"},
      {"preview 2", kOptPreview, SANE_ACTION_SET_VALUE, 2, nullptr},
      {"lamp 7", kOptLamp, SANE_ACTION_SET_VALUE, 7, nullptr},
      {"option count", kOptCount, SANE_ACTION_SET_VALUE, 3, nullptr},
      {"a group", kOptGeometryGroup, SANE_ACTION_SET_VALUE, 0, nullptr},
      {"option -1", -1, SANE_ACTION_GET_VALUE, 0, nullptr},
      {"option past the end", kOptionCount, SANE_ACTION_SET_VALUE, 0, nullptr},
      {"automatic resolution", kOptResolution, SANE_ACTION_SET_AUTO, 0, nullptr},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    SANE_Int info = -1;
    std::string text = c.string != nullptr ? c.string : "";
    void* value = c.string != nullptr ? static_cast<void*>(text.data()) : &c.word;
    EXPECT_EQ(options_.Control(c.option, c.action, value, &info), SANE_STATUS_INVAL);
    EXPECT_EQ(info, 0);
  }
  EXPECT_TRUE(camera_.words.empty());
  const SANE_Parameters after = options_.Parameters();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(GetString(kOptMode), "Color");
}

// Catches: a number off its constraint kept as given, or moved without
// telling the front-end (SANE_INFO_INEXACT and the value written back).
TEST_F(OptionTableTest, NumbersOffTheirConstraintMoveToTheNearestAllowed) {
  struct {
    SANE_Int option;
    SANE_Word given, kept;
  } cases[] = {
      {kOptResolution, 300, kFullDpi},
      {kOptResolution, 60, kHalfDpi},
      {kOptResolution, 75, kFullDpi},
      {kOptResolution, 2147483647, kFullDpi},  // no overflow on the way
      {kOptResolution, -5, kHalfDpi},
      {kOptTlX, SANE_FIX(-5), 0},
      {kOptBrX, SANE_FIX(400), SANE_FIX(325.12)},
      {kOptBrY, SANE_FIX(250), SANE_FIX(243.84)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.given);
    SANE_Int info = 0;
    SANE_Word value = c.given;
    ASSERT_EQ(SetWord(c.option, value, &info), SANE_STATUS_GOOD);
    EXPECT_TRUE(info & SANE_INFO_INEXACT);
    EXPECT_EQ(value, c.kept);
    EXPECT_EQ(GetWord(c.option), c.kept);
  }
}

// Catches: a camera control that sends the wrong command word, or reads its
// state from the wrong status bit.
TEST_F(OptionTableTest, CameraControlsSendTheirCommandWords) {
  struct {
    SANE_Int option;
    SANE_Word value;
    uint32_t word;
  } cases[] = {
      {kOptLamp, SANE_TRUE, 0x00030005},      {kOptLamp, SANE_FALSE, 0x0003000A},
      {kOptTextImage, SANE_TRUE, 0x00090005}, {kOptTextImage, SANE_FALSE, 0x0009000A},
      {kOptFreeze, SANE_TRUE, 0x00120005},    {kOptFreeze, SANE_FALSE, 0x0012000A},
      {kOptAutofocus, 0, 0x00020005},         {kOptAutoColour, 0, 0x00010005},
      {kOptRecallPreset1, 0, 0x00180001},     {kOptRecallPreset4, 0, 0x00180004},
  };
  for (auto& c : cases) {
    camera_.words.clear();
    SANE_Word value = c.value;
    ASSERT_EQ(SetWord(c.option, value), SANE_STATUS_GOOD);
    EXPECT_EQ(camera_.words, std::vector<uint32_t>{c.word}) << options_.Descriptor(c.option)->name;
  }

  // 0x61802804: lamp on, freeze on, aperture on; 0x61802400: all off.
  for (const auto& [status, on] : {std::pair{0x61802804u, SANE_TRUE}, {0x61802400u, SANE_FALSE}}) {
    camera_.status = status;
    for (const SANE_Int option : {kOptLamp, kOptFreeze, kOptTextImage}) {
      EXPECT_EQ(GetWord(option), on) << options_.Descriptor(option)->name;
    }
  }
}

}  // namespace
}  // namespace rd420::sane
