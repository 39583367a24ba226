// The adjustment document of the movie's photo editor and the colour
// matrices it asks for.
//
// The editor describes an edit as a small XML document: any root element
// whose child elements each carry a `type` attribute and the values of that
// adjustment as further attributes, for example
//   <adjust><a type="brightes" value="20"/><a type="rotation" value="90"/></adjust>
// Colour adjustments ("contrast", "brightes", "saturation", "hue") are
// applied first, in document order, each through a 5x5 colour matrix (row-
// vector convention of ColorMatrix) and clamped before the next; geometry
// ("maxsize", "crop", "rotation", "flip") follows, in document order. Type
// names and special values are compared exactly; other types, and elements
// lacking an attribute their type needs, are ignored.
//
// Everything here is pure computation; any thread may call it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/image_codec.h"

namespace lumireel {

// The adjustment text as the movie sends it (entity references still in
// place) made ready for the element tree: "&amp;", "&quot;", "&apos;",
// "&lt;" and "&gt;" are replaced, in this order and each over the whole
// text, by their characters, and then every backslash is doubled so that the
// tree's backslash escape keeps backslashes literal. Because "&amp;" goes
// first, "&amp;lt;" ends up as a plain "<".
std::string DecodeAdjustmentText(std::string_view text);

// out = s * in + (1 - s) / 2 with s = 1 + v / 255: 0 is neutral, 255 doubles
// the distance from mid-grey, -255 gives flat grey.
ColorMatrix ContrastMatrix(long v);
// out = in + v / 100: 0 is neutral, 20 raises each channel by 51 of 255.
ColorMatrix BrightnessMatrix(long v);
// out_c = s * in_c + (1 - s) * (0.212671 r + 0.71516 g + 0.072169 b) with
// s = v / 100: 100 is neutral, 0 gives grey levels.
ColorMatrix SaturationMatrix(long v);
// The hue rotation by v degrees (a = v * 0.017453292519944444, C = cos a,
// S = sin a): red' = (0.213 + 0.787C - 0.213S) r + (0.715 - 0.715C - 0.715S) g
// + (0.072 - 0.072C + 0.928S) b, green' = (0.213 - 0.213C + 0.143S) r +
// (0.715 + 0.285C + 0.140S) g + (0.072 - 0.072C - 0.283S) b, blue' =
// (0.213 - 0.213C - 0.787S) r + (0.715 - 0.715C + 0.715S) g + (0.072 +
// 0.928C + 0.072S) b; so m[i][c] is the weight of input i in output c. 0 is
// the identity, and greys stay grey at every angle.
ColorMatrix HueMatrix(long v);

// One step of the geometry pass.
struct GeometryStep {
  enum class Kind { kCrop, kTurn };
  Kind kind = Kind::kTurn;
  PixelRect crop;                                   // kCrop: the rectangle to keep
  RotateFlipType turn = RotateFlipType::kRotate90;  // kTurn: the rotation or mirror
  bool operator==(const GeometryStep& other) const {
    return kind == other.kind && crop.x == other.crop.x && crop.y == other.crop.y &&
           crop.width == other.crop.width && crop.height == other.crop.height && turn == other.turn;
  }
};

// The most adjustment elements a document may hold. The editor sends a few
// dozen; a longer document is refused (see AdjustmentPlan::over_limit), so
// that no document makes an edit run for hours.
inline constexpr std::size_t kMaxAdjustmentSteps = 10'000;

// What an adjustment document asks for, in the order it is applied.
struct AdjustmentPlan {
  std::vector<ColorMatrix> colours;    // the colour pass, in document order
  std::vector<GeometryStep> geometry;  // the geometry pass, in document order
  // The preview box of the last "maxsize" element (0 x 0 when there is none).
  long max_width = 0;
  long max_height = 0;
  // True when the document holds more than kMaxAdjustmentSteps elements; the
  // lists are then empty and the edit is refused.
  bool over_limit = false;
};

// Reads the adjustment text (in the form DecodeAdjustmentText takes) into a
// plan. Integers read as decimal numbers (leading blanks, sign, digits;
// anything else gives 0). nullopt when the decoded text does not parse or
// holds no element.
std::optional<AdjustmentPlan> ReadAdjustments(std::string_view text);

}  // namespace lumireel
