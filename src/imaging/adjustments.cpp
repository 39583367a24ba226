#include "imaging/adjustments.h"

#include <cmath>

#include "bridge/invoke_request.h"
#include "xml/element_tree.h"

namespace lumireel {
namespace {

// The weights of red, green and blue in a grey level.
constexpr double kRedWeight = 0.212671;
constexpr double kGreenWeight = 0.71516;
constexpr double kBlueWeight = 0.072169;
constexpr double kRadiansPerDegree = 0.017453292519944444;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, pos)) {
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  text = std::move(out);
}

ColorMatrix Identity() {
  ColorMatrix m{};
  for (int i = 0; i < 5; ++i) m[i][i] = 1.0f;
  return m;
}

// Sets columns 0 to 2 of the first three rows.
ColorMatrix WithColourRows(const double (&rows)[3][3]) {
  ColorMatrix m = Identity();
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column)
      m[row][column] = static_cast<float>(rows[row][column]);
  }
  return m;
}

long Integer(const CXmlNode& node, std::string_view name) {
  const std::string* value = node.GetAttrValue(name);
  return value != nullptr ? ReadDecimal(*value) : 0;
}

bool HasAll(const CXmlNode& node, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (node.GetAttrValue(name) == nullptr) return false;
  }
  return true;
}

std::optional<ColorMatrix> ColourStep(const std::string& type, long value) {
  if (type == "contrast") return ContrastMatrix(value);
  if (type == "brightes") return BrightnessMatrix(value);
  if (type == "saturation") return SaturationMatrix(value);
  if (type == "hue") return HueMatrix(value);
  return std::nullopt;
}

std::optional<RotateFlipType> Rotation(const std::string& value) {
  if (value == "90") return RotateFlipType::kRotate90;
  if (value == "-90") return RotateFlipType::kRotate270;
  if (value == "180" || value == "-180") return RotateFlipType::kRotate180;
  return std::nullopt;
}

// Adds what one geometry element asks for to `plan`; other elements add
// nothing.
void ReadGeometry(const CXmlNode& node, const std::string& type, AdjustmentPlan& plan) {
  if (type == "maxsize") {
    if (!HasAll(node, {"width", "height"})) return;
    plan.max_width = Integer(node, "width");
    plan.max_height = Integer(node, "height");
  } else if (type == "crop") {
    if (!HasAll(node, {"x", "y", "w", "h"})) return;
    GeometryStep step;
    step.kind = GeometryStep::Kind::kCrop;
    step.crop = {Integer(node, "x"), Integer(node, "y"), Integer(node, "w"), Integer(node, "h")};
    plan.geometry.push_back(step);
  } else if (type == "rotation") {
    const std::string* value = node.GetAttrValue("value");
    if (value == nullptr) return;
    if (const std::optional<RotateFlipType> turn = Rotation(*value)) {
      plan.geometry.push_back({GeometryStep::Kind::kTurn, {}, *turn});
    }
  } else if (type == "flip") {
    if (!HasAll(node, {"xscale", "yscale"})) return;
    // A left-right mirror wins when both are asked for.
    if (*node.GetAttrValue("xscale") == "-100") {
      plan.geometry.push_back({GeometryStep::Kind::kTurn, {}, RotateFlipType::kMirrorLeftRight});
    } else if (*node.GetAttrValue("yscale") == "-100") {
      plan.geometry.push_back({GeometryStep::Kind::kTurn, {}, RotateFlipType::kMirrorTopBottom});
    }
  }
}

}  // namespace

std::string DecodeAdjustmentText(std::string_view text) {
  std::string decoded(text);
  ReplaceAll(decoded, "&amp;", "&");
  ReplaceAll(decoded, "&quot;", "\"");
  ReplaceAll(decoded, "&apos;", "'");
  ReplaceAll(decoded, "&lt;", "<");
  ReplaceAll(decoded, "&gt;", ">");
  ReplaceAll(decoded, "\\", "\\\\");
  return decoded;
}

ColorMatrix ContrastMatrix(long v) {
  const double s = 1.0 + static_cast<double>(v) / 255.0;
  ColorMatrix m = Identity();
  for (int c = 0; c < 3; ++c) {
    m[c][c] = static_cast<float>(s);
    m[4][c] = static_cast<float>((1.0 - s) * 0.5);
  }
  return m;
}

ColorMatrix BrightnessMatrix(long v) {
  ColorMatrix m = Identity();
  for (int c = 0; c < 3; ++c) m[4][c] = static_cast<float>(static_cast<double>(v) / 100.0);
  return m;
}

ColorMatrix SaturationMatrix(long v) {
  const double s = static_cast<double>(v) / 100.0;
  const double r = (1.0 - s) * kRedWeight;
  const double g = (1.0 - s) * kGreenWeight;
  const double b = (1.0 - s) * kBlueWeight;
  const double rows[3][3] = {{s + r, r, r}, {g, s + g, g}, {b, b, s + b}};
  return WithColourRows(rows);
}

ColorMatrix HueMatrix(long v) {
  const double a = static_cast<double>(v) * kRadiansPerDegree;
  const double c = std::cos(a);
  const double s = std::sin(a);
  // Row j holds the weights of red, green and blue in the new channel j;
  // the matrix takes them as its column j (row-vector convention), so that
  // greys stay grey at every angle.
  const double new_channels[3][3] = {
      {0.213 + 0.787 * c - 0.213 * s, 0.715 - 0.715 * c - 0.715 * s, 0.072 - 0.072 * c + 0.928 * s},
      {0.213 - 0.213 * c + 0.143 * s, 0.715 + 0.285 * c + 0.140 * s, 0.072 - 0.072 * c - 0.283 * s},
      {0.213 - 0.213 * c - 0.787 * s, 0.715 - 0.715 * c + 0.715 * s, 0.072 + 0.928 * c + 0.072 * s},
  };
  double rows[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) rows[i][j] = new_channels[j][i];
  }
  return WithColourRows(rows);
}

std::optional<AdjustmentPlan> ReadAdjustments(std::string_view text) {
  const std::string decoded = DecodeAdjustmentText(text);
  CXmlDocument document;
  if (document.ParseText(decoded) == nullptr) return std::nullopt;
  const CXmlNode* root = document.RootElement();
  if (root == nullptr) return std::nullopt;

  AdjustmentPlan plan;
  std::size_t elements = 0;
  for (const auto& child : root->children()) {
    if (child->kind == XmlNodeKind::Element && ++elements > kMaxAdjustmentSteps) {
      AdjustmentPlan refused;
      refused.over_limit = true;
      return refused;
    }
  }
  for (const auto& child : root->children()) {
    if (child->kind != XmlNodeKind::Element) continue;
    const std::string* type = child->GetAttrValue("type");
    if (type == nullptr) continue;
    if (const std::string* value = child->GetAttrValue("value")) {
      if (std::optional<ColorMatrix> matrix = ColourStep(*type, ReadDecimal(*value))) {
        plan.colours.push_back(*matrix);
        continue;
      }
    }
    ReadGeometry(*child, *type, plan);
  }
  return plan;
}

}  // namespace lumireel
