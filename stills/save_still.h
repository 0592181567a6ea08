#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

#include "platform/imaging.h"
#include "platform/imaging_file.h"

namespace rd420::stills {

// The format a save-as name asks for, by the last three letters of the
// name without its folder, any case: "bmp" or "jpg"; nullopt otherwise.
std::optional<ImageFileFormat> FormatForFileName(const QString& path);

// The quick save's file name for `localTime`: 20081219_161415.jpg, and for
// the later saves of that second (`copy` 1, 2, ...) 20081219_161415_1.jpg.
QString QuickSaveFileName(const QDateTime& localTime, int copy = 0);

// Save as, once the user has chosen `path`: writes the still in the format
// its name asks for. False after the message: AIG00003 for another ending,
// AIG00004 when the file cannot be written. Any thread.
bool SaveStillAs(const ImagingBitmap& still, const QString& path);

// Quick save: creates `folder` when missing (its last component only, as a
// missing parent means a mistyped folder) and writes the still there as a
// JPEG named for `localTime`. A picture already saved in that second is
// kept: the new one takes the next free copy's name. False after the
// AIG00004 message when the file cannot be written. Any thread.
bool QuickSaveStill(const ImagingBitmap& still, const QString& folder, const QDateTime& localTime);

}  // namespace rd420::stills
