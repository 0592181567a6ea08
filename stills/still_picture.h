#pragma once

#include <QImage>

#include "devlink/frame_bitmap.h"
#include "platform/imaging.h"

namespace rd420::stills {

// The held still, upright: a copy of the frame bitmap's bottom-up rows.
QImage StillPicture(const FrameBitmap& still);
// The held still over the bitmap's own pixels, no copy: valid while
// `still` is and unchanged.
QImage BorrowedPicture(const ImagingBitmap& still);

// `picture` as a still's frame bitmap (a fresh one), rows bottom-up. False
// when the memory cannot be had or a row is not whole 4-byte words (a DIB's
// rows are padded, the frame bitmap's are not): every camera size, turned
// or not, has whole words.
bool ToFrameBitmap(const QImage& picture, FrameBitmap& still);
// `picture` as an imaging bitmap; false, leaving it empty, as above.
bool ToImagingBitmap(const QImage& picture, ImagingBitmap& still);

}  // namespace rd420::stills
