// Long edit documents: the folded geometry and the colour pass in pieces
// against the same steps applied one by one, pixel for pixel.
#include "imaging/geometry_fold.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/adjustments.h"
#include "imaging/colour_pass.h"
#include "imaging/image_codec.h"
#include "imaging/test_images.h"

namespace lumireel {
namespace {

using vips::VImage;

// One step as the editor's pass did it before folding: a crop makes a black
// canvas of its size and copies the image in; a turn or mirror moves pixels.
VImage StepByStep(VImage image, const std::vector<GeometryStep>& steps) {
  for (const GeometryStep& step : steps) {
    if (step.kind == GeometryStep::Kind::kCrop) {
      const PixelRect& r = step.crop;
      const bool overlaps =
          r.x < image.width() && r.y < image.height() && r.x > -r.width && r.y > -r.height;
      image = overlaps ? image.embed(static_cast<int>(-r.x), static_cast<int>(-r.y),
                                     static_cast<int>(r.width), static_cast<int>(r.height),
                                     VImage::option()->set("extend", VIPS_EXTEND_BLACK))
                       : VImage::black(static_cast<int>(r.width), static_cast<int>(r.height),
                                       VImage::option()->set("bands", 3))
                             .cast(VIPS_FORMAT_UCHAR);
    } else {
      switch (step.turn) {
        case RotateFlipType::kRotate90:
          image = image.rot(VIPS_ANGLE_D90);
          break;
        case RotateFlipType::kRotate180:
          image = image.rot(VIPS_ANGLE_D180);
          break;
        case RotateFlipType::kRotate270:
          image = image.rot(VIPS_ANGLE_D270);
          break;
        case RotateFlipType::kMirrorLeftRight:
          image = image.flip(VIPS_DIRECTION_HORIZONTAL);
          break;
        case RotateFlipType::kMirrorTopBottom:
          image = image.flip(VIPS_DIRECTION_VERTICAL);
          break;
      }
    }
    image = image.copy_memory();  // one step at a time, as before
  }
  return image;
}

// The pixels as bytes, with the size in front, for exact comparison.
std::string Pixels(const VImage& image) {
  const VImage bytes = image.cast(VIPS_FORMAT_UCHAR).copy_memory();
  size_t size = 0;
  const void* data = bytes.write_to_memory(&size);
  std::string out = std::to_string(bytes.width()) + "x" + std::to_string(bytes.height()) + ":";
  out.append(static_cast<const char*>(data), size);
  g_free(const_cast<void*>(data));
  return out;
}

GeometryStep Crop(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
  return {GeometryStep::Kind::kCrop, {x, y, w, h}, RotateFlipType::kRotate90};
}
GeometryStep Turn(RotateFlipType turn) { return {GeometryStep::Kind::kTurn, {}, turn}; }

class GeometryFoldTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ImageCodec::Initialise()); }
  // 7 x 5 pixels, every one different.
  const VImage image_ = testing::Gradient(7, 5).copy_memory();
};

TEST_F(GeometryFoldTest, AnySequenceGivesThePixelsOfTheStepByStepPass) {
  std::mt19937 random(16);
  const RotateFlipType turns[] = {RotateFlipType::kRotate90, RotateFlipType::kRotate180,
                                  RotateFlipType::kRotate270, RotateFlipType::kMirrorLeftRight,
                                  RotateFlipType::kMirrorTopBottom};
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<GeometryStep> steps;
    const int count = pick(1, 8);
    for (int i = 0; i < count; ++i) {
      if (pick(0, 2) == 0) {
        // Mostly near the image; now and then far away, off every frame.
        const std::int64_t far = pick(0, 9) == 0 ? std::int64_t{1} << 62 : 0;
        steps.push_back(Crop(pick(-6, 8) + far, pick(-6, 8) - far, pick(1, 9), pick(1, 9)));
      } else {
        steps.push_back(Turn(turns[pick(0, 4)]));
      }
    }
    const std::optional<VImage> folded = ReshapeImage(image_, steps);
    ASSERT_TRUE(folded);
    ASSERT_EQ(Pixels(*folded), Pixels(StepByStep(image_, steps))) << "round " << round;
  }
}

TEST_F(GeometryFoldTest, LongDocumentsFoldIntoAFewOperations) {
  struct Case {
    const char* what;
    std::vector<GeometryStep> steps;
    std::vector<GeometryStep> same_as;
  };
  const std::vector<GeometryStep> three_turns(9'999, Turn(RotateFlipType::kRotate90));
  std::vector<GeometryStep> flips(100'001, Turn(RotateFlipType::kMirrorLeftRight));
  std::vector<GeometryStep> crops;
  // In and out again: a black border of one pixel, however often.
  for (int i = 0; i < 50'000; ++i) {
    crops.push_back(Crop(1, 1, 5, 3));
    crops.push_back(Crop(-1, -1, 7, 5));
  }
  const Case cases[] = {
      {"9,999 quarter turns", three_turns, {Turn(RotateFlipType::kRotate270)}},
      {"100,001 mirrors", flips, {Turn(RotateFlipType::kMirrorLeftRight)}},
      {"100,000 crops", crops, {Crop(1, 1, 5, 3), Crop(-1, -1, 7, 5)}},
  };
  for (const Case& c : cases) {
    const std::optional<VImage> folded = ReshapeImage(image_, c.steps);
    ASSERT_TRUE(folded) << c.what;
    EXPECT_EQ(Pixels(*folded), Pixels(StepByStep(image_, c.same_as))) << c.what;
  }
  // A crop no canvas can have refuses the whole pass, as step by step.
  EXPECT_FALSE(ReshapeImage(image_, {Turn(RotateFlipType::kRotate90), Crop(0, 0, 0, 5)}));
  EXPECT_FALSE(ReshapeImage(image_, {Crop(0, 0, 70000, 5)}));
}

TEST_F(GeometryFoldTest, ALongMixingPassIsComputedInPiecesWithTheSamePixels) {
  std::vector<ColorMatrix> matrices;
  for (int i = 0; i < 500; ++i) {
    matrices.push_back(ContrastMatrix(i % 7 - 3));
    matrices.push_back(SaturationMatrix(95 + i % 11));
    if (i % 50 == 0) matrices.push_back(HueMatrix(i));
  }
  VImage one_by_one = image_;
  for (const ColorMatrix& m : matrices) one_by_one = ApplyColourPass(one_by_one, {m}).copy_memory();
  EXPECT_EQ(Pixels(ApplyColourPass(image_, matrices)), Pixels(one_by_one));
}

// The channel-mixing step as the image library's own operations do it: a
// recombination into float, the offset (with half a level for the cast's
// truncation) added in float, and the cast back to 8 bits.
VImage LibraryMix(const VImage& in, const ColorMatrix& m) {
  double coefficients[9];
  std::vector<double> offsets(3);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 3; ++i) coefficients[c * 3 + i] = m[i][c];
    offsets[c] = 255.0 * (static_cast<double>(m[3][c]) + static_cast<double>(m[4][c])) + 0.5;
  }
  return in.recomb(VImage::new_matrix(3, 3, coefficients, 9))
      .linear(std::vector<double>(3, 1.0), offsets)
      .cast(VIPS_FORMAT_UCHAR);
}

// The mixing pass gives, pixel for pixel, what the library's recombination,
// offset and cast give step by step, on a million colours (every grey level
// and the corners of the cube among them), for runs of mixing steps alone,
// between per-channel steps, and with strong and inverted coefficients.
TEST(ColourPassTest, MixingGivesTheLibrarysPixelsStepByStep) {
  constexpr int kSide = 1024;
  std::vector<std::uint8_t> colours(3 * kSide * kSide);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<std::uint8_t>(random());
  for (int level = 0; level < 256; ++level) {
    for (int c = 0; c < 3; ++c) colours[3 * level + c] = static_cast<std::uint8_t>(level);
  }
  for (int corner = 0; corner < 8; ++corner) {
    for (int c = 0; c < 3; ++c) colours[3 * (256 + corner) + c] = corner & (1 << c) ? 255 : 0;
  }
  const VImage image = VImage::new_from_memory(colours.data(), colours.size(), kSide, kSide, 3,
                                               VIPS_FORMAT_UCHAR);
  const std::vector<std::vector<ColorMatrix>> chains = {
      {SaturationMatrix(130)},
      {HueMatrix(20), SaturationMatrix(60)},
      {ContrastMatrix(25), BrightnessMatrix(10), SaturationMatrix(130), HueMatrix(20)},
      {HueMatrix(-90), ContrastMatrix(-40), SaturationMatrix(0), HueMatrix(180),
       BrightnessMatrix(-30)},
      {SaturationMatrix(400), SaturationMatrix(-200), HueMatrix(33)},
  };
  for (std::size_t n = 0; n < chains.size(); ++n) {
    VImage expected = image;
    for (const ColorMatrix& m : chains[n]) {
      expected = ActsPerChannel(m) ? ApplyColourPass(expected, {m}) : LibraryMix(expected, m);
    }
    EXPECT_EQ(Pixels(ApplyColourPass(image, chains[n])), Pixels(expected)) << "chain " << n;
  }
}

TEST(AdjustmentLimitTest, DocumentsBeyondTheStepLimitAreRefused) {
  const auto document = [](std::size_t elements) {
    std::string text = "&lt;adjust&gt;";
    for (std::size_t i = 0; i < elements; ++i) {
      text += "&lt;a type=&quot;rotation&quot; value=&quot;90&quot;/&gt;";
    }
    return text + "&lt;/adjust&gt;";
  };
  const std::optional<AdjustmentPlan> at_limit = ReadAdjustments(document(kMaxAdjustmentSteps));
  ASSERT_TRUE(at_limit);
  EXPECT_FALSE(at_limit->over_limit);
  EXPECT_EQ(at_limit->geometry.size(), kMaxAdjustmentSteps);
  const std::optional<AdjustmentPlan> beyond = ReadAdjustments(document(kMaxAdjustmentSteps + 1));
  ASSERT_TRUE(beyond);
  EXPECT_TRUE(beyond->over_limit);
  EXPECT_TRUE(beyond->geometry.empty());
}

}  // namespace
}  // namespace lumireel
