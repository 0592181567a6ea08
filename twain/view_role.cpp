#include "twain/view_role.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <array>
#include <string_view>

#include "viewer/control_ids.h"
#include "viewer/control_panel.h"
#include "viewer/main_window.h"
#include "viewer/option_dialog.h"

namespace rd420::twain {
namespace {

using namespace viewer;  // the control ids and the role's types

constexpr RoleTexts kTexts = {
    "Orvisto View Panel - USB2.0 High Speed Mode",
    "Software\\QRN_VMXTW",
    "You change the resolution. Please restart the VADIzivid.",
    "For using this mode, you need over the 1280 width.",
    "Fail to Create BITMAP HANDLE",
    "Torvela Brimlex Pelucid TWAIN Driver",
    "Ver :3.0.11.19  TWAIN",
};

constexpr std::string_view kNoDriver =
    "Fail to find USB device driver.\nCheck the USB plug or the power of the USB set. ";
constexpr std::string_view kNoMode = "Fail to find USB device driver.\nCan't detect USB Mode ";
constexpr std::string_view kCommunication =
    "There is a problem in communication of USB\nCheck the USB plug or the power of USB set. ";
constexpr std::string_view kNotHighSpeed =
    "TORVELA TWAIN program dose not support USB 1.1 port.\nCheck your USB version!";

// No camera at all is a window condition here (AWN00003), not a handle.
constexpr LinkMessages kDataSourceLinkMessages = {{
    {"Error (AWN00003)", kNoDriver},       // kNoDevice
    {"Error (AHL00002)", kNoMode},         // kSpeedTestOpen
    {"Error (AHL00003)", kNoDriver},       // kPostOpen
    {"Error (AEP00003)", kCommunication},  // kPostRequest
    {"Error (AHL00004)", kNoDriver},       // kSendOpen
    {"Error (AEP00004)", kCommunication},  // kSendRequest
    {"Error (AHL00005)", kNoDriver},       // kStreamOpen
    {"Error (ABK00005)", kCommunication},  // kBulkRead
    {"Error (AWN00003)", kNoDriver},       // kNotReady
    {"Error (AHL00008)", kNotHighSpeed},   // kNotHighSpeed
}};

constexpr std::array kMainFaces = {
    ButtonFace{kIdExit, 2, "Exit"},
    ButtonFace{kIdOpenPanel, 2066, "Open Control Panel"},
    ButtonFace{kIdFullScreen, 2064, "Full Screen Mode(Alt+Enter)"},
    ButtonFace{kIdOneToOne, 2062, "1:1 Image Mode(Window)"},
    ButtonFace{kIdMainAutoFocus, 2067, "Auto Focusing"},
    ButtonFace{kIdMainZoomIn, 2065, "Zoom In(Tele)"},
    ButtonFace{kIdMainZoomOut, 2063, "Zoom Out(Wide)"},
    ButtonFace{kIdAbout, 2152, "About Product"},
    ButtonFace{kIdMinimise, 2148, "Minimize"},
    ButtonFace{kIdOptions, 2149, "Option"},
};

constexpr std::array kPanelFaces = {
    ButtonFace{kIdPanelClose, 2, "Exit"},
    ButtonFace{kIdAutoFocus, 2019, "Auto Focusing"},
    ButtonFace{kIdZoomIn, 2014, "Zoom In(Tele)"},
    ButtonFace{kIdZoomOut, 2015, "Zoom Out(Wide)"},
    ButtonFace{kIdHalf, 2126, "Return Half Mode"},
    ButtonFace{kIdDarker, 2016, "Brightness(-)"},
    ButtonFace{kIdBrighter, 2017, "Brightness(+)"},
    ButtonFace{kIdBlueMinus, 2023, "Adjust Blue Color(-)"},
    ButtonFace{kIdBluePlus, 2024, "Adjust Blue Color(+)"},
    ButtonFace{kIdRedMinus, 2025, "Adjust Red Color(-)"},
    ButtonFace{kIdRedPlus, 2026, "Adjust Red Color(+)"},
    ButtonFace{kIdCapture, 2052, "Capture Image"},
    ButtonFace{kIdSave, 2053, "Scan Capturing Image"},
    ButtonFace{kIdFocusFar, 2068, "Adjust Focus(More wide)"},
    ButtonFace{kIdFocusNear, 2021, "Adjust Focus(More Tele)"},
    ButtonFace{kIdAutoColour, 2020, "Auto White Balance"},
    ButtonFace{kIdTextImage, 2030, "Aperture Image"},
    ButtonFace{kIdOutput, 2033, "Internal <-> External Output"},
    ButtonFace{kIdActivate, 2022, "Activate Buttons"},
    ButtonFace{kIdFreeze, 2166, "FREEZE ON/OFF"},
    ButtonFace{kIdLamp, 2027, "Lamp ON/OFF"},
    ButtonFace{2042, 2042, "Save Preset NUM 1."},
    ButtonFace{2043, 2043, "Save Preset NUM 2."},
    ButtonFace{2044, 2044, "Save Preset NUM 3."},
    ButtonFace{2045, 2045, "Save Preset NUM 4."},
    ButtonFace{2046, 2046, "Preset EXE NUM 1."},
    ButtonFace{2047, 2047, "Preset EXE NUM 2."},
    ButtonFace{2048, 2048, "Preset EXE NUM 3."},
    ButtonFace{2049, 2049, "Preset EXE NUM 4."},
};

// The option dialog in English, without the quick-save folder: the source
// saves nothing.
void DressOptions(OptionDialog& options) {
  for (int id : {2159, 2154, 2155}) {
    options.findChild<QWidget*>(ControlName(id))->hide();
  }
  const std::pair<int, const char*> texts[] = {
      {2160, " Control bar auto-hide time "},
      {2161, "sec"},
      {2163, "(0 sec = always shown)"},
      {2171, "Full screen mode option"},
      {2174, "1:1 Original Mode(1280 X 960 or 1280 X 720)"},
      {2175, "Scale Image(4:3 or 16:9)"},
      {2156, "Always scan at FULL resolution (after a restart)"},
      {2164, "Safe Mode (for a slow graphics card)"},
      {2167, "Main window always on top"},
  };
  for (const auto& [id, text] : texts) {
    QWidget* control = options.findChild<QWidget*>(ControlName(id));
    if (auto* box = qobject_cast<QGroupBox*>(control)) {
      box->setTitle(QString::fromLatin1(text));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
      label->setText(QString::fromLatin1(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      button->setText(QString::fromLatin1(text));
    }
  }
}

}  // namespace

const viewer::RoleTexts& DataSourceRole::Texts() const {
  return kTexts;
}

const LinkMessages& DataSourceRole::Messages() const {
  return kDataSourceLinkMessages;
}

const LinkMessages& DataSourceLinkMessages() {
  return kDataSourceLinkMessages;
}

void DataSourceRole::Dress(viewer::MainWindow& main, viewer::ControlPanel& panel,
                           viewer::OptionDialog& options) const {
  viewer::DressButtons(main, kMainFaces);
  viewer::DressButtons(panel, kPanelFaces);
  DressOptions(options);
}

void DataSourceRole::HandOverStill(std::span<const uint8_t> pixels, int width, int height) {
  port_.handOverStill(pixels, width, height);
}

}  // namespace rd420::twain
