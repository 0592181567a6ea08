#pragma once

#include <sane/sane.h>

#include <array>
#include <cstdint>
#include <string>

#include "wire/frame_format.h"

namespace rd420::sane {

// The options in the order front-ends see them.
enum Option : SANE_Int {
  kOptCount,
  kOptStandardGroup,
  kOptMode,
  kOptResolution,
  kOptSource,
  kOptPreview,
  kOptGeometryGroup,
  kOptTlX,
  kOptTlY,
  kOptBrX,
  kOptBrY,
  kOptCameraGroup,
  kOptLamp,
  kOptTextImage,
  kOptFreeze,
  kOptAutofocus,
  kOptAutoColour,
  kOptRecallPreset1,
  kOptRecallPreset2,
  kOptRecallPreset3,
  kOptRecallPreset4,
  kOptionCount
};

// The resolutions that stand for the two frame sizes: the camera's full
// frame is reported as 100 dpi, as the TWAIN data source does, so the half
// frame is 50 dpi. The stage is the full frame at 100 dpi.
inline constexpr SANE_Int kFullDpi = 100;
inline constexpr SANE_Int kHalfDpi = 50;

// The part of the frame a scan hands out, in pixels of the picture as seen
// (row 0 at the top).
struct Crop {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// What the camera's own controls need of the camera. Implemented over the
// device link; tests record the words.
class CameraControls {
 public:
  virtual ~CameraControls() = default;
  virtual SANE_Status SendWord(uint32_t word) = 0;
  virtual SANE_Status ReadStatus(uint32_t& word) = 0;
};

// The option table of one open camera and its values. Used by the thread
// the front-end calls on; one call at a time.
class ScanOptions {
 public:
  explicit ScanOptions(CameraControls& camera);

  const SANE_Option_Descriptor* Descriptor(SANE_Int option) const;
  // SANE's control_option for one option: values outside a range or word
  // list are moved to the nearest allowed one (SANE_INFO_INEXACT); a string
  // not in its list, a boolean other than SANE_TRUE or SANE_FALSE, or an
  // option that cannot be set gives SANE_STATUS_INVAL.
  SANE_Status Control(SANE_Int option, SANE_Action action, void* value, SANE_Int* info);

  // The stage follows the camera's aspect, which the camera reports.
  void SetAspect43(bool aspect43);
  bool Aspect43() const { return aspect43_; }

  Resolution FrameResolution() const;
  FrameGeometry Geometry() const { return FrameGeometryFor(aspect43_, FrameResolution()); }
  Crop ScanCrop() const;
  SANE_Parameters Parameters() const;

 private:
  SANE_Status Get(SANE_Int option, void* value);
  SANE_Status Set(SANE_Int option, void* value, SANE_Int* info);
  SANE_Status SetCameraBool(SANE_Int option, SANE_Bool on);
  void SetStageHeight();

  CameraControls& camera_;
  std::array<SANE_Option_Descriptor, kOptionCount> descriptors_{};
  SANE_Range xRange_{};
  SANE_Range yRange_{};
  bool aspect43_ = true;
  std::string source_;
  SANE_Bool preview_ = SANE_FALSE;
  std::array<SANE_Fixed, 4> area_{};  // tl-x, tl-y, br-x, br-y in mm
};

}  // namespace rd420::sane
