// The colour pass of an edit: a list of colour matrices applied one after
// the other to an 8-bit RGB image, each result rounded to 8 bits and clamped
// to 0..255 before the next matrix sees it, as when the image is redrawn
// through each matrix in turn.
//
// The pass is one lazy libvips pipeline, computed in a single streaming pass
// when the result is written; a pass of many channel-mixing steps is
// computed into memory every few dozen steps, so that memory stays bounded
// and no pipeline grows without end. The pixels are the same either way. A matrix that mixes
// channels becomes a recombination, an offset and a clamp; a run of matrices that only scale and
// shift each channel on its own (brightness, contrast, and the neutral hue and saturation)
// collapses into one look-up table per channel, which keeps the rounding and clamping of every step
// exactly.
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
