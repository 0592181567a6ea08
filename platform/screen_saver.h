#pragma once

#include <QString>
#include <cstdint>
#include <utility>

namespace rd420 {

// Holds the desktop's screen saver off while the camera streams, through
// the freedesktop ScreenSaver interface on the session bus. Best effort: a
// desktop without it is left alone. The desktop lists the holder under
// `application`. GUI thread only.
class ScreenSaverInhibitor {
 public:
  explicit ScreenSaverInhibitor(QString application = QStringLiteral("TORVELA_VADIzivid"))
      : application_(std::move(application)) {}
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;
  ~ScreenSaverInhibitor() { Release(); }
  void Inhibit();
  void Release();
  bool Active() const { return cookie_ != 0; }

 private:
  QString application_;
  uint32_t cookie_ = 0;
};

}  // namespace rd420
