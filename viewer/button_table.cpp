#include "viewer/button_table.h"

#include <array>

#include "viewer/control_ids.h"

namespace rd420::viewer {
namespace {

using enum ButtonAction;

constexpr ButtonSpec Post(int id, int x, int y, int n, int p, int d, const char* tip, uint32_t word,
                          int w = 34, int h = 16) {
  return {id, x, y, w, h, n, p, d, tip, kPost, word};
}
constexpr ButtonSpec Hold(int id, int x, int y, int n, int p, int d, const char* tip, uint32_t word,
                          Overlay overlay = Overlay::kNone, int w = 34, int h = 16) {
  return {id, x, y, w, h, n, p, d, tip, kHold, word, 0, 0, overlay};
}
constexpr ButtonSpec Toggle(int id, int x, int y, int n, int p, int d, const char* tip,
                            uint32_t bit, uint32_t ifSet, uint32_t ifClear) {
  return {id, x, y, 34, 16, n, p, d, tip, kToggle, ifSet, ifClear, bit};
}
constexpr ButtonSpec Local(int id, int x, int y, int w, int h, int n, int p, int d,
                           const char* tip) {
  return {id, x, y, w, h, n, p, d, tip};
}

constexpr Overlay kZ = Overlay::kZoom;
constexpr Overlay kB = Overlay::kBrightness;

const std::array kPanel = {
    Hold(kIdZoomIn, 109, 32, 132, 135, 341, "줌 인", 0x00260005, kZ),
    Hold(kIdZoomOut, 71, 32, 133, 134, 342, "줌 아웃", 0x0026000A, kZ),
    Hold(kIdDarker, 71, 50, 136, 137, 343, "밝기 조정(어둡게)", 0x0021000A, kB),
    Hold(kIdBrighter, 109, 50, 138, 139, 344, "밝기 조정(밝게)", 0x00210005, kB),
    Post(kIdAutoFocus, 227, 74, 141, 174, 336, "오토포커싱", 0x00020005),
    Post(kIdAutoColour, 265, 74, 142, 175, 335, "자동 색감 조정", 0x00010005),
    Hold(kIdFocusNear, 227, 92, 143, 177, 346, "초점 조정(가까운 곳 중심으로)", 0x0025000A),
    Hold(kIdFocusFar, 265, 92, 144, 176, 345, "초점 조정(먼 곳 중심으로)", 0x00250005),
    Hold(kIdBlueMinus, 71, 74, 145, 178, 348, "색 조정(푸른색 연하게)", 0x0024000A),
    Hold(kIdBluePlus, 109, 74, 146, 179, 347, "색 조정(푸른색 진하게)", 0x00240005),
    Hold(kIdRedMinus, 71, 92, 147, 181, 350, "색 조정(붉은색 연하게)", 0x0023000A),
    Hold(kIdRedPlus, 109, 92, 148, 180, 349, "색 조정(붉은색 진하게)", 0x00230005),
    Toggle(kIdTextImage, 384, 32, 152, 185, 354, "텍스트&이미지 모드", 0x400, 0x00090005,
           0x0009000A),
    Toggle(kIdOutput, 421, 32, 155, 187, 355, "내부 외부 출력 화면", 0x10, 0x00040005, 0x0004000A),
    Toggle(kIdLamp, 384, 50, 469, 471, 470, "조명 ON/OFF", 0x4, 0x0003000A, 0x00030005),
    Toggle(kIdFreeze, 421, 50, 153, 186, 353, "Freeze 기능 ON/OFF", 0x800, 0x0012000A, 0x00120005),
    Post(kIdActivate, 384, 92, 466, 468, 467, "기능 버튼 활성화", 0x00480005, 73, 16),
    Local(kIdCaptureProgram, 384, 74, 73, 16, 475, 477, 476, "동영상 녹화 프로그램 실행"),
    Post(2042, 540, 32, 208, 200, 166, "단축 번호 저장 1번", 0x00170001, 18, 16),
    Post(2043, 558, 32, 209, 201, 167, "단축 번호 저장 2번", 0x00170002, 18, 16),
    Post(2044, 576, 32, 210, 202, 168, "단축 번호 저장 3번", 0x00170003, 18, 16),
    Post(2045, 594, 32, 211, 203, 169, "단축 번호 저장 4번", 0x00170004, 18, 16),
    Post(2046, 540, 50, 212, 204, 170, "단축 번호 실행 1번", 0x00180001, 18, 16),
    Post(2047, 558, 50, 213, 205, 171, "단축 번호 실행 2번", 0x00180002, 18, 16),
    Post(2048, 576, 50, 214, 206, 172, "단축 번호 실행 3번", 0x00180003, 18, 16),
    Post(2049, 594, 50, 215, 207, 173, "단축 번호 실행 4번", 0x00180004, 18, 16),
    Local(kIdCapture, 227, 32, 34, 34, 216, 217, 218, "화면 캡쳐중"),
    Local(kIdSave, 265, 32, 34, 16, 219, 221, 222, "캡쳐화면 저장"),
    Local(kIdPrint, 265, 50, 34, 16, 220, 223, 224, "캡쳐화면 출력"),
    Local(kIdHalf, 595, 0, 35, 11, 366, 368, 367, "하프모드로 돌아가기"),
    Local(kIdPanelClose, 631, 0, 11, 11, 405, 406, 417, "종료"),
};

const std::array kMain = {
    Local(kIdExit, 642, 3, 17, 17, 235, 236, 0, "종료"),
    Local(kIdFullScreen, 642, 21, 17, 17, 237, 238, 340, "전체화면 모드(Alt+Enter)"),
    Local(kIdOneToOne, 642, 39, 17, 17, 231, 232, 339, "1:1비율모드(윈도우모드)"),
    Local(kIdOptions, 642, 57, 17, 17, 424, 426, 0, "화면 옵션"),
    Local(kIdMinimise, 642, 75, 17, 17, 407, 408, 0, "화면 최소화"),
    Local(kIdAbout, 642, 93, 17, 17, 420, 421, 0, "제품 버전 및 설명"),
    Hold(kIdMainZoomIn, 642, 390, 441, 443, 442, "줌 인", 0x00260005, kZ, 17, 17),
    Hold(kIdMainZoomOut, 642, 408, 444, 446, 445, "줌 아웃", 0x0026000A, kZ, 17, 17),
    Post(kIdMainAutoFocus, 642, 426, 432, 434, 433, "오토포커싱", 0x00020005, 17, 17),
    Local(kIdQuickSave, 642, 444, 17, 17, 450, 452, 451, "빠른 화면 저장(F2)"),
    Local(kIdOpenPanel, 642, 462, 17, 17, 233, 234, 401, "컨트롤 패널확장"),
};

}  // namespace

std::span<const ButtonSpec> PanelButtons() {
  return kPanel;
}
std::span<const ButtonSpec> MainButtons() {
  return kMain;
}

bool InBottomGroup(int mainButtonId) {
  return mainButtonId == kIdMainZoomIn || mainButtonId == kIdMainZoomOut ||
         mainButtonId == kIdMainAutoFocus || mainButtonId == kIdQuickSave ||
         mainButtonId == kIdOpenPanel;
}

uint32_t WordToQueue(const ButtonSpec& spec, uint32_t status) {
  if (spec.action == ButtonAction::kToggle) {
    return (status & spec.statusBit) != 0 ? spec.word : spec.wordIfClear;
  }
  return spec.word;
}

}  // namespace rd420::viewer
