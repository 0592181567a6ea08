#include "capture/overlay.h"

#include <cstdio>

#include "platform/message.h"

namespace rd420::capture {

std::string OverlayText(bool displayLocalTime, bool displayCaption, std::string_view caption,
                        std::time_t now) {
  if (!displayLocalTime) {
    return displayCaption ? std::string(caption) : std::string();
  }
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return displayCaption ? std::string(stamp) + "  " + std::string(caption) : std::string(stamp);
}

bool CreateOverlaySurface(DrawingSurface& surface, FrameGeometry geometry, const void* owner) {
  if (!surface.CreateContext()) {
    ShowMessage(owner, "Out of Memory!  ", "Error (AVI00026)", MessageIcon::kWarning);
    return false;
  }
  if (!surface.CreatePicture(geometry.width, geometry.height)) {
    ShowMessage(owner, "Fail to create DIB section  ", "Error (AVI00027)", MessageIcon::kWarning);
    return false;
  }
  if (!surface.CreateFont("Arial", 16)) {
    ShowMessage(owner, "Fail to create Font indirect  ", "Error (AVI00028)", MessageIcon::kWarning);
    return false;
  }
  return true;
}

}  // namespace rd420::capture
