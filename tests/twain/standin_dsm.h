#pragma once

#include <cstddef>

#include "twain/twain_protocol.h"

// The environment variable holding how often the stand-in has been loaded.
inline constexpr const char* kStandInLoadsVariable = "RD420_STANDIN_DSM_LOADS";

// One call the source made to the stand-in manager's DSM_Entry.
struct StandInRecord {
  rd420::twain::TW_UINT32 originId;
  rd420::twain::TW_UINT32 destId;
  rd420::twain::TW_UINT32 dg;
  rd420::twain::TW_UINT16 dat;
  rd420::twain::TW_UINT16 msg;
  bool nullData;
};

// Copies out and forgets the calls recorded so far.
using StandInTakeRecordsFn = size_t (*)(StandInRecord* out, size_t capacity);
// Has every later DSM_Entry call `callback(context)` after recording, as an
// application's callback would run; null stops it.
using StandInSetCallbackFn = void (*)(void (*callback)(void* context), void* context);
