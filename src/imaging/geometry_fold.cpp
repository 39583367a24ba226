#include "imaging/geometry_fold.h"

#include <algorithm>
#include <utility>

namespace lumireel {
namespace {

// Crop offsets this far out leave nothing of any frame a picture can have
// (sides stay below 2^24), so clamping them changes no pixel and keeps the
// arithmetic below within 64 bits.
constexpr std::int64_t kFarAway = std::int64_t{1} << 40;

bool IsCanvasSize(const PixelRect& r) {
  return r.width > 0 && r.height > 0 && r.width <= kMaxCanvasSide && r.height <= kMaxCanvasSide &&
         static_cast<std::uint64_t>(r.width) * static_cast<std::uint64_t>(r.height) <=
             kMaxCanvasPixels;
}

// `r`, given in a frame of `w` x `h` turned a quarter clockwise, in the
// coordinates of that frame before the turn.
PixelRect UndoQuarterTurn(const PixelRect& r, std::int64_t w_turned) {
  // A pixel (x, y) of the unturned frame lands at (h - 1 - y, x); so the
  // turned rectangle (x, y, rw, rh) came from (y, w_turned - x - rw, rh, rw).
  return {r.y, w_turned - r.x - r.width, r.height, r.width};
}

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
  const std::int64_t left = std::max(a.x, b.x);
  const std::int64_t top = std::max(a.y, b.y);
  const std::int64_t right = std::min(a.x + a.width, b.x + b.width);
  const std::int64_t bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

void Apply(Orientation& o, RotateFlipType turn) {
  switch (turn) {
    case RotateFlipType::kRotate90:
      o.quarter_turns = (o.quarter_turns + 1) % 4;
      break;
    case RotateFlipType::kRotate180:
      o.quarter_turns = (o.quarter_turns + 2) % 4;
      break;
    case RotateFlipType::kRotate270:
      o.quarter_turns = (o.quarter_turns + 3) % 4;
      break;
    case RotateFlipType::kMirrorLeftRight:
      // A mirror after n quarter turns is the mirror first and -n turns.
      o.mirrored = !o.mirrored;
      o.quarter_turns = (4 - o.quarter_turns) % 4;
      break;
    case RotateFlipType::kMirrorTopBottom:
      // Top-bottom is left-right followed by a half turn.
      o.mirrored = !o.mirrored;
      o.quarter_turns = (6 - o.quarter_turns) % 4;
      break;
  }
}

// The crop `r`, given in the oriented frame, in the frame's own coordinates
// (before orientation `o`).
PixelRect InFrame(PixelRect r, const Orientation& o, std::int64_t frame_w, std::int64_t frame_h) {
  // Undo the turns one by one; the frame's sides swap with each.
  std::int64_t w = o.quarter_turns % 2 == 0 ? frame_w : frame_h;
  std::int64_t h = o.quarter_turns % 2 == 0 ? frame_h : frame_w;
  for (int i = 0; i < o.quarter_turns; ++i) {
    r = UndoQuarterTurn(r, w);
    std::swap(w, h);
  }
  if (o.mirrored) r.x = frame_w - r.x - r.width;
  return r;
}

}  // namespace

std::optional<FoldedGeometry> FoldGeometry(const std::vector<GeometryStep>& steps,
                                           std::int64_t width, std::int64_t height) {
  FoldedGeometry folded;
  folded.frame = {0, 0, width, height};
  folded.visible = folded.frame;
  for (const GeometryStep& step : steps) {
    if (step.kind == GeometryStep::Kind::kTurn) {
      Apply(folded.orientation, step.turn);
      continue;
    }
    PixelRect crop = step.crop;
    if (!IsCanvasSize(crop)) return std::nullopt;
    crop.x = std::clamp(crop.x, -kFarAway, kFarAway);
    crop.y = std::clamp(crop.y, -kFarAway, kFarAway);
    const PixelRect local =
        InFrame(crop, folded.orientation, folded.frame.width, folded.frame.height);
    folded.frame = {folded.frame.x + local.x, folded.frame.y + local.y, local.width, local.height};
    if (folded.visible.width > 0) folded.visible = Intersection(folded.visible, folded.frame);
    if (folded.visible.width == 0) {
      // Only black is left: where the frame lies no longer matters, so it is
      // kept near the origin, far from any overflow.
      folded.frame.x = 0;
      folded.frame.y = 0;
      folded.visible = {};
    }
  }
  return folded;
}

vips::VImage Reshaped(const vips::VImage& image, const FoldedGeometry& geometry) {
  using vips::VImage;
  const PixelRect& frame = geometry.frame;
  const PixelRect& visible = geometry.visible;
  VImage out = image;
  if (visible.width == 0) {
    out = VImage::black(static_cast<int>(frame.width), static_cast<int>(frame.height),
                        VImage::option()->set("bands", image.bands()))
              .cast(image.format())
              .copy(VImage::option()->set("interpretation", image.interpretation()));
  } else if (frame.x != 0 || frame.y != 0 || frame.width != image.width() ||
             frame.height != image.height() || visible.width != frame.width ||
             visible.height != frame.height) {
    out = image
              .extract_area(static_cast<int>(visible.x), static_cast<int>(visible.y),
                            static_cast<int>(visible.width), static_cast<int>(visible.height))
              .embed(static_cast<int>(visible.x - frame.x), static_cast<int>(visible.y - frame.y),
                     static_cast<int>(frame.width), static_cast<int>(frame.height),
                     VImage::option()->set("extend", VIPS_EXTEND_BLACK));
  }
  if (geometry.orientation.mirrored) out = out.flip(VIPS_DIRECTION_HORIZONTAL);
  constexpr VipsAngle kTurns[] = {VIPS_ANGLE_D0, VIPS_ANGLE_D90, VIPS_ANGLE_D180, VIPS_ANGLE_D270};
  if (geometry.orientation.quarter_turns != 0) {
    out = out.rot(kTurns[geometry.orientation.quarter_turns]);
  }
  return out;
}

std::optional<vips::VImage> ReshapeImage(const vips::VImage& image,
                                         const std::vector<GeometryStep>& steps) {
  const std::optional<FoldedGeometry> geometry = FoldGeometry(steps, image.width(), image.height());
  if (!geometry) return std::nullopt;
  return Reshaped(image, *geometry);
}

}  // namespace lumireel
