#include "imaging/colour_pass.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "imaging/colour_mix.h"
#include "imaging/worker_threads.h"

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

// `tables` followed by the per-channel matrix `m`.
void Compose(ChannelTables& tables, const ColorMatrix& m) {
  for (int c = 0; c < 3; ++c) {
    const double scale = m[c][c];
    const double offset = ChannelOffset(m, c);
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

void FreeBuffer(VipsImage* /*image*/, gpointer buffer) { g_free(buffer); }

// A run of channel-mixing matrices applied to `in` in one pass over its
// pixels, computed into memory, split between as many threads as the image
// library gives one image.
VImage Mixed(const VImage& in, const std::vector<ColorMatrix>& run) {
  std::vector<MixStep> steps;
  steps.reserve(run.size());
  for (const ColorMatrix& m : run) steps.push_back(MixStepOf(m));
  // The pixels are computed straight into a buffer of ours, mixed in place,
  // and the buffer becomes the image's, freed when the image closes.
  std::size_t bytes = 0;
  auto* mixed = static_cast<std::uint8_t*>(in.write_to_memory(&bytes));
  const std::size_t total =
      static_cast<std::size_t>(in.width()) * static_cast<std::size_t>(in.height());
  if (bytes != 3 * total) {
    g_free(mixed);
    throw vips::VError("the colour pass needs 8-bit RGB");
  }
  const std::size_t parts = std::clamp<std::size_t>(ImagingThreads(), 1, 8);
  const std::size_t share = (total + parts - 1) / parts;
  std::vector<std::jthread> workers;
  for (std::size_t start = share; start < total; start += share) {
    workers.emplace_back([&, start] {
      MixPixels(steps, mixed + 3 * start, mixed + 3 * start, std::min(share, total - start));
    });
  }
  MixPixels(steps, mixed, mixed, std::min(share, total));
  workers.clear();  // joins them
  VipsImage* image =
      vips_image_new_from_memory(mixed, bytes, in.width(), in.height(), 3, VIPS_FORMAT_UCHAR);
  if (image == nullptr) {
    g_free(mixed);
    throw vips::VError();
  }
  g_signal_connect(image, "postclose", G_CALLBACK(FreeBuffer), mixed);
  return VImage(image);
}

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
  std::vector<ColorMatrix> run;  // channel-mixing matrices not yet applied
  for (const ColorMatrix& m : matrices) {
    if (ActsPerChannel(m)) {
      if (!run.empty()) {
        out = Mixed(out, run);
        run.clear();
      }
      if (!pending) pending = IdentityTables();
      Compose(*pending, m);
      continue;
    }
    if (pending) {
      out = LookUp(out, *pending);
      pending.reset();
    }
    run.push_back(m);
  }
  if (!run.empty()) out = Mixed(out, run);
  if (pending) out = LookUp(out, *pending);
  return out.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

}  // namespace lumireel
