#pragma once

#include <QString>

namespace rd420::avicap {

// Controls of the dialog "TORVELA VAV Eduruzu" (dialog 102).
inline constexpr int kIdExit = 2;
inline constexpr int kIdCapture = 1000;
inline constexpr int kIdStop = 1001;
inline constexpr int kIdMinutes = 1003;
inline constexpr int kIdPreview = 1004;
inline constexpr int kIdVadizivid = 1005;
inline constexpr int kIdLocalTime = 1006;
inline constexpr int kIdVideoNone = 1007;
inline constexpr int kIdVideoXvid = 1008;
inline constexpr int kIdVideoLowQuality = 1009;
inline constexpr int kIdTimeLimit = 1010;
inline constexpr int kIdEstimate = 1011;
inline constexpr int kIdIdleIndicator = 1012;
inline constexpr int kIdRecordIndicator = 1013;
inline constexpr int kIdElapsed = 1014;
inline constexpr int kIdShowCaption = 1015;
inline constexpr int kIdCaption = 1016;
inline constexpr int kIdTimeLabel = 1017;
inline constexpr int kIdMinutesLabel = 1018;
inline constexpr int kIdAudioPcm = 1019;
inline constexpr int kIdRotate = 1020;
inline constexpr int kIdFrameRate = 1021;
inline constexpr int kIdFrameRateLabel = 1022;
inline constexpr int kIdAudioAdpcm = 1029;

// Bitmaps and the icon, ":/avicap/<n>.png".
inline constexpr int kIconMain = 128;
inline constexpr int kBitmapIdle = 129;
inline constexpr int kBitmapRecording = 130;

// A control's object name: "ctrl1000".
inline QString ControlName(int id) {
  return QStringLiteral("ctrl%1").arg(id);
}

inline QString ResourcePath(int number) {
  return QStringLiteral(":/avicap/%1.png").arg(number);
}

}  // namespace rd420::avicap
