#include "avicap/link_messages.h"

namespace rd420::avicap {
namespace {

// The trailing spaces belong to the texts.
constexpr std::string_view kNoDriver =
    "Fail to find USB device driver.\nCheck the USB plug or the power of the USB set. ";
constexpr std::string_view kCommunication =
    "There is a problem in communication of USB\nCheck the USB plug or the power of USB set. ";
constexpr std::string_view kNoUsbMode = "Fail to find USB device driver.\nCan't detect USB Mode ";
constexpr std::string_view kNotHighSpeed =
    "VAV Eduruzu Program requires USB2.0 running Windows 2000/XP/2003/Vista  ";

// The capture program sends no fire-and-forget requests; should one be
// added it speaks like a reporting request.
constexpr LinkMessages kTable = {{
    {"Error (AHL00001)", kNoDriver},       // kNoDevice
    {"Error (AHL00002)", kNoUsbMode},      // kSpeedTestOpen
    {"Error (AHL00004)", kNoDriver},       // kPostOpen
    {"Error (AEP00004)", kCommunication},  // kPostRequest
    {"Error (AHL00004)", kNoDriver},       // kSendOpen
    {"Error (AEP00004)", kCommunication},  // kSendRequest
    {"Error (AHL00005)", kNoDriver},       // kStreamOpen
    {"Error (ABK00005)", kCommunication},  // kBulkRead
    {"Error (AWN00003)", kNoDriver},       // kNotReady
    {"Error (USB00001)", kNotHighSpeed},   // kNotHighSpeed
}};

}  // namespace

const LinkMessages& CaptureLinkMessages() {
  return kTable;
}

}  // namespace rd420::avicap
