#include "imaging/colour_pass.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

namespace lumireel {
namespace {

using vips::VImage;

// One 8-bit look-up table per channel.
using ChannelTables = std::array<std::array<std::uint8_t, 256>, 3>;

ChannelTables IdentityTables() {
  ChannelTables tables{};
  for (auto& table : tables) {
    for (int x = 0; x < 256; ++x) table[x] = static_cast<std::uint8_t>(x);
  }
  return tables;
}

// A value in 0..255 units rounded to the nearest level and clamped.
std::uint8_t ToLevel(double value) {
  const double rounded = std::floor(value + 0.5);
  if (!(rounded > 0)) return 0;
  return rounded >= 255 ? 255 : static_cast<std::uint8_t>(rounded);
}

// What channel `c` of `m` adds whatever the pixel: alpha is always 1.
double Offset(const ColorMatrix& m, int c) {
  return 255.0 * (static_cast<double>(m[3][c]) + static_cast<double>(m[4][c]));
}

// `tables` followed by the per-channel matrix `m`.
void Compose(ChannelTables& tables, const ColorMatrix& m) {
  for (int c = 0; c < 3; ++c) {
    const double scale = m[c][c];
    const double offset = Offset(m, c);
    for (std::uint8_t& level : tables[c]) level = ToLevel(level * scale + offset);
  }
}

VImage LookUp(const VImage& in, const ChannelTables& tables) {
  if (tables == IdentityTables()) return in;
  VImage lut;
  for (int c = 0; c < 3; ++c) {
    double values[256];
    for (int x = 0; x < 256; ++x) values[x] = tables[c][x];
    const VImage band = VImage::new_matrix(256, 1, values, 256);
    lut = c == 0 ? band : lut.bandjoin(band);
  }
  return in.maplut(lut.cast(VIPS_FORMAT_UCHAR));
}

// The channel-mixing matrix `m` applied to `in`: recombination, offset, and
// the cast back to 8 bits, which clamps to 0..255. The offset carries an
// extra half level because the cast truncates.
VImage Recombined(const VImage& in, const ColorMatrix& m) {
  // The library's matrix has one row per output band: k(c, i) = m[i][c].
  double coefficients[9];
  std::vector<double> offsets(3);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 3; ++i) coefficients[c * 3 + i] = m[i][c];
    offsets[c] = Offset(m, c) + 0.5;
  }
  return in.recomb(VImage::new_matrix(3, 3, coefficients, 9))
      .linear(std::vector<double>(3, 1.0), offsets)
      .cast(VIPS_FORMAT_UCHAR);
}

// Operations a lazy pipeline may hold before it is computed into memory: a
// long chain of lazy operations takes memory for each and is freed by deep
// recursion, so a long pass is computed in pieces of this many.
constexpr int kOperationsPerPiece = 64;

}  // namespace

bool ActsPerChannel(const ColorMatrix& m) {
  for (int i = 0; i < 3; ++i) {
    for (int c = 0; c < 3; ++c) {
      if (i != c && m[i][c] != 0.0f) return false;
    }
  }
  return true;
}

VImage ApplyColourPass(const VImage& rgb, const std::vector<ColorMatrix>& matrices) {
  if (matrices.empty()) return rgb;
  VImage out = rgb;
  std::optional<ChannelTables> pending;
  int operations = 0;
  for (const ColorMatrix& m : matrices) {
    if (ActsPerChannel(m)) {
      if (!pending) pending = IdentityTables();
      Compose(*pending, m);
      continue;
    }
    if (pending) {
      out = LookUp(out, *pending);
      pending.reset();
      ++operations;
    }
    if (operations >= kOperationsPerPiece) {
      out = out.copy_memory();
      operations = 0;
    }
    out = Recombined(out, m);
    ++operations;
  }
  if (pending) out = LookUp(out, *pending);
  return out.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

}  // namespace lumireel
