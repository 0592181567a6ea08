#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "twain/twain_protocol.h"

namespace rd420::twain {

// Writes a packed DIB (its 40-byte header, then bottom-up B,G,R rows) as
// the file of a file transfer: a BMP file for TWFF_BMP, a baseline TIFF
// (24-bit RGB, uncompressed, top row first) for TWFF_TIFF. Only a regular
// file is replaced. False, leaving no file behind, when it cannot be
// created or written whole, or for any other format.
bool WriteTransferFile(const std::string& name, TW_UINT16 format, const std::uint8_t* dib,
                       size_t dibBytes);

}  // namespace rd420::twain
