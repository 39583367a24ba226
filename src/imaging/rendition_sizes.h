// The sizes of a photo's two renditions: the big image (shown when one photo
// is viewed) and the preview (thumbnails). Sizes are computed in extended
// precision from the unsigned values and truncated toward zero.
#pragma once

#include <cstdint>

namespace lumireel {

// The four bounds the movie gives with AddPhoto.
struct RenditionLimits {
  std::uint32_t preview_width = 0;   // preview width of landscape photos (and small squares)
  std::uint32_t preview_height = 0;  // preview height of portrait photos (and large squares)
  std::uint32_t big_width = 0;       // width bound of the big box
  std::uint32_t big_height = 0;      // height bound of the big box
  bool operator==(const RenditionLimits&) const = default;
};

struct PixelSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const PixelSize&) const = default;
  bool empty() const { return width == 0 || height == 0; }
};

struct RenditionPlan {
  PixelSize preview;
  PixelSize big;
  // The source file itself serves as the big image, byte for byte (it is
  // smaller than the box on both sides, or exactly the box).
  bool copy_source = false;
  bool operator==(const RenditionPlan&) const = default;
};

// The renditions of a `width` x `height` (upright) photo:
// - landscape (w > h): preview (previewWidth, previewWidth*h/w); big
//   (bigWidth, bigWidth*h/w) when the photo exceeds the box, else (w, h);
// - square within the box: preview (previewWidth, previewWidth); big (w, h);
// - portrait, and square beyond the box: preview (previewHeight*w/h,
//   previewHeight); big (bigHeight*w/h, bigHeight) when it exceeds, else (w, h).
// The preview always reaches its bound, enlarging small photos. A photo that
// exceeds the box only in its shorter side is brought to the box along its
// longer side, so it may grow (600x550 in a 700x500 box gives 700x641).
RenditionPlan PlanRenditions(const RenditionLimits& limits, std::uint32_t width,
                             std::uint32_t height);

// The preview size of an edited `width` x `height` image for the preview box
// (mwidth, mheight) of its photo list: wider than high gives
// (mwidth, h*mwidth/w), higher than wide (w*mheight/h, mheight), square
// (mwidth, mheight).
PixelSize PreviewBoxSize(std::uint32_t box_width, std::uint32_t box_height, std::uint32_t width,
                         std::uint32_t height);

}  // namespace lumireel
