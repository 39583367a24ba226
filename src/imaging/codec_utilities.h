// Helpers on top of ImageCodec: encoder look-up by MIME type, the JPEG
// quality parameter, recolouring through a colour matrix, and the random
// names of the editor's working copies.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "imaging/image_codec.h"

namespace lumireel {

// The index in ImageCodec::Encoders() of the first encoder whose MIME type
// equals `mime` exactly (byte for byte, case-sensitive), with its id in `id`
// (when not null); -1 when there is none or the list is empty.
int FindEncoderByMime(std::string_view mime, EncoderId* id);

// An encoder parameter list holding exactly one parameter: the quality, one
// 32-bit integer with the value `quality` (0 to 100).
EncoderParameters JpegQuality(int quality);

// Recolours `image` in place through `matrix` by drawing it onto itself
// (0, 0, width, height) with `context`, which must draw onto `image`.
void ApplyColorMatrix(Image& image, DrawingContext& context, const ColorMatrix& matrix);

// `length` characters drawn from
// "qwertyuioplkjhgfdsazxcvbnmQWERTYUIOPLKJHGFDSAZXCVBNM12345678900" by a
// generator of numbers 0..32767 seeded with the current time in seconds on
// every call, so calls within one second give the same name. Each draw r
// picks index trunc(r / 32767 * 62): the final "0" only for r = 32767.
// Empty for length <= 0. Safe from any thread (no shared generator).
std::string MakeRandomName(int length);
// The same with the seed given instead of the time.
std::string MakeRandomName(int length, std::time_t seed);

}  // namespace lumireel
