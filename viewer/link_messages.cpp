#include "viewer/link_messages.h"

namespace rd420::viewer {

namespace {

// "A USB communication problem occurred and the program will close. Check
// whether the USB cable came out or the set's power is off!" (two spaces
// at the end belong to the text).
constexpr std::string_view kGeneral =
    "USB통신에 문제가 발생하여 프로그램을 종료합니다.\n"
    "USB케이블이 빠졌거나 세트 전원이 꺼져있는지 확인해보세요!  ";
// "...; detecting USB 2.0/USB 1.1 mode failed!" (four trailing spaces).
constexpr std::string_view kSpeedTest =
    "USB통신에 문제가 발생하여 프로그램을 종료합니다.\n"
    "USB2.0/USB1.1 모드 검출에 실패하였습니다!    ";
// "USB 1.1 is not supported, so the program cannot run. Check the USB
// version!" (one trailing space).
constexpr std::string_view kNotHighSpeed =
    "USB 1.1은 지원하지 않아 프로그램을 실행할 수 없습니다.\nUSB버전을 확인해보세요! ";

constexpr LinkMessages kTable = {{
    {"Error (AHL00001)", kGeneral},       // kNoDevice
    {"Error (AHL00002)", kSpeedTest},     // kSpeedTestOpen
    {"Error (AHL00003)", kGeneral},       // kPostOpen
    {"Error (AEP00003)", kGeneral},       // kPostRequest
    {"Error (AHL00004)", kGeneral},       // kSendOpen
    {"Error (AEP00004)", kGeneral},       // kSendRequest
    {"Error (AHL00005)", kGeneral},       // kStreamOpen
    {"Error (ABK00005)", kGeneral},       // kBulkRead
    {"Error (AWN00003)", kGeneral},       // kNotReady
    {"Error (AHL00008)", kNotHighSpeed},  // kNotHighSpeed
}};

}  // namespace

const LinkMessages& ViewerLinkMessages() {
  return kTable;
}

}  // namespace rd420::viewer
