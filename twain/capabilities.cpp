#include "twain/capabilities.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace rd420::twain {

TW_FIX32 FloatToFix32(float value) {
  double scaled = static_cast<double>(value) * 65536.0 + 0.5;
  // Out-of-range values would make the cast undefined; none of ours are.
  scaled = std::clamp(scaled, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                      static_cast<double>(std::numeric_limits<std::int32_t>::max()));
  auto fixed = static_cast<std::int32_t>(scaled);
  TW_FIX32 result;
  result.Whole = static_cast<TW_INT16>(fixed >> 16);
  result.Frac = static_cast<TW_UINT16>(fixed & 0xFFFF);
  return result;
}

float Fix32ToFloat(TW_FIX32 value) {
  return static_cast<float>(value.Whole + value.Frac / 65536.0);
}

CapValue CapValue::Word(std::uint16_t value) {
  CapValue item;
  std::memcpy(item.bytes.data(), &value, sizeof value);
  return item;
}

CapValue CapValue::Real(float value) {
  CapValue item;
  std::memcpy(item.bytes.data(), &value, sizeof value);
  return item;
}

CapValue CapValue::Frame(float left, float top, float right, float bottom) {
  CapValue item;
  const float edges[4] = {left, top, right, bottom};
  std::memcpy(item.bytes.data(), edges, sizeof edges);
  return item;
}

CapValue CapValue::Text(std::string_view text) {
  CapValue item;
  std::memcpy(item.bytes.data(), text.data(), std::min<size_t>(text.size(), 32));
  return item;
}

std::uint16_t CapValue::AsWord() const {
  std::uint16_t value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

float CapValue::AsReal() const {
  float value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

namespace {

constexpr TW_UINT32 kReadOnly = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
constexpr TW_UINT32 kSettable = kReadOnly | TWQC_SET | TWQC_RESET;
// ICAP_BITDEPTH is answered from the record of the current pixel type.
constexpr TW_UINT16 kBitDepthRecordBase = 0x9000;

constexpr TW_UINT16 kSupportedCaps[] = {
    CAP_SUPPORTEDCAPS,
    CAP_FEEDERENABLED,
    ICAP_XFERMECH,
    ICAP_PIXELFLAVOR,
    ICAP_PLANARCHUNKY,
    ICAP_COMPRESSION,
    ICAP_PHYSICALWIDTH,
    ICAP_PHYSICALHEIGHT,
    ICAP_MINIMUMHEIGHT,
    ICAP_MINIMUMWIDTH,
    ICAP_UNITS,
    CAP_DEVICEONLINE,
    CAP_AUTOFEED,
    CAP_FEEDERLOADED,
    ICAP_AUTOBRIGHT,
    ICAP_BRIGHTNESS,
    ICAP_CONTRAST,
    ICAP_HIGHLIGHT,
    ICAP_ORIENTATION,
    ICAP_SHADOW,
    ICAP_XSCALING,
    ICAP_YSCALING,
    ICAP_PIXELTYPE,
    ICAP_BITDEPTH,
    ICAP_BITDEPTHREDUCTION,
    ICAP_BITORDER,
    ICAP_HALFTONES,
    ICAP_THRESHOLD,
    ICAP_FRAMES,
    ICAP_MAXFRAMES,
    ICAP_SUPPORTEDSIZES,
    ICAP_XNATIVERESOLUTION,
    ICAP_YNATIVERESOLUTION,
    ICAP_XRESOLUTION,
    ICAP_YRESOLUTION,
    CAP_XFERCOUNT,
    ICAP_IMAGEFILEFORMAT,
    ICAP_UNDEFINEDIMAGESIZE,
    CAP_INDICATORS,
    CAP_UICONTROLLABLE,
};
static_assert(std::size(kSupportedCaps) == 40);

CapValues Words(std::initializer_list<std::uint16_t> allowed, std::uint16_t value) {
  CapValues values;
  for (std::uint16_t word : allowed) {
    values.allowed.push_back(CapValue::Word(word));
  }
  values.defaultValue = values.current = CapValue::Word(value);
  return values;
}

CapValues Reals(std::initializer_list<float> allowed, float value) {
  CapValues values;
  for (float real : allowed) {
    values.allowed.push_back(CapValue::Real(real));
  }
  values.defaultValue = values.current = CapValue::Real(value);
  return values;
}

size_t ItemBytes(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_FIX32:
    case TWTY_UINT32:
      return 4;
    case TWTY_FRAME:
      return sizeof(TW_FRAME);
    case TWTY_STR32:
      return sizeof(TW_STR32);
    default:
      return 2;
  }
}

// Writes one item as it travels in a container: FIX32 converted from the
// stored float, a string with at most 32 characters and zeros after.
void EncodeItem(TW_UINT16 itemType, const CapValue& value, std::uint8_t* out) {
  switch (itemType) {
    case TWTY_FIX32: {
      TW_FIX32 fixed = FloatToFix32(value.AsReal());
      std::memcpy(out, &fixed, sizeof fixed);
      break;
    }
    case TWTY_FRAME:
      for (int edge = 0; edge < 4; ++edge) {
        float real;
        std::memcpy(&real, value.bytes.data() + 4 * edge, sizeof real);
        TW_FIX32 fixed = FloatToFix32(real);
        std::memcpy(out + 4 * edge, &fixed, sizeof fixed);
      }
      break;
    case TWTY_STR32:
      std::memset(out, 0, sizeof(TW_STR32));
      std::memcpy(out, value.bytes.data(),
                  strnlen(reinterpret_cast<const char*>(value.bytes.data()), 32));
      break;
    default:
      std::memcpy(out, value.bytes.data(), 2);
      break;
  }
}

// Reads one item of an application's container; never more than the
// item's own width, and a string stops at 32 characters.
CapValue DecodeItem(TW_UINT16 itemType, const std::uint8_t* in) {
  switch (itemType) {
    case TWTY_FIX32: {
      TW_FIX32 fixed;
      std::memcpy(&fixed, in, sizeof fixed);
      return CapValue::Real(Fix32ToFloat(fixed));
    }
    case TWTY_FRAME: {
      TW_FIX32 edges[4];
      std::memcpy(edges, in, sizeof edges);
      return CapValue::Frame(Fix32ToFloat(edges[0]), Fix32ToFloat(edges[1]), Fix32ToFloat(edges[2]),
                             Fix32ToFloat(edges[3]));
    }
    case TWTY_STR32: {
      const char* text = reinterpret_cast<const char*>(in);
      return CapValue::Text(std::string_view(text, strnlen(text, 32)));
    }
    default: {
      std::uint16_t word;
      std::memcpy(&word, in, sizeof word);
      return CapValue::Word(word);
    }
  }
}

std::uint32_t IndexOf(const std::vector<CapValue>& allowed, const CapValue& value) {
  auto found = std::find(allowed.begin(), allowed.end(), value);
  return static_cast<std::uint32_t>(found - allowed.begin());
}

}  // namespace

CapabilityStore::CapabilityStore() {
  for (TW_UINT16 cap : kSupportedCaps) {
    supportedCaps_.allowed.push_back(CapValue::Word(cap));
  }
  feederEnabled_ = Words({kTwTrue}, kTwFalse);
  pixelFlavor_ = Words({TWPF_CHOCOLATE, TWPF_VANILLA}, TWPF_CHOCOLATE);
  xferMech_ = Words({TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}, TWSX_NATIVE);
  planarChunky_ = Words({TWPC_CHUNKY, TWPC_PLANAR}, TWPC_CHUNKY);
  compression_ = Words({TWCP_NONE}, TWCP_NONE);
  minimumWidth_ = Reals({1.0f}, 1.0f);
  minimumHeight_ = Reals({1.0f}, 1.0f);
  physicalWidth_ = Reals({8.5f}, 8.5f);
  physicalHeight_ = Reals({11.0f}, 11.0f);
  units_ = Words({TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS}, TWUN_INCHES);
  deviceOnline_ = Words({kTwTrue, kTwFalse}, kTwTrue);
  autoFeed_ = Words({kTwTrue, kTwFalse}, kTwFalse);
  feederLoaded_ = Words({kTwFalse, kTwTrue}, kTwFalse);
  autoBright_ = Words({kTwTrue, kTwFalse}, kTwFalse);
  brightness_ = Reals({-1000.0f, 1000.0f, 1000.0f}, 0.0f);
  contrast_ = Reals({-1000.0f, 1000.0f, 1000.0f}, 0.0f);
  highlight_ = Reals({0.0f, 255.0f, 1.0f}, 128.0f);
  orientation_ = Words({TWOR_ROT0, TWOR_ROT90, TWOR_ROT180, TWOR_ROT270}, TWOR_ROT0);
  shadow_ = Reals({0.0f, 255.0f, 1.0f}, 128.0f);
  scaling_ = Reals({100.0f}, 100.0f);
  rgbBitDepth_ = Words({24}, 24);
  pixelType_ = Words({TWPT_RGB}, TWPT_RGB);
  bitDepthReduction_ = Words({TWBR_THRESHOLD, TWBR_HALFTONE, TWBR_DIFFUSION}, TWBR_THRESHOLD);
  bitOrder_ = Words({TWBO_MSBFIRST, TWBO_LSBFIRST}, TWBO_MSBFIRST);
  threshold_ = Reals({0.0f, 255.0f, 1.0f, 0.0f, 0.0f}, 128.0f);
  halftones_.allowed = {CapValue::Text("FLOYD/STEINBURG"), CapValue::Text("ORDERED")};
  halftones_.defaultValue = halftones_.current = halftones_.allowed[0];
  frames_.allowed = {CapValue::Frame(0.0f, 0.0f, 8.5f, 11.0f)};
  frames_.defaultValue = frames_.current = frames_.allowed[0];
  maxFrames_ = Words({1}, 1);
  supportedSizes_ = Words({TWSS_USLETTER}, TWSS_USLETTER);
  xNativeResolution_ = Reals({100.0f}, 100.0f);
  yNativeResolution_ = Reals({100.0f}, 100.0f);
  resolution_ = Reals({100.0f}, 100.0f);
  xferCount_.allowed.push_back(CapValue::Word(0xFFFF));
  for (std::uint16_t count = 1; count <= 25; ++count) {
    xferCount_.allowed.push_back(CapValue::Word(count));
  }
  xferCount_.defaultValue = xferCount_.current = CapValue::Word(0xFFFF);
  imageFileFormat_ = Words({TWFF_TIFF, TWFF_BMP}, TWFF_BMP);
  undefinedImageSize_ = Words({kTwFalse, kTwTrue}, kTwFalse);
  indicators_ = Words({kTwTrue, kTwFalse}, kTwTrue);
  uiControllable_ = Words({kTwTrue, kTwFalse}, kTwTrue);
}

void CapabilityStore::BuildTable() {
  const TW_UINT16 E = TWON_ENUMERATION, O = TWON_ONEVALUE, R = TWON_RANGE, A = TWON_ARRAY;
  const TW_UINT16 U16 = TWTY_UINT16, B = TWTY_BOOL, F = TWTY_FIX32;
  table_ = {
      {CAP_SUPPORTEDCAPS, U16, A, A, kReadOnly, &supportedCaps_},
      {CAP_FEEDERENABLED, B, O, O, kSettable, &feederEnabled_},
      {ICAP_PIXELFLAVOR, U16, E, O, kSettable, &pixelFlavor_},
      {ICAP_XFERMECH, U16, E, O, kSettable, &xferMech_},
      {ICAP_PLANARCHUNKY, U16, E, O, kReadOnly, &planarChunky_},
      {ICAP_COMPRESSION, U16, E, O, kSettable, &compression_},
      {ICAP_MINIMUMWIDTH, F, O, O, kReadOnly, &minimumWidth_},
      {ICAP_MINIMUMHEIGHT, F, O, O, kReadOnly, &minimumHeight_},
      {ICAP_PHYSICALWIDTH, F, O, O, kReadOnly, &physicalWidth_},
      {ICAP_PHYSICALHEIGHT, F, O, O, kReadOnly, &physicalHeight_},
      {ICAP_UNITS, U16, E, O, kSettable, &units_},
      {CAP_DEVICEONLINE, B, O, O, kReadOnly, &deviceOnline_},
      {CAP_AUTOFEED, B, O, O, kReadOnly, &autoFeed_},
      {CAP_FEEDERLOADED, B, O, O, kReadOnly, &feederLoaded_},
      {ICAP_AUTOBRIGHT, B, O, O, kSettable, &autoBright_},
      {ICAP_BRIGHTNESS, F, R, O, kSettable, &brightness_},
      {ICAP_CONTRAST, F, R, O, kSettable, &contrast_},
      {ICAP_HIGHLIGHT, F, R, O, kSettable, &highlight_},
      {ICAP_ORIENTATION, U16, E, O, kSettable, &orientation_},
      {ICAP_SHADOW, F, R, O, kSettable, &shadow_},
      {ICAP_XSCALING, F, E, O, kSettable, &scaling_},
      {ICAP_YSCALING, F, E, O, kSettable, &scaling_},
      {kBitDepthRecordBase + TWPT_RGB, U16, E, O, kSettable, &rgbBitDepth_},
      {ICAP_PIXELTYPE, U16, E, O, kSettable, &pixelType_},
      {ICAP_BITDEPTHREDUCTION, U16, E, O, kSettable, &bitDepthReduction_},
      {ICAP_BITORDER, U16, E, O, kReadOnly, &bitOrder_},
      {ICAP_THRESHOLD, F, R, O, kSettable, &threshold_},
      {ICAP_HALFTONES, TWTY_STR32, E, O, kSettable, &halftones_},
      {ICAP_FRAMES, TWTY_FRAME, O, O, kSettable, &frames_},
      {ICAP_MAXFRAMES, U16, O, O, kReadOnly, &maxFrames_},
      {ICAP_SUPPORTEDSIZES, U16, E, O, kSettable, &supportedSizes_},
      {ICAP_XNATIVERESOLUTION, F, O, O, kReadOnly, &xNativeResolution_},
      {ICAP_YNATIVERESOLUTION, F, O, O, kReadOnly, &yNativeResolution_},
      {ICAP_XRESOLUTION, F, E, O, kSettable, &resolution_},
      {ICAP_YRESOLUTION, F, E, O, kSettable, &resolution_},
      {CAP_XFERCOUNT, TWTY_INT16, O, O, kSettable, &xferCount_},
      {ICAP_IMAGEFILEFORMAT, U16, E, O, kSettable, &imageFileFormat_},
      {ICAP_UNDEFINEDIMAGESIZE, B, O, O, kSettable, &undefinedImageSize_},
      {CAP_INDICATORS, B, O, O, kSettable, &indicators_},
      {CAP_UICONTROLLABLE, B, O, O, kReadOnly, &uiControllable_},
  };
}

void CapabilityStore::ClearTable() {
  table_.clear();
}

TW_UINT16 CapabilityStore::BitDepth(TW_UINT16 pixelType) const {
  switch (pixelType) {
    case TWPT_BW:
      return bwBitDepth_;
    case TWPT_GRAY:
      return grayBitDepth_;
    case TWPT_RGB:
      return rgbBitDepth_.current.AsWord();
    default:
      return 0;
  }
}

void CapabilityStore::SetStillValues() {
  feederEnabled_.current = CapValue::Word(kTwFalse);
  resolution_.current = CapValue::Real(100.0f);
  scaling_.current = CapValue::Real(100.0f);
  supportedSizes_.current = CapValue::Word(TWSS_USLETTER);
  pixelType_.current = CapValue::Word(TWPT_RGB);
  rgbBitDepth_.current = CapValue::Word(24);
}

bool CapabilityStore::SetImageFileFormat(TW_UINT16 format) {
  const CapValue value = CapValue::Word(format);
  const std::vector<CapValue>& allowed = imageFileFormat_.allowed;
  if (std::find(allowed.begin(), allowed.end(), value) == allowed.end()) {
    return false;
  }
  imageFileFormat_.current = value;
  return true;
}

const CapabilityRecord* CapabilityStore::Find(TW_UINT16 cap) const {
  for (const CapabilityRecord& record : table_) {
    if (record.Cap == cap) {
      return &record;
    }
  }
  return nullptr;
}

TW_UINT16 CapabilityStore::Handle(TW_UINT16 msg, TW_CAPABILITY* capability, bool protocol15,
                                  std::int32_t pendingCount, TW_UINT16& conditionCode) {
  conditionCode = TWCC_CAPUNSUPPORTED;
  TW_UINT16 result = TWRC_FAILURE;
  TW_UINT16 cap = capability->Cap;
  if (cap == ICAP_BITDEPTH) {
    cap = static_cast<TW_UINT16>(kBitDepthRecordBase + PixelType());
  }
  const CapabilityRecord* record = Find(cap);
  if (record != nullptr) {
    const CapValues& values = *record->values;
    auto replyWith = [&](TW_UINT32 bit, TW_UINT16 container, const CapValue& value) {
      if ((record->Support & bit) == 0) {
        conditionCode = TWCC_CAPBADOPERATION;
        return;
      }
      if (!Reply(*record, container, value, *capability)) {
        conditionCode = TWCC_LOWMEMORY;
        return;
      }
      conditionCode = TWCC_SUCCESS;
      result = TWRC_SUCCESS;
    };
    switch (msg) {
      case MSG_GET:
        if (record->Cap == CAP_FEEDERLOADED) {
          feederLoaded_.current = CapValue::Word(pendingCount != 0 ? kTwTrue : kTwFalse);
        }
        replyWith(TWQC_GET, record->GetContainer, values.current);
        break;
      case MSG_GETCURRENT:
        replyWith(TWQC_GETCURRENT, record->CurrentContainer, values.current);
        break;
      case MSG_GETDEFAULT:
        replyWith(TWQC_GETDEFAULT, record->CurrentContainer, values.defaultValue);
        break;
      case MSG_RESET:
        if (record->Support & TWQC_RESET) {
          record->values->current = values.defaultValue;
        }
        replyWith(TWQC_RESET, record->CurrentContainer, values.defaultValue);
        break;
      case MSG_SET:
        if ((record->Support & TWQC_SET) == 0) {
          conditionCode = TWCC_CAPBADOPERATION;
        } else {
          result = Set(*record, *capability, conditionCode);
        }
        break;
      case MSG_QUERYSUPPORT: {
        auto* one = static_cast<TW_ONEVALUE*>(std::calloc(1, sizeof(TW_ONEVALUE)));
        if (one == nullptr) {
          conditionCode = TWCC_LOWMEMORY;
          break;
        }
        one->ItemType = TWTY_UINT32;
        one->Item = record->Support;
        capability->ConType = TWON_ONEVALUE;
        capability->hContainer = one;
        conditionCode = TWCC_SUCCESS;
        result = TWRC_SUCCESS;
        break;
      }
      default:
        break;  // MSG_GETFIRST, MSG_GETNEXT and unknown messages
    }
  }
  if (protocol15 && conditionCode > TWCC_BADDEST) {
    conditionCode = TWCC_BADCAP;
  }
  return result;
}

// Builds a new container the application frees with free(), as the Linux
// manager's memory functions do.
bool CapabilityStore::Reply(const CapabilityRecord& record, TW_UINT16 containerType,
                            const CapValue& value, TW_CAPABILITY& capability) const {
  const CapValues& values = *record.values;
  const size_t itemBytes = ItemBytes(record.ItemType);
  const size_t count = values.allowed.size();
  std::uint8_t* block = nullptr;
  switch (containerType) {
    case TWON_ONEVALUE: {
      block = static_cast<std::uint8_t*>(
          std::calloc(1, offsetof(TW_ONEVALUE, Item) + std::max<size_t>(itemBytes, 4)));
      if (block == nullptr) {
        return false;
      }
      auto* one = reinterpret_cast<TW_ONEVALUE*>(block);
      one->ItemType = record.ItemType;
      EncodeItem(record.ItemType, value, block + offsetof(TW_ONEVALUE, Item));
      break;
    }
    case TWON_ENUMERATION: {
      block = static_cast<std::uint8_t*>(
          std::calloc(1, offsetof(TW_ENUMERATION, ItemList) + count * itemBytes));
      if (block == nullptr) {
        return false;
      }
      auto* list = reinterpret_cast<TW_ENUMERATION*>(block);
      list->ItemType = record.ItemType;
      list->NumItems = static_cast<TW_UINT32>(count);
      list->CurrentIndex = IndexOf(values.allowed, values.current);
      list->DefaultIndex = IndexOf(values.allowed, values.defaultValue);
      for (size_t i = 0; i < count; ++i) {
        EncodeItem(record.ItemType, values.allowed[i],
                   block + offsetof(TW_ENUMERATION, ItemList) + i * itemBytes);
      }
      break;
    }
    case TWON_RANGE: {
      block = static_cast<std::uint8_t*>(std::calloc(1, sizeof(TW_RANGE)));
      if (block == nullptr) {
        return false;
      }
      auto* range = reinterpret_cast<TW_RANGE*>(block);
      range->ItemType = record.ItemType;
      TW_UINT32* fields[] = {&range->MinValue, &range->MaxValue, &range->StepSize};
      for (size_t i = 0; i < 3 && i < count; ++i) {
        EncodeItem(record.ItemType, values.allowed[i], reinterpret_cast<std::uint8_t*>(fields[i]));
      }
      EncodeItem(record.ItemType, values.defaultValue,
                 reinterpret_cast<std::uint8_t*>(&range->DefaultValue));
      EncodeItem(record.ItemType, values.current,
                 reinterpret_cast<std::uint8_t*>(&range->CurrentValue));
      break;
    }
    default: {  // TWON_ARRAY: the allowed list, also for the current value
      block = static_cast<std::uint8_t*>(
          std::calloc(1, offsetof(TW_ARRAY, ItemList) + count * itemBytes));
      if (block == nullptr) {
        return false;
      }
      auto* array = reinterpret_cast<TW_ARRAY*>(block);
      array->ItemType = record.ItemType;
      array->NumItems = static_cast<TW_UINT32>(count);
      for (size_t i = 0; i < count; ++i) {
        EncodeItem(record.ItemType, values.allowed[i],
                   block + offsetof(TW_ARRAY, ItemList) + i * itemBytes);
      }
      break;
    }
  }
  capability.ConType = containerType;
  capability.hContainer = block;
  return true;
}

TW_UINT16 CapabilityStore::Set(const CapabilityRecord& record, const TW_CAPABILITY& capability,
                               TW_UINT16& conditionCode) {
  conditionCode = TWCC_BADVALUE;
  const auto* block = static_cast<const std::uint8_t*>(capability.hContainer);
  if (block == nullptr) {
    return TWRC_FAILURE;
  }
  TW_UINT16 itemType;
  std::memcpy(&itemType, block, sizeof itemType);
  if (itemType != record.ItemType) {
    return TWRC_FAILURE;
  }
  CapValue value;
  if (capability.ConType == TWON_ONEVALUE) {
    value = DecodeItem(itemType, block + offsetof(TW_ONEVALUE, Item));
  } else if (capability.ConType == TWON_ENUMERATION) {
    TW_UINT32 count;
    std::memcpy(&count, block + offsetof(TW_ENUMERATION, NumItems), sizeof count);
    // The first item is taken whatever CurrentIndex says; an empty list
    // has none to take.
    if (count == 0) {
      return TWRC_FAILURE;
    }
    value = DecodeItem(itemType, block + offsetof(TW_ENUMERATION, ItemList));
  } else {
    return TWRC_FAILURE;  // ranges, arrays and unknown containers
  }
  CapValues& values = *record.values;
  if (std::find(values.allowed.begin(), values.allowed.end(), value) == values.allowed.end()) {
    return TWRC_FAILURE;
  }
  values.current = value;
  conditionCode = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

}  // namespace rd420::twain
