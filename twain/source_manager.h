#pragma once

#include "twain/twain_protocol.h"

namespace rd420::twain {

// The manager's library as the application loaded it; the source never
// loads a copy of its own.
inline constexpr const char* kSourceManagerLibrary = "libtwaindsm.so.2";

// Sends MSG_XFERREADY or MSG_CLOSEDSREQ to the manager's DSM_Entry, which
// delivers it to the application's callback on this thread. Nothing is
// sent and nothing reported when the manager is not loaded or has no
// DSM_Entry; the manager's answer is not examined.
void SendToSourceManager(TW_IDENTITY& source, TW_IDENTITY& application, TW_UINT16 msg);

}  // namespace rd420::twain
