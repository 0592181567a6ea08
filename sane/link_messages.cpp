#include "sane/link_messages.h"

namespace rd420::sane {
namespace {

constexpr std::string_view kNoCamera = "the camera's node does not open: is rd420d running?";
constexpr std::string_view kLink = "the camera stopped answering (USB link problem)";

constexpr LinkMessages kTable = {{
    {"Error (AHL00001)", kNoCamera},
    {"Error (AHL00002)", "cannot open the camera to check the USB mode"},
    {"Error (AHL00003)", kNoCamera},
    {"Error (AEP00003)", kLink},
    {"Error (AHL00004)", kNoCamera},
    {"Error (AEP00004)", kLink},
    {"Error (AHL00005)", kNoCamera},
    {"Error (ABK00005)", "a frame read failed or timed out"},
    {"Error (AWN00003)", "the camera did not become ready"},
    {"Error (AHL00008)", "the camera is on a USB 1.1 (full-speed) link"},
    {"", "rd420d refused the connection: it has too many connections open"},
}};

}  // namespace

const LinkMessages& SaneLinkMessages() {
  return kTable;
}

}  // namespace rd420::sane
