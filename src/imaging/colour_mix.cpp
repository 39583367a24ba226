#include "imaging/colour_mix.h"

#include <algorithm>
#include <cmath>

namespace lumireel {
namespace {

// A copy of the mixing loop for AVX2 beside the baseline one, picked when
// the program is loaded. Not under ThreadSanitizer, whose run time is not
// ready yet when the pick is made.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LUMIREEL_UNDER_TSAN
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(LUMIREEL_UNDER_TSAN)
#define LUMIREEL_MIX_TARGETS
#else
#define LUMIREEL_MIX_TARGETS __attribute__((target_clones("avx2", "default")))
#endif

constexpr std::size_t kBlock = 512;  // pixels mixed at a time, channel by channel

// A level from its unrounded value: clamped to 0..255, then truncated (the
// clamp first, so the truncation never sees a value outside 0..255).
inline float Level(float value) {
  return static_cast<float>(static_cast<int>(std::fmin(std::fmax(value, 0.0f), 255.0f)));
}

// Every step applied in turn to `n` (at most kBlock) pixels whose channels
// are in `r`, `g` and `b` (whole levels held as float). The loop runs over
// pixels with the step's numbers held apart from them, so that it
// vectorises; with AVX2 where the processor has it.
LUMIREEL_MIX_TARGETS void MixBlock(const MixStep* steps,
                                                                std::size_t count,
                                                                float* __restrict r,
                                                                float* __restrict g,
                                                                float* __restrict b,
                                                                std::size_t n) {
  for (std::size_t s = 0; s < count; ++s) {
    const MixStep m = steps[s];
    for (std::size_t x = 0; x < n; ++x) {
      const double red = r[x], green = g[x], blue = b[x];
      double t0 = m.k[0][0] * red;
      double t1 = m.k[1][0] * red;
      double t2 = m.k[2][0] * red;
      t0 += m.k[0][1] * green;
      t1 += m.k[1][1] * green;
      t2 += m.k[2][1] * green;
      t0 += m.k[0][2] * blue;
      t1 += m.k[1][2] * blue;
      t2 += m.k[2][2] * blue;
      r[x] = Level(static_cast<float>(t0) + m.offset[0]);
      g[x] = Level(static_cast<float>(t1) + m.offset[1]);
      b[x] = Level(static_cast<float>(t2) + m.offset[2]);
    }
  }
}

}  // namespace

MixStep MixStepOf(const ColorMatrix& m) {
  MixStep step{};
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 3; ++i) step.k[c][i] = m[i][c];
    step.offset[c] = static_cast<float>(ChannelOffset(m, c) + 0.5);
  }
  return step;
}

void MixPixels(const std::vector<MixStep>& steps, const std::uint8_t* in, std::uint8_t* out,
               std::size_t n) {
  float r[kBlock], g[kBlock], b[kBlock];
  for (std::size_t start = 0; start < n; start += kBlock) {
    const std::size_t count = std::min(kBlock, n - start);
    const std::uint8_t* p = in + 3 * start;
    for (std::size_t x = 0; x < count; ++x) {
      r[x] = p[3 * x];
      g[x] = p[3 * x + 1];
      b[x] = p[3 * x + 2];
    }
    MixBlock(steps.data(), steps.size(), r, g, b, count);
    std::uint8_t* q = out + 3 * start;
    for (std::size_t x = 0; x < count; ++x) {
      q[3 * x] = static_cast<std::uint8_t>(r[x]);
      q[3 * x + 1] = static_cast<std::uint8_t>(g[x]);
      q[3 * x + 2] = static_cast<std::uint8_t>(b[x]);
    }
  }
}

}  // namespace lumireel
