#include "sane/scan_options.h"

#include <sane/saneopts.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "wire/command_words.h"
#include "wire/status_word.h"

namespace rd420::sane {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr SANE_Int kWordBytes = sizeof(SANE_Word);

constexpr SANE_String_Const kColour = SANE_VALUE_SCAN_MODE_COLOR;
constexpr SANE_String_Const kModes[] = {kColour, nullptr};
constexpr SANE_String_Const kFull = "Full";
constexpr SANE_String_Const kHalf = "Half";
constexpr SANE_String_Const kSources[] = {kFull, kHalf, nullptr};
constexpr SANE_Word kResolutions[] = {2, kHalfDpi, kFullDpi};

// The stage is the full frame at 100 dpi: 1280 pixels are 325.12 mm.
double StageMm(int fullPixels) {
  return fullPixels * kMmPerInch / kFullDpi;
}

SANE_Option_Descriptor Group(SANE_String_Const name, SANE_String_Const title, SANE_Int cap = 0) {
  SANE_Option_Descriptor d{};
  d.name = name;
  d.title = title;
  d.desc = "";
  d.type = SANE_TYPE_GROUP;
  d.cap = cap;
  return d;
}

SANE_Option_Descriptor Value(SANE_String_Const name, SANE_String_Const title,
                             SANE_String_Const desc, SANE_Value_Type type, SANE_Unit unit,
                             SANE_Int cap) {
  SANE_Option_Descriptor d{};
  d.name = name;
  d.title = title;
  d.desc = desc;
  d.type = type;
  d.unit = unit;
  d.size = type == SANE_TYPE_BUTTON ? 0 : kWordBytes;
  d.cap = cap;
  return d;
}

SANE_Option_Descriptor StringList(SANE_String_Const name, SANE_String_Const title,
                                  SANE_String_Const desc, const SANE_String_Const* list) {
  SANE_Option_Descriptor d = Value(name, title, desc, SANE_TYPE_STRING, SANE_UNIT_NONE,
                                   SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT);
  size_t longest = 0;
  for (const SANE_String_Const* item = list; *item != nullptr; ++item) {
    longest = std::max(longest, std::strlen(*item));
  }
  d.size = static_cast<SANE_Int>(longest + 1);
  d.constraint_type = SANE_CONSTRAINT_STRING_LIST;
  d.constraint.string_list = list;
  return d;
}

// The entry of `list` that equals `text` but for case, as SANE front-ends
// type them; null when there is none.
SANE_String_Const FindString(const SANE_String_Const* list, const char* text) {
  for (const SANE_String_Const* item = list; *item != nullptr; ++item) {
    if (strcasecmp(*item, text) == 0) {
      return *item;
    }
  }
  return nullptr;
}

bool IsBool(SANE_Word word) {
  return word == SANE_TRUE || word == SANE_FALSE;
}

int Pixels(SANE_Fixed mm, int dpi, int limit) {
  const long pixels = std::lround(SANE_UNFIX(mm) * dpi / kMmPerInch);
  return static_cast<int>(std::clamp<long>(pixels, 0, limit));
}

// One side of the scan area in pixels: at least one pixel, inside the frame,
// whichever way round the front-end gave the edges.
std::pair<int, int> Span(SANE_Fixed from, SANE_Fixed to, int dpi, int limit) {
  int first = Pixels(std::min(from, to), dpi, limit);
  int last = Pixels(std::max(from, to), dpi, limit);
  if (first == last) {
    if (last < limit) {
      ++last;
    } else {
      --first;
    }
  }
  return {first, last - first};
}

// A camera function with two states: the words that set them and the
// status bit that shows which one the camera is in.
struct CameraSwitch {
  Option option;
  uint32_t onWord;
  uint32_t offWord;
  uint32_t statusBit;
  bool bitMeansOn;
};

constexpr CameraSwitch kSwitches[] = {
    {kOptLamp, kCmdLampOn, kCmdLampOff, kStatusLamp, true},
    {kOptTextImage, kCmdApertureOn, kCmdApertureOff, kStatusApertureOff, false},
    {kOptFreeze, kCmdFreezeOn, kCmdFreezeOff, kStatusFreeze, true},
};

const CameraSwitch& SwitchFor(SANE_Int option) {
  return *std::find_if(std::begin(kSwitches), std::end(kSwitches),
                       [option](const CameraSwitch& s) { return s.option == option; });
}

uint32_t ButtonWord(SANE_Int option) {
  switch (option) {
    case kOptAutofocus:
      return kCmdAutoFocus;
    case kOptAutoColour:
      return kCmdAutoWhite;
    default:
      return kCmdRecallPreset | static_cast<uint32_t>(option - kOptRecallPreset1 + 1);
  }
}

}  // namespace

ScanOptions::ScanOptions(CameraControls& camera) : camera_(camera), source_(kFull) {
  constexpr SANE_Int kSettable = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
  constexpr SANE_Int kCamera = kSettable | SANE_CAP_ADVANCED;
  // SANE wants every settable option detectable too, buttons included.
  constexpr SANE_Int kCameraButton = kCamera;
  auto& d = descriptors_;

  d[kOptCount] = Value(SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS,
                       SANE_TYPE_INT, SANE_UNIT_NONE, SANE_CAP_SOFT_DETECT);

  d[kOptStandardGroup] = Group(SANE_NAME_STANDARD, SANE_TITLE_STANDARD);
  d[kOptMode] = StringList(SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE, SANE_DESC_SCAN_MODE, kModes);
  d[kOptResolution] = Value(SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION,
                            SANE_DESC_SCAN_RESOLUTION, SANE_TYPE_INT, SANE_UNIT_DPI, kSettable);
  d[kOptResolution].constraint_type = SANE_CONSTRAINT_WORD_LIST;
  d[kOptResolution].constraint.word_list = kResolutions;
  d[kOptSource] = StringList(SANE_NAME_SCAN_SOURCE, SANE_TITLE_SCAN_SOURCE,
                             "Full frame (1280 pixels wide) or half frame (640 wide).", kSources);
  d[kOptPreview] = Value(SANE_NAME_PREVIEW, SANE_TITLE_PREVIEW, SANE_DESC_PREVIEW, SANE_TYPE_BOOL,
                         SANE_UNIT_NONE, kSettable);

  d[kOptGeometryGroup] = Group(SANE_NAME_GEOMETRY, SANE_TITLE_GEOMETRY);
  const struct {
    Option option;
    SANE_String_Const name, title, desc;
    const SANE_Range* range;
  } edges[] = {
      {kOptTlX, SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X, SANE_DESC_SCAN_TL_X, &xRange_},
      {kOptTlY, SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y, SANE_DESC_SCAN_TL_Y, &yRange_},
      {kOptBrX, SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X, &xRange_},
      {kOptBrY, SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y, &yRange_},
  };
  for (const auto& edge : edges) {
    d[edge.option] =
        Value(edge.name, edge.title, edge.desc, SANE_TYPE_FIXED, SANE_UNIT_MM, kSettable);
    d[edge.option].constraint_type = SANE_CONSTRAINT_RANGE;
    d[edge.option].constraint.range = edge.range;
  }

  d[kOptCameraGroup] = Group("camera", "Camera", SANE_CAP_ADVANCED);
  d[kOptLamp] = Value("lamp", "Lamp", "Switches the stage lamp on or off.", SANE_TYPE_BOOL,
                      SANE_UNIT_NONE, kCamera);
  d[kOptTextImage] =
      Value("text-image", "Text and image mode", "The camera's text-and-image (aperture) mode.",
            SANE_TYPE_BOOL, SANE_UNIT_NONE, kCamera);
  d[kOptFreeze] = Value("freeze", "Freeze", "Holds the camera's picture.", SANE_TYPE_BOOL,
                        SANE_UNIT_NONE, kCamera);
  d[kOptAutofocus] = Value(SANE_NAME_AUTOFOCUS, SANE_TITLE_AUTOFOCUS, "Focuses the camera once.",
                           SANE_TYPE_BUTTON, SANE_UNIT_NONE, kCameraButton);
  d[kOptAutoColour] = Value("auto-colour", "Auto colour", "Adjusts the colour balance once.",
                            SANE_TYPE_BUTTON, SANE_UNIT_NONE, kCameraButton);
  static constexpr SANE_String_Const kPresetNames[][2] = {
      {"recall-preset-1", "Recall preset 1"},
      {"recall-preset-2", "Recall preset 2"},
      {"recall-preset-3", "Recall preset 3"},
      {"recall-preset-4", "Recall preset 4"},
  };
  for (int i = 0; i < 4; ++i) {
    d[kOptRecallPreset1 + i] =
        Value(kPresetNames[i][0], kPresetNames[i][1],
              "Moves zoom, focus and brightness to a preset stored on the camera.",
              SANE_TYPE_BUTTON, SANE_UNIT_NONE, kCameraButton);
  }

  xRange_ = {0, SANE_FIX(StageMm(FrameGeometryFor(true, Resolution::kFull).width)), 0};
  SetStageHeight();
  area_ = {0, 0, xRange_.max, yRange_.max};  // the whole stage
}

void ScanOptions::SetStageHeight() {
  const SANE_Fixed oldMax = yRange_.max;
  yRange_ = {0, SANE_FIX(StageMm(FrameGeometryFor(aspect43_, Resolution::kFull).height)), 0};
  // A scan area that reached the old bottom edge reaches the new one.
  for (SANE_Fixed* edge : {&area_[1], &area_[3]}) {
    *edge = *edge == oldMax ? yRange_.max : std::min(*edge, yRange_.max);
  }
}

void ScanOptions::SetAspect43(bool aspect43) {
  if (aspect43 != aspect43_) {
    aspect43_ = aspect43;
    SetStageHeight();
  }
}

const SANE_Option_Descriptor* ScanOptions::Descriptor(SANE_Int option) const {
  if (option < 0 || option >= kOptionCount) {
    return nullptr;
  }
  return &descriptors_[static_cast<size_t>(option)];
}

Resolution ScanOptions::FrameResolution() const {
  // A preview is for speed: the half frame comes in a quarter of the bytes.
  return preview_ == SANE_TRUE || source_ == kHalf ? Resolution::kHalf : Resolution::kFull;
}

Crop ScanOptions::ScanCrop() const {
  const FrameGeometry frame = Geometry();
  const int dpi = FrameResolution() == Resolution::kFull ? kFullDpi : kHalfDpi;
  const auto [x, width] = Span(area_[0], area_[2], dpi, frame.width);
  const auto [y, height] = Span(area_[1], area_[3], dpi, frame.height);
  return {x, y, width, height};
}

SANE_Parameters ScanOptions::Parameters() const {
  const Crop crop = ScanCrop();
  SANE_Parameters p{};
  p.format = SANE_FRAME_RGB;
  p.last_frame = SANE_TRUE;
  p.pixels_per_line = crop.width;
  p.bytes_per_line = crop.width * 3;
  p.lines = crop.height;
  p.depth = 8;
  return p;
}

SANE_Status ScanOptions::Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info) {
  if (info != nullptr) {
    *info = 0;
  }
  const SANE_Option_Descriptor* d = Descriptor(option);
  if (d == nullptr || !SANE_OPTION_IS_ACTIVE(d->cap) || d->type == SANE_TYPE_GROUP) {
    return SANE_STATUS_INVAL;
  }
  switch (action) {
    case SANE_ACTION_GET_VALUE:
      if (value == nullptr || d->type == SANE_TYPE_BUTTON) {
        return SANE_STATUS_INVAL;
      }
      return Get(option, value);
    case SANE_ACTION_SET_VALUE:
      if (!SANE_OPTION_IS_SETTABLE(d->cap) || (value == nullptr && d->type != SANE_TYPE_BUTTON)) {
        return SANE_STATUS_INVAL;
      }
      return Set(option, value, info);
    default:
      return SANE_STATUS_INVAL;  // no option is automatic
  }
}

SANE_Status ScanOptions::Get(SANE_Int option, void* value) {
  auto* word = static_cast<SANE_Word*>(value);
  switch (option) {
    case kOptCount:
      *word = kOptionCount;
      return SANE_STATUS_GOOD;
    case kOptMode:
      std::strcpy(static_cast<char*>(value), kColour);
      return SANE_STATUS_GOOD;
    case kOptResolution:
      *word = source_ == kHalf ? kHalfDpi : kFullDpi;
      return SANE_STATUS_GOOD;
    case kOptSource:
      std::strcpy(static_cast<char*>(value), source_.c_str());
      return SANE_STATUS_GOOD;
    case kOptPreview:
      *word = preview_;
      return SANE_STATUS_GOOD;
    case kOptTlX:
    case kOptTlY:
    case kOptBrX:
    case kOptBrY:
      *word = area_[static_cast<size_t>(option - kOptTlX)];
      return SANE_STATUS_GOOD;
    default: {  // a camera switch: what the camera says now
      uint32_t status = 0;
      const SANE_Status read = camera_.ReadStatus(status);
      if (read == SANE_STATUS_GOOD) {
        const CameraSwitch& s = SwitchFor(option);
        *word = ((status & s.statusBit) != 0) == s.bitMeansOn ? SANE_TRUE : SANE_FALSE;
      }
      return read;
    }
  }
}

SANE_Status ScanOptions::Set(SANE_Int option, void* value, SANE_Int* info) {
  SANE_Int changes = 0;
  auto* word = static_cast<SANE_Word*>(value);
  switch (option) {
    case kOptMode:
      if (FindString(kModes, static_cast<const char*>(value)) == nullptr) {
        return SANE_STATUS_INVAL;
      }
      break;
    case kOptResolution: {
      // The nearer of the two; 75 dpi, half-way, takes the full frame.
      const SANE_Word dpi = *word >= (kHalfDpi + kFullDpi) / 2 ? kFullDpi : kHalfDpi;
      if (dpi != *word) {
        *word = dpi;
        changes |= SANE_INFO_INEXACT;
      }
      source_ = dpi == kFullDpi ? kFull : kHalf;
      changes |= SANE_INFO_RELOAD_PARAMS | SANE_INFO_RELOAD_OPTIONS;
      break;
    }
    case kOptSource: {
      const SANE_String_Const source = FindString(kSources, static_cast<const char*>(value));
      if (source == nullptr) {
        return SANE_STATUS_INVAL;
      }
      source_ = source;
      changes |= SANE_INFO_RELOAD_PARAMS | SANE_INFO_RELOAD_OPTIONS;
      break;
    }
    case kOptPreview:
      if (!IsBool(*word)) {
        return SANE_STATUS_INVAL;
      }
      preview_ = *word;
      changes |= SANE_INFO_RELOAD_PARAMS;
      break;
    case kOptTlX:
    case kOptTlY:
    case kOptBrX:
    case kOptBrY: {
      const SANE_Range& range = *descriptors_[static_cast<size_t>(option)].constraint.range;
      const SANE_Fixed mm = std::clamp(*word, range.min, range.max);
      if (mm != *word) {
        *word = mm;
        changes |= SANE_INFO_INEXACT;
      }
      area_[static_cast<size_t>(option - kOptTlX)] = mm;
      changes |= SANE_INFO_RELOAD_PARAMS;
      break;
    }
    case kOptLamp:
    case kOptTextImage:
    case kOptFreeze:
      if (!IsBool(*word)) {
        return SANE_STATUS_INVAL;
      }
      return SetCameraBool(option, *word);
    default:  // a camera button
      return camera_.SendWord(ButtonWord(option));
  }
  if (info != nullptr) {
    *info = changes;
  }
  return SANE_STATUS_GOOD;
}

SANE_Status ScanOptions::SetCameraBool(SANE_Int option, SANE_Bool on) {
  const CameraSwitch& s = SwitchFor(option);
  return camera_.SendWord(on == SANE_TRUE ? s.onWord : s.offWord);
}

}  // namespace rd420::sane
