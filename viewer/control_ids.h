#pragma once

#include <array>
#include <cstdint>

namespace rd420::viewer {

// Control ids of the viewer's windows. Each window has its own id space
// (2 and 2068 exist in both the main window and the control panel).

// Main window (dialog 129).
inline constexpr int kIdExit = 2;
inline constexpr int kIdPicture = 2055;
inline constexpr int kIdFullScreen = 2064;
inline constexpr int kIdOneToOne = 2065;
inline constexpr int kIdOpenPanel = 2066;
inline constexpr int kIdMainZoomOut = 2067;
inline constexpr int kIdMainZoomIn = 2068;
inline constexpr int kIdQuickSave = 2070;
inline constexpr int kIdMainAutoFocus = 2071;
inline constexpr int kIdMinimise = 2072;
inline constexpr int kIdAbout = 2073;
inline constexpr int kIdOptions = 2150;
// The presenter's tool strip, under the top group; the viewer program's only.
inline constexpr int kIdPresenter = 2200;

// Control panel (dialog 130).
inline constexpr int kIdPanelClose = 2;
inline constexpr int kIdZoomIn = 2014;
inline constexpr int kIdZoomOut = 2015;
inline constexpr int kIdDarker = 2016;
inline constexpr int kIdBrighter = 2017;
inline constexpr int kIdPanelBackground = 2018;
inline constexpr int kIdAutoFocus = 2019;
inline constexpr int kIdAutoColour = 2020;
inline constexpr int kIdFocusNear = 2021;
inline constexpr int kIdBlueMinus = 2023;
inline constexpr int kIdBluePlus = 2024;
inline constexpr int kIdRedMinus = 2025;
inline constexpr int kIdRedPlus = 2026;
inline constexpr int kIdActivate = 2029;
inline constexpr int kIdTextImage = 2030;
inline constexpr int kIdCaptureProgram = 2031;
inline constexpr int kIdOutput = 2033;
inline constexpr int kIdPresetSave1 = 2042;    // .. 2045
inline constexpr int kIdPresetRecall1 = 2046;  // .. 2049
inline constexpr int kIdCapture = 2052;
inline constexpr int kIdSave = 2053;
inline constexpr int kIdPrint = 2054;
inline constexpr int kIdFocusFar = 2068;
inline constexpr int kIdHalf = 2126;
inline constexpr int kIdLamp = 2171;
inline constexpr int kIdFreeze = 2172;
inline constexpr int kIdPanelBackgroundVariant = 2173;

// The four status indicator pairs; in each pair exactly one is shown.
inline constexpr int kIdFreezeDim = 2105;
inline constexpr int kIdFreezeLit = 2110;
inline constexpr int kIdApertureDim = 2106;
inline constexpr int kIdApertureLit = 2111;
inline constexpr int kIdInternal = 2107;
inline constexpr int kIdExternal = 2112;
inline constexpr int kIdLampLit = 2108;
inline constexpr int kIdLampDim = 2113;

// The camera buttons that follow the capture state and the camera's
// "functions active" bit ("list A").
inline constexpr std::array kListAPanel = {kIdZoomOut,
                                           kIdZoomIn,
                                           kIdDarker,
                                           kIdBrighter,
                                           kIdAutoFocus,
                                           kIdAutoColour,
                                           kIdFocusNear,
                                           kIdFocusFar,
                                           kIdBlueMinus,
                                           kIdBluePlus,
                                           kIdRedMinus,
                                           kIdRedPlus,
                                           kIdLamp,
                                           kIdTextImage,
                                           kIdFreeze,
                                           kIdOutput,
                                           kIdCaptureProgram,
                                           2042,
                                           2043,
                                           2044,
                                           2045,
                                           2046,
                                           2047,
                                           2048,
                                           2049,
                                           kIdHalf};
inline constexpr std::array kListAMain = {kIdOneToOne,   kIdFullScreen, kIdMainZoomOut,
                                          kIdMainZoomIn, kIdQuickSave,  kIdMainAutoFocus};

// Disabled while the camera holds its own picture (freeze) on the model
// without bit 12.
inline constexpr std::array kFreezeLockPanel = {
    kIdTextImage, kIdOutput,   kIdLamp,      2042,        2043,         2044,
    2045,         2046,        2047,         2048,        2049,         kIdCaptureProgram,
    kIdZoomOut,   kIdZoomIn,   kIdDarker,    kIdBrighter, kIdAutoFocus, kIdAutoColour,
    kIdFocusNear, kIdFocusFar, kIdBlueMinus, kIdBluePlus, kIdRedMinus,  kIdRedPlus};
inline constexpr std::array kFreezeLockMain = {kIdFullScreen, kIdOneToOne, kIdMainAutoFocus,
                                               kIdMainZoomIn, kIdMainZoomOut};

// Bitmap numbers that are not a button's.
inline constexpr int kBitmapPanel = 131;
inline constexpr int kBitmapPanelVariant = 478;
inline constexpr int kBitmapSplash = 306;
inline constexpr int kIconMain = 239;
inline constexpr int kBitmapCaptureHeld = 333;
inline constexpr int kBitmapCaptureHeldPressed = 334;

}  // namespace rd420::viewer
