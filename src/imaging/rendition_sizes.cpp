#include "imaging/rendition_sizes.h"

namespace lumireel {
namespace {

// trunc(bound * numerator / denominator) in extended precision. The result
// never exceeds `bound` because numerator <= denominator wherever it is used.
std::uint32_t Scaled(std::uint32_t bound, std::uint32_t numerator, std::uint32_t denominator) {
  if (denominator == 0) return 0;
  const long double value = static_cast<long double>(bound) * numerator / denominator;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

RenditionPlan PlanRenditions(const RenditionLimits& limits, std::uint32_t width,
                             std::uint32_t height) {
  const std::uint32_t w = width;
  const std::uint32_t h = height;
  const bool exceeds = w > limits.big_width || h > limits.big_height;
  RenditionPlan plan;
  if (w > h) {
    plan.preview = {limits.preview_width, Scaled(limits.preview_width, h, w)};
    plan.big =
        exceeds ? PixelSize{limits.big_width, Scaled(limits.big_width, h, w)} : PixelSize{w, h};
  } else if (w == h && !exceeds) {
    plan.preview = {limits.preview_width, limits.preview_width};
    plan.big = {w, h};
  } else {
    plan.preview = {Scaled(limits.preview_height, w, h), limits.preview_height};
    plan.big =
        exceeds ? PixelSize{Scaled(limits.big_height, w, h), limits.big_height} : PixelSize{w, h};
  }
  plan.copy_source = (w < limits.big_width && h < limits.big_height) ||
                     (w == limits.big_width && h == limits.big_height);
  return plan;
}

PixelSize PreviewBoxSize(std::uint32_t box_width, std::uint32_t box_height, std::uint32_t width,
                         std::uint32_t height) {
  if (height < width) return {box_width, Scaled(box_width, height, width)};
  if (height > width) return {Scaled(box_height, width, height), box_height};
  return {box_width, box_height};
}

}  // namespace lumireel
