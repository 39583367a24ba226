// The adjustment document: its text form, the colour matrices and what a
// document asks for.
#include "imaging/adjustments.h"

#include <gtest/gtest.h>

#include "bridge/movie_messages.h"

namespace lumireel {
namespace {

TEST(AdjustmentTextTest, DecodesReferencesOnceEachInOrderAndDoublesBackslashes) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"&lt;a t=&quot;x&quot; v=&apos;1&apos;/&gt;", "<a t=\"x\" v='1'/>"},
      {"&amp;lt;b/&amp;gt;", "<b/>"},  // escaped twice: the ampersand goes first
      {"&amp;amp;", "&amp;"},          // each reference is replaced in one pass
      {"&nbsp;&#60;", "&nbsp;&#60;"},  // other references stay
      {"C:\\a\\\\b", "C:\\\\a\\\\\\\\b"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeAdjustmentText(c.in), c.out) << c.in;
}

// Checks the colour block (m[i][c]) and the offsets of row 4; the rest must
// be the identity's.
void ExpectMatrix(const ColorMatrix& m, const double (&rows)[3][3], double offset,
                  const char* what) {
  for (int i = 0; i < 5; ++i) {
    for (int c = 0; c < 5; ++c) {
      double want = i == c ? 1.0 : 0.0;
      if (i < 3 && c < 3) want = rows[i][c];
      if (i == 4 && c < 3) want = offset;
      EXPECT_NEAR(m[i][c], want, 1e-6) << what << " m[" << i << "][" << c << "]";
    }
  }
}

TEST(ColourMatrixTest, CoefficientsAreExact) {
  const double id[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const double two[3][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
  const double lr = 0.212671, lg = 0.71516, lb = 0.072169;
  const double grey[3][3] = {{lr, lr, lr}, {lg, lg, lg}, {lb, lb, lb}};
  // Hue 180 (C = -1, S = 0): m[i][c] is the weight of input i in output c.
  const double turned[3][3] = {{-0.574, 0.426, 0.426}, {1.43, 0.43, 1.43}, {0.144, 0.144, -0.856}};
  ExpectMatrix(ContrastMatrix(255), two, -0.5, "contrast 255");
  ExpectMatrix(BrightnessMatrix(20), id, 0.2, "brightness 20");
  ExpectMatrix(SaturationMatrix(100), id, 0, "saturation 100");
  ExpectMatrix(SaturationMatrix(0), grey, 0, "saturation 0");
  ExpectMatrix(HueMatrix(0), id, 0, "hue 0");
  ExpectMatrix(HueMatrix(-180), turned, 0, "hue -180");
  for (long v = -360; v <= 360; v += 15) {  // a hue turn keeps greys grey
    const ColorMatrix m = HueMatrix(v);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m[0][c] + m[1][c] + m[2][c], 1.0, 1e-5) << v;
  }
}

TEST(AdjustmentPlanTest, ReadsColoursThenGeometryAndIgnoresWhatItCannotUse) {
  const std::optional<AdjustmentPlan> plan = ReadAdjustments(EncodeMessageText(R"(<adjust>
      <a type="crop" x="-5" y="2" w="10" h="20"/>
      <a type="brightes" value=" +20px"/>
      <a type="brightness" value="50"/><a type="Contrast" value="50"/><a type="hue"/>
      <a type="crop" x="1" y="1" w="1"/>
      <a type="maxsize" width="90" height="60"/>
      <a type="rotation" value="-90"/><a type="rotation" value="45"/>
      <a type="flip" xscale="-100" yscale="-100"/><a type="flip" xscale="100" yscale="-100"/>
      <a type="flip" xscale="-100"/>
      <a type="saturation" value="0"/>
      <a type="maxsize" width="180" height="120"/></adjust>)"));
  ASSERT_TRUE(plan);
  ASSERT_EQ(plan->colours.size(), 2u);
  EXPECT_EQ(plan->colours[0], BrightnessMatrix(20));
  EXPECT_EQ(plan->colours[1], SaturationMatrix(0));
  using Kind = GeometryStep::Kind;
  const std::vector<GeometryStep> geometry = {
      {Kind::kCrop, {-5, 2, 10, 20}, RotateFlipType::kRotate90},
      {Kind::kTurn, {}, RotateFlipType::kRotate270},
      {Kind::kTurn, {}, RotateFlipType::kMirrorLeftRight},
      {Kind::kTurn, {}, RotateFlipType::kMirrorTopBottom},
  };
  EXPECT_EQ(plan->geometry, geometry);
  EXPECT_EQ(plan->max_width, 180);  // the last maxsize wins
  EXPECT_EQ(plan->max_height, 120);
}

TEST(AdjustmentPlanTest, TextThatDoesNotParseOrHoldsNoElementIsRefused) {
  for (const char* text : {"", "no markup", "<a><b></a>", "<a"}) {
    EXPECT_FALSE(ReadAdjustments(EncodeMessageText(text))) << text;
  }
  // A backslash stays a character of the value instead of escaping the quote.
  const auto plan = ReadAdjustments(EncodeMessageText(R"(<a><b type="hue\" value="9"/></a>)"));
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->colours.empty());
}

}  // namespace
}  // namespace lumireel
