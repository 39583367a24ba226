#include "imaging/rendition_sizes.h"

#include <gtest/gtest.h>

namespace lumireel {
namespace {

TEST(RenditionSizeTest, PlansPreviewBigAndCopyForEveryShape) {
  const RenditionLimits box{180, 180, 700, 700};
  struct Case {
    RenditionLimits limits;
    std::uint32_t width, height;
    PixelSize preview, big;
    bool copy;
  } cases[] = {
      {box, 1600, 1200, {180, 135}, {700, 525}, false},
      {box, 1200, 1600, {135, 180}, {525, 700}, false},
      {box, 640, 480, {180, 135}, {640, 480}, true},
      // Width at the bound, height below it: not copied, kept at its size.
      {box, 700, 400, {180, 102}, {700, 400}, false},
      {box, 700, 700, {180, 180}, {700, 700}, true},
      {box, 1000, 1000, {180, 180}, {700, 700}, false},
      {box, 100, 50, {180, 90}, {100, 50}, true},
      {box, 699, 700, {179, 180}, {699, 700}, false},
      // A square within the box takes previewWidth, beyond it previewHeight.
      {{200, 120, 700, 700}, 500, 500, {200, 200}, {500, 500}, true},
      {{200, 120, 700, 700}, 900, 900, {120, 120}, {700, 700}, false},
      // Exceeding only in the shorter side brings the longer side to the box.
      {{180, 180, 700, 500}, 600, 550, {180, 165}, {700, 641}, false},
      {box, 3, 2, {180, 120}, {3, 2}, true},
      // Truncated, never rounded: 119.94 and 466.43.
      {box, 3000, 1999, {180, 119}, {700, 466}, false},
      // Limits of 0 give empty renditions.
      {{0, 0, 0, 0}, 640, 480, {0, 0}, {0, 0}, false},
      // The largest limits stay in range.
      {{4294967295u, 4294967295u, 4294967295u, 4294967295u},
       3,
       2,
       {4294967295u, 2863311530u},
       {3, 2},
       true},
  };
  for (const Case& c : cases) {
    const RenditionPlan plan = PlanRenditions(c.limits, c.width, c.height);
    EXPECT_EQ(plan.preview, c.preview) << c.width << "x" << c.height;
    EXPECT_EQ(plan.big, c.big) << c.width << "x" << c.height;
    EXPECT_EQ(plan.copy_source, c.copy) << c.width << "x" << c.height;
  }
}

TEST(RenditionSizeTest, PreviewBoxSizeFollowsTheLongerSide) {
  struct Case {
    std::uint32_t box_w, box_h, width, height;
    PixelSize expected;
  } cases[] = {
      {180, 120, 1000, 500, {180, 90}}, {180, 120, 500, 1000, {60, 120}},
      {180, 120, 800, 800, {180, 120}}, {180, 120, 3, 2, {180, 120}},
      {0, 0, 1000, 500, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PreviewBoxSize(c.box_w, c.box_h, c.width, c.height), c.expected)
        << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace lumireel
