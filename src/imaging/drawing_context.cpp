// Scaled and recoloured drawing onto an image.
#include <algorithm>

#include "imaging/image_codec.h"
#include "imaging/pixel_ops.h"

namespace lumireel {
namespace {

using vips::VImage;

// True when the matrix leaves every pixel of an opaque image opaque.
bool KeepsOpaque(const ColorMatrix& m) {
  return m[0][3] == 0 && m[1][3] == 0 && m[2][3] == 0 && m[3][3] + m[4][3] >= 1.0f;
}

// `in` (three or four bands) recoloured through `m`: [r g b a 1] x m,
// clamped. The result has four bands unless it stays opaque.
VImage Recolour(const VImage& in, const ColorMatrix& m) {
  const bool opaque_result = !in.has_alpha() && KeepsOpaque(m);
  const VImage rgba = in.has_alpha() ? in : in.bandjoin_const({255.0});
  // The library multiplies column vectors: out[j] = sum over i of k(i, j) * in[i].
  double coefficients[16];
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) coefficients[j * 4 + i] = m[i][j];
  }
  const VImage k = VImage::new_matrix(4, 4, coefficients, 16);
  std::vector<double> scale(4, 1.0);
  std::vector<double> offset(4);
  for (int j = 0; j < 4; ++j) offset[j] = 255.0 * m[4][j];
  VImage out = rgba.recomb(k).linear(scale, offset).round(VIPS_OPERATION_ROUND_RINT);
  out = out.cast(VIPS_FORMAT_UCHAR)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
  if (opaque_result) out = out.extract_band(0, VImage::option()->set("n", 3));
  return out;
}

// `in` with exactly `bands` bands (3 or 4): alpha dropped or made opaque.
VImage WithBands(const VImage& in, int bands) {
  if (in.bands() == bands) return in;
  if (in.bands() > bands) return in.extract_band(0, VImage::option()->set("n", bands));
  return in.bandjoin_const({255.0});
}

}  // namespace

CodecStatus DrawingContext::DrawImage(const Image& source, const PixelRect& dest_rect,
                                      const PixelRect& source_rect) {
  return Draw(source, dest_rect, source_rect, nullptr);
}

CodecStatus DrawingContext::DrawImage(const Image& source, const PixelRect& dest_rect,
                                      const PixelRect& source_rect, const ColorMatrix& matrix) {
  return Draw(source, dest_rect, source_rect, &matrix);
}

CodecStatus DrawingContext::Draw(const Image& source, const PixelRect& dest, const PixelRect& from,
                                 const ColorMatrix* matrix) {
  if (!target_.decoded() || !source.decoded()) return CodecStatus::kNotDecoded;
  if (from.width <= 0 || from.height <= 0 || from.x < 0 || from.y < 0 ||
      from.x + from.width > source.width() || from.y + from.height > source.height() ||
      dest.width <= 0 || dest.height <= 0 || dest.width > kMaxCanvasSide ||
      dest.height > kMaxCanvasSide) {
    return CodecStatus::kInvalidParameter;
  }
  // The part of the destination that lies on the target.
  const std::int64_t left = std::max<std::int64_t>(dest.x, 0);
  const std::int64_t top = std::max<std::int64_t>(dest.y, 0);
  const std::int64_t right = std::min<std::int64_t>(dest.x + dest.width, target_.width());
  const std::int64_t bottom = std::min<std::int64_t>(dest.y + dest.height, target_.height());
  if (left >= right || top >= bottom) return CodecStatus::kOk;
  const int visible_w = static_cast<int>(right - left);
  const int visible_h = static_cast<int>(bottom - top);
  const ResampleKernel kernel = interpolation_ == Interpolation::kHighQualityBicubic
                                    ? ResampleKernel::kCubic
                                    : ResampleKernel::kLinear;
  try {
    VImage piece =
        source.pixels().extract_area(static_cast<int>(from.x), static_cast<int>(from.y),
                                     static_cast<int>(from.width), static_cast<int>(from.height));
    piece = ResizeExact(piece, static_cast<std::uint32_t>(dest.width),
                        static_cast<std::uint32_t>(dest.height), kernel);
    if (matrix != nullptr) piece = Recolour(piece, *matrix);
    piece = piece.extract_area(static_cast<int>(left - dest.x), static_cast<int>(top - dest.y),
                               visible_w, visible_h);
    const VImage base = target_.pixels_;
    if (piece.has_alpha()) {
      const VImage under =
          base.extract_area(static_cast<int>(left), static_cast<int>(top), visible_w, visible_h);
      piece = under.composite2(piece, VIPS_BLEND_MODE_OVER).cast(VIPS_FORMAT_UCHAR);
    }
    target_.pixels_ =
        base.insert(WithBands(piece, base.bands()), static_cast<int>(left), static_cast<int>(top));
  } catch (const vips::VError&) {
    vips_error_clear();
    return CodecStatus::kFailed;
  }
  return CodecStatus::kOk;
}

}  // namespace lumireel
