#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "twain/twain_protocol.h"

namespace rd420::twain {

// FIX32 at the boundary; values are kept as 32-bit floats. Rounds half up
// through a double and truncates toward zero, so a negative whole number
// lands 1/65536 above itself (-1000.0 becomes Whole -1000, Frac 1), as
// applications of this source have always seen it.
TW_FIX32 FloatToFix32(float value);
float Fix32ToFloat(TW_FIX32 value);

// One stored item in its natural width: 16-bit for BOOL, UINT16 and INT16,
// a float for FIX32, four floats for a frame, 34 bytes for a TW_STR32.
// Compared byte for byte, which is how MSG_SET matches allowed values.
struct CapValue {
  std::array<std::uint8_t, 34> bytes{};

  static CapValue Word(std::uint16_t value);
  static CapValue Real(float value);
  static CapValue Frame(float left, float top, float right, float bottom);
  static CapValue Text(std::string_view text);

  std::uint16_t AsWord() const;
  float AsReal() const;
  bool operator==(const CapValue&) const = default;
};

// The allowed list, default and current value of one capability. X and Y
// scaling, and X and Y resolution, share one of these.
struct CapValues {
  std::vector<CapValue> allowed;
  CapValue defaultValue;
  CapValue current;
};

struct CapabilityRecord {
  TW_UINT16 Cap = 0;
  TW_UINT16 ItemType = 0;
  TW_UINT16 GetContainer = 0;
  TW_UINT16 CurrentContainer = 0;
  TW_UINT32 Support = 0;
  CapValues* values = nullptr;
};

// The forty capabilities and their values. Runs on whichever thread holds
// the data source's lock. The values live as long as this object (the
// loaded library), so MSG_SET survives MSG_CLOSEDS and a new MSG_OPENDS;
// the table of records exists only while the source is open.
class CapabilityStore {
 public:
  CapabilityStore();

  void BuildTable();
  void ClearTable();

  // One DAT_CAPABILITY call. `protocol15` maps condition codes above
  // TWCC_BADDEST to TWCC_BADCAP for applications of protocol 1.5 or older.
  // `pendingCount` refreshes CAP_FEEDERLOADED on MSG_GET.
  TW_UINT16 Handle(TW_UINT16 msg, TW_CAPABILITY* capability, bool protocol15,
                   std::int32_t pendingCount, TW_UINT16& conditionCode);

  float Resolution() const { return resolution_.current.AsReal(); }
  TW_UINT16 PixelType() const { return pixelType_.current.AsWord(); }
  TW_UINT16 BitDepth(TW_UINT16 pixelType) const;
  bool FeederEnabled() const { return feederEnabled_.current.AsWord() != 0; }
  TW_UINT16 ImageFileFormat() const { return imageFileFormat_.current.AsWord(); }
  // DAT_SETUPFILEXFER's format becomes ICAP_IMAGEFILEFORMAT's current value
  // when it is one of its allowed values; false, changing nothing, if not.
  bool SetImageFileFormat(TW_UINT16 format);

  // The current values a still handed to the application carries.
  void SetStillValues();

 private:
  const CapabilityRecord* Find(TW_UINT16 cap) const;
  bool Reply(const CapabilityRecord& record, TW_UINT16 containerType, const CapValue& value,
             TW_CAPABILITY& capability) const;
  TW_UINT16 Set(const CapabilityRecord& record, const TW_CAPABILITY& capability,
                TW_UINT16& conditionCode);

  CapValues supportedCaps_, feederEnabled_, pixelFlavor_, xferMech_, planarChunky_, compression_,
      minimumWidth_, minimumHeight_, physicalWidth_, physicalHeight_, units_, deviceOnline_,
      autoFeed_, feederLoaded_, autoBright_, brightness_, contrast_, highlight_, orientation_,
      shadow_, scaling_, rgbBitDepth_, pixelType_, bitDepthReduction_, bitOrder_, threshold_,
      halftones_, frames_, maxFrames_, supportedSizes_, xNativeResolution_, yNativeResolution_,
      resolution_, xferCount_, imageFileFormat_, undefinedImageSize_, indicators_, uiControllable_;
  std::uint16_t bwBitDepth_ = 1;
  std::uint16_t grayBitDepth_ = 8;
  std::vector<CapabilityRecord> table_;
};

}  // namespace rd420::twain
