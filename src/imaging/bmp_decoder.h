// The program's own reader of Windows bitmap (BMP) files, which the image
// library of this platform reads only through a general-purpose converter
// that the program does not trust with picked files.
//
// Read: uncompressed 1-, 4- and 8-bit palette pictures, 16-, 24- and 32-bit
// pictures (plain or with bit-field masks, an alpha mask included), stored
// bottom-up or top-down, with the info header of any version (the old 12-byte
// core header too). Refused: run-length and embedded JPEG/PNG compression,
// broken or truncated files, and pictures above the pixel limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vips/vips8>

namespace lumireel {

// The pixels of the BMP file at `native_path` as an 8-bit sRGB image held in
// memory: three bands, four when the file carries alpha that is not zero
// everywhere. nullopt, with the reason in `error` (when not null), when the
// file cannot be read or is refused; `max_pixels` is checked before any pixel
// memory is taken. Never throws.
std::optional<vips::VImage> DecodeBmpFile(const std::string& native_path, std::uint64_t max_pixels,
                                          std::string* error);

}  // namespace lumireel
