// The colour pass of an edit: a list of colour matrices applied one after
// the other to an 8-bit RGB image, each result rounded to 8 bits and clamped
// to 0..255 before the next matrix sees it, as when the image is redrawn
// through each matrix in turn.
//
// A run of matrices that only scale and shift each channel on its own
// (brightness, contrast, and the neutral hue and saturation) collapses into
// one look-up table per channel, which keeps the rounding and clamping of
// every step exactly. A run of matrices that mix channels is applied in one
// pass over the pixels, computed into memory, with each step's rounding and
// clamping kept: the pixels are those a recombination, an offset and a clamp
// per matrix give.
//
// Throws vips::VError as libvips does; any thread.
#pragma once

#include <vector>
#include <vips/vips8>

#include "imaging/image_codec.h"

namespace lumireel {

// `rgb` (8-bit, three bands) recoloured through `matrices` in order:
// out_c = clamp(round(255 * (r*m[0][c] + g*m[1][c] + b*m[2][c] + m[3][c] + m[4][c])))
// with r, g, b the previous step's values divided by 255. No matrices: `rgb`
// itself.
vips::VImage ApplyColourPass(const vips::VImage& rgb, const std::vector<ColorMatrix>& matrices);

// True when `m` changes each of red, green and blue from that channel alone.
bool ActsPerChannel(const ColorMatrix& m);

}  // namespace lumireel
