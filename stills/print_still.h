#pragma once

#include "devlink/frame_bitmap.h"
#include "stills/still_dialogs.h"
#include "stills/still_picture.h"

class QPrinter;

namespace rd420::stills {

// Prints `still` (the held frame bitmap, rows bottom-up) on `printer` as one
// document "RD-420 Printing Images" with one page per copy the printer was
// given, the picture placed by the page setup on the whole sheet. Stops at
// the first failure after its message (APT00001 to APT00006); false then.
// Any one thread at a time (Qt paints on a printer from any thread).
bool PrintStillPages(QPrinter& printer, const PageSetup& setup, const FrameBitmap& still);

}  // namespace rd420::stills
