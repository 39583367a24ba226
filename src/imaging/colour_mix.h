// The channel-mixing steps of the colour pass, applied to 8-bit RGB pixels
// in memory. Each step is one colour matrix that mixes channels:
//   out_c = clamp(trunc(float(sum_i k[c][i] * in_i) + offset[c]), 0, 255)
// with the sum taken in double in the order i = 0, 1, 2 and `offset` (255
// times the matrix's offset rows) carrying half a level for the truncation.
// These are exactly the steps of a recombination into float, an offset
// added in float and a cast back to 8 bits: the pixels are those the image
// library's own operations give, each step rounded and clamped before the
// next sees it.
//
// This file is compiled so that the compiler vectorises the pixel loop:
// without trapping math (nothing here looks at floating-point exceptions)
// and for finite numbers only (levels and the matrices' coefficients always
// are), which lets the clamp be a vector min and max. The arithmetic of
// every step is the same. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/image_codec.h"

namespace lumireel {

// What channel `c` of the colour matrix `m` adds whatever the pixel, in
// levels of 0..255 (alpha is always 1).
inline double ChannelOffset(const ColorMatrix& m, int c) {
  return 255.0 * (static_cast<double>(m[3][c]) + static_cast<double>(m[4][c]));
}

struct MixStep {
  double k[3][3];  // [output channel][input channel]
  float offset[3];
};

// The step of the channel-mixing matrix `m`.
MixStep MixStepOf(const ColorMatrix& m);

// Every step of `steps`, in order, applied to `n` interleaved RGB pixels
// from `in`, written to `out` (which may be `in`).
void MixPixels(const std::vector<MixStep>& steps, const std::uint8_t* in, std::uint8_t* out,
               std::size_t n);

}  // namespace lumireel
