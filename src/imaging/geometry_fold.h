// The geometry pass of an edit folded into at most one crop and one of the
// eight orientations, so that a document of any length becomes a pipeline
// of a few operations with the very pixels of the step-by-step pass.
//
// A crop shows the part of the working image inside its rectangle and black
// where the rectangle leaves the image; a turn or mirror moves pixels and
// the black with them. So every sequence of steps equals: keep the window
// `visible` of the original image (the part that no crop cut away), place it
// in a frame (the last crop's rectangle, in the original image's
// coordinates, black around the window), then mirror and turn once.
//
// FoldGeometry is pure computation; the image functions throw vips::VError
// as libvips does. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>
#include <vips/vips8>

#include "imaging/adjustments.h"

namespace lumireel {

// One of the eight orientations: first a left-right mirror when `mirrored`,
// then `quarter_turns` quarter turns clockwise (0 to 3).
struct Orientation {
  bool mirrored = false;
  int quarter_turns = 0;
  bool operator==(const Orientation&) const = default;
};

struct FoldedGeometry {
  // The frame the image ends in before it is oriented, in the coordinates of
  // the original image (it may reach beyond the image).
  PixelRect frame;
  // The part of the original image still shown, inside the frame; empty
  // (width 0) when only black is left.
  PixelRect visible;
  Orientation orientation;
};

// Folds `steps` for an original image of `width` x `height` pixels. nullopt
// when a crop has no pixels or is larger than a canvas can be, as the
// step-by-step pass refuses such a crop.
std::optional<FoldedGeometry> FoldGeometry(const std::vector<GeometryStep>& steps,
                                           std::int64_t width, std::int64_t height);

// `image` with the folded geometry applied: a lazy pipeline of at most four
// operations (window, frame, mirror, turn).
vips::VImage Reshaped(const vips::VImage& image, const FoldedGeometry& geometry);

// `image` after `steps` (each crop refers to the image as the steps before
// it left it): the same pixels as the steps applied one by one. nullopt when
// FoldGeometry refuses the steps.
std::optional<vips::VImage> ReshapeImage(const vips::VImage& image,
                                         const std::vector<GeometryStep>& steps);

}  // namespace lumireel
