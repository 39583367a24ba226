#include "imaging/renditions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bridge/pacing.h"
#include "imaging/codec_utilities.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/pixel_ops.h"
#include "imaging/source_image.h"
#include "imaging/test_images.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using testing::Size2;
using testing::SizeOf;

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RenditionTest, ResizeExactGivesTheAskedSizeWhateverTheFactors) {
  ASSERT_TRUE(ImageCodec::Initialise());
  struct Case {
    int from_w, from_h;
    std::uint32_t to_w, to_h;
  } cases[] = {{1600, 1200, 700, 525}, {600, 550, 700, 641},  {100, 50, 180, 90},
               {1999, 3, 180, 1},      {7, 1001, 3, 700},     {1, 1, 180, 180},
               {333, 777, 141, 329},   {2400, 1800, 700, 525}};
  for (const Case& c : cases) {
    const vips::VImage out = ResizeExact(testing::Gradient(c.from_w, c.from_h), c.to_w, c.to_h);
    EXPECT_EQ(out.width(), static_cast<int>(c.to_w)) << c.from_w << "x" << c.from_h;
    EXPECT_EQ(out.height(), static_cast<int>(c.to_h)) << c.from_w << "x" << c.from_h;
    out.avg();  // the pixels can be computed
  }
  // Large reductions of a detailed picture stay as close to a fair Lanczos
  // reduction as the library's own two-step resize, shrink step or not.
  for (const Case& c : {Case{4240, 2832, 180, 120}, Case{1600, 1068, 180, 120},
                        Case{750, 500, 180, 120}, Case{6000, 4000, 700, 467}}) {
    const vips::VImage detail =
        (vips::VImage::sines(c.from_w, c.from_h, vips::VImage::option()->set("hfreq", 37.0)->set("vfreq", 23.0)) *
             100 + 128).cast(VIPS_FORMAT_UCHAR).bandjoin_const({128, 64});
    const double hshrink = static_cast<double>(c.from_w) / c.to_w;
    const double vshrink = static_cast<double>(c.from_h) / c.to_h;
    const vips::VImage fair =
        detail.reduce(hshrink, vshrink, vips::VImage::option()->set("kernel", VIPS_KERNEL_LANCZOS3));
    const vips::VImage ours = ResizeExact(detail, c.to_w, c.to_h);
    const vips::VImage library = detail.resize(
        1 / hshrink, vips::VImage::option()->set("vscale", 1 / vshrink)->set("kernel", VIPS_KERNEL_CUBIC));
    const auto distance = [&](const vips::VImage& image) {
      const vips::VImage area = image.extract_area(0, 0, fair.width(), fair.height());
      return (area.cast(VIPS_FORMAT_INT) - fair.cast(VIPS_FORMAT_INT)).abs().avg();
    };
    EXPECT_LE(distance(ours), distance(library) + 0.5) << c.from_w << "x" << c.from_h;
  }
}

TEST(RenditionTest, TransparentPartsBecomeWhiteWhateverTheDepth) {
  ASSERT_TRUE(ImageCodec::Initialise());
  using vips::VImage;
  const struct {
    const char* name;
    VipsInterpretation interpretation;
    VipsBandFormat format;
    int bands;
    double opaque;
  } cases[] = {{"rgba", VIPS_INTERPRETATION_sRGB, VIPS_FORMAT_UCHAR, 4, 255},
               {"grey+alpha", VIPS_INTERPRETATION_B_W, VIPS_FORMAT_UCHAR, 2, 255},
               {"rgba16", VIPS_INTERPRETATION_RGB16, VIPS_FORMAT_USHORT, 4, 65535},
               {"grey16+alpha", VIPS_INTERPRETATION_GREY16, VIPS_FORMAT_USHORT, 2, 65535}};
  for (const auto& c : cases) {
    // Left column: a dark, fully transparent pixel; right: dark and opaque.
    std::vector<double> clear(static_cast<std::size_t>(c.bands), c.opaque * 0.1);
    std::vector<double> solid = clear;
    clear.back() = 0;
    solid.back() = c.opaque;
    const VImage pixel = VImage::black(1, 1).cast(VIPS_FORMAT_DOUBLE);
    VImage picture = pixel.new_from_image(clear).join(pixel.new_from_image(solid),
                                                      VIPS_DIRECTION_HORIZONTAL);
    picture = picture.cast(c.format).copy(
        VImage::option()->set("interpretation", c.interpretation));
    const VImage rgb = ToRgb(picture);
    ASSERT_EQ(rgb.bands(), 3) << c.name;
    EXPECT_EQ(rgb.getpoint(0, 0), (std::vector<double>{255, 255, 255})) << c.name;
    EXPECT_LT(rgb.getpoint(1, 0)[0], 60) << c.name;
  }
}

TEST(RenditionTest, TurnUprightFollowsTheExifOrientations) {
  ASSERT_TRUE(ImageCodec::Initialise());
  const int w = 3, h = 2;
  const vips::VImage xyz = vips::VImage::xyz(w, h);
  const vips::VImage stored = ((xyz[0] + xyz[1] * w) * 10).cast(VIPS_FORMAT_UCHAR);
  auto at = [&](int x, int y) { return (x + y * w) * 10; };
  // Where the shown pixel (x, y) comes from in the stored picture.
  using Source = std::function<int(int x, int y)>;
  const std::vector<std::pair<int, Source>> cases = {
      {1, [&](int x, int y) { return at(x, y); }},
      {2, [&](int x, int y) { return at(w - 1 - x, y); }},
      {3, [&](int x, int y) { return at(w - 1 - x, h - 1 - y); }},
      {4, [&](int x, int y) { return at(x, h - 1 - y); }},
      {5, [&](int x, int y) { return at(y, x); }},
      {6, [&](int x, int y) { return at(y, h - 1 - x); }},
      {7, [&](int x, int y) { return at(w - 1 - y, h - 1 - x); }},
      {8, [&](int x, int y) { return at(w - 1 - y, x); }},
  };
  for (const auto& [orientation, source] : cases) {
    const vips::VImage shown = TurnUpright(stored, orientation);
    const bool swapped = SwapsSides(orientation);
    ASSERT_EQ(shown.width(), swapped ? h : w) << orientation;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        EXPECT_EQ(shown.getpoint(x, y)[0], source(x, y)) << orientation << " at " << x << "," << y;
      }
    }
  }
}

class RenditionFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ImageCodec::Initialise());
    folder_ = temp_.path() + "/part";
    fs::create_directories(folder_ + "/big");
    fs::create_directories(folder_ + "/preview");
  }
  std::string Source(const std::string& name, int width, int height) {
    const std::string path = temp_.path() + "/" + name;
    testing::SaveJpeg(testing::Gradient(width, height), path);
    return path;
  }
  ImportFileResult Import(const std::string& source, const std::string& id) {
    return ImportPhotoFile(limits_, folder_, source, folder_ + "\\big", folder_ + "\\preview", id,
                           &preview_w_, &preview_h_, pacing_);
  }

  testing::TempFolder temp_;
  std::string folder_;
  RenditionLimits limits_{180, 180, 700, 700};
  Pacing pacing_{0};
  std::uint32_t preview_w_ = 7;
  std::uint32_t preview_h_ = 7;
};

// A JPEG is decoded shrunk only as far as leaves the bicubic scaling at
// least half as much again as the asked size on both axes, so that the
// shrink's blocks do not show.
TEST_F(RenditionFolderTest, JpegsAreDecodedShrunkWithRoomForTheScaling) {
  const std::string path = Source("wide.jpg", 6000, 4000);
  const std::optional<SourceImage> source = SourceImage::Open(path, nullptr);
  ASSERT_TRUE(source.has_value());
  const struct {
    std::uint32_t width, height;
    int shrink;
  } cases[] = {{500, 333, 8},   {501, 334, 4},   {700, 466, 4},   {1000, 666, 4},
               {1001, 667, 2},  {2000, 1333, 2}, {2001, 1334, 1}, {6000, 4000, 1},
               {700, 100, 4}};
  for (const auto& c : cases) {
    EXPECT_EQ(source->ShrinkFor(c.width, c.height), c.shrink) << c.width << "x" << c.height;
  }
}

TEST_F(RenditionFolderTest, ImportPhotoFileWritesBothRenditionsAndTheCoverOnce) {
  ASSERT_EQ(Import(Source("a.jpg", 1600, 1200), "5"), ImportFileResult::kWrittenWithCover);
  EXPECT_EQ(preview_w_, 180u);
  EXPECT_EQ(preview_h_, 135u);
  EXPECT_EQ(SizeOf(folder_ + "/big/5.jpg"), (Size2{700, 525}));
  EXPECT_EQ(testing::MeasuredQuality(folder_ + "/big/5.jpg"), 100);
  EXPECT_EQ(SizeOf(folder_ + "/preview/5.jpg"), (Size2{180, 135}));
  EXPECT_EQ(testing::MeasuredQuality(folder_ + "/preview/5.jpg"), 93);
  const std::string cover = testing::Bytes(folder_ + "/album.jpg");
  EXPECT_EQ(cover, testing::Bytes(folder_ + "/preview/5.jpg"));

  ASSERT_EQ(Import(Source("b.jpg", 1200, 1600), "6"), ImportFileResult::kWritten);
  EXPECT_EQ(preview_w_, 135u);
  EXPECT_EQ(preview_h_, 180u);
  EXPECT_EQ(testing::Bytes(folder_ + "/album.jpg"), cover) << "the cover is written once";

  const std::vector<std::string> before = Listing(folder_);
  testing::WriteBytes(temp_.path() + "/broken.jpg", "not a picture");
  EXPECT_EQ(Import(temp_.path() + "/broken.jpg", "7"), ImportFileResult::kFailed);
  EXPECT_EQ(preview_w_, 135u) << "outputs are left alone on failure";
  EXPECT_EQ(Listing(folder_), before) << "nothing is left behind";
}

TEST_F(RenditionFolderTest, RenderPhotoLeavesNothingWhenARenditionCannotBeMade) {
  const std::string source = Source("a.jpg", 640, 480);
  struct Case {
    RenditionLimits limits;
    std::string big_dir;
  } cases[] = {
      {{0, 0, 700, 700}, folder_ + "/big"},          // empty preview
      {{180, 180, 0, 0}, folder_ + "/big"},          // empty big image
      {{180, 180, 700, 700}, folder_ + "/gone"},     // a folder that is not there
      {{70000, 70000, 700, 700}, folder_ + "/big"},  // beyond what JPEG can hold
  };
  for (const Case& c : cases) {
    RenderedPhoto photo = RenderPhoto(c.limits, source, c.big_dir, folder_ + "/preview");
    EXPECT_FALSE(photo.ok) << c.big_dir;
    EXPECT_FALSE(photo.error.empty());
    EXPECT_TRUE(photo.big.empty() && photo.preview.empty());
  }
  EXPECT_EQ(Listing(folder_), (std::vector<std::string>{"big", "preview"}));
}

TEST_F(RenditionFolderTest, RegeneratePreviewScalesIntoTheListBoxAndRecordsTheSize) {
  const std::string list = folder_ + "/photos.xml";
  const std::string preview = folder_ + "/preview/4.jpg";
  const std::string kList =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"180\" mheight=\"120\">"
      "<photo><id>4</id><name/><file>4.jpg</file><w>1</w><h>1</h></photo></album>";
  struct Case {
    int width, height;
    Size2 preview;
  } cases[] = {{1000, 500, {180, 90}}, {500, 1000, {60, 120}}, {300, 300, {180, 120}}};
  for (const Case& c : cases) {
    testing::WriteBytes(list, kList);
    const std::string source = Source("edited.jpg", c.width, c.height);
    ASSERT_TRUE(RegeneratePreview(ImageCodec::DecodeFile(source), preview, list, "4"));
    EXPECT_EQ(SizeOf(preview), c.preview);
    EXPECT_EQ(testing::MeasuredQuality(preview), 95);
    const std::string text = testing::Bytes(list);
    EXPECT_NE(text.find("<w>" + std::to_string(c.preview.width) + "</w><h>" +
                        std::to_string(c.preview.height) + "</h>"),
              std::string::npos)
        << text;
  }
  // Nothing to scale, or no box: the list and the preview stay as they are.
  const std::string kept_preview = testing::Bytes(preview);
  EXPECT_FALSE(RegeneratePreview(Image(), preview, list, "4"));
  testing::WriteBytes(list, "<album mwidth=\"-180\"><photo><id>4</id></photo></album>");
  EXPECT_FALSE(
      RegeneratePreview(ImageCodec::DecodeFile(Source("x.jpg", 50, 40)), preview, list, "4"));
  EXPECT_EQ(testing::Bytes(list), "<album mwidth=\"-180\"><photo><id>4</id></photo></album>");
  EXPECT_EQ(testing::Bytes(preview), kept_preview);
}

TEST_F(RenditionFolderTest, RewritePhotoSizeKeepsOnlyRootAttributesAndFivePhotoChildren) {
  const std::string list = folder_ + "/photos.xml";
  testing::WriteBytes(
      list,
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>"
      "<album extra=\"x\" id=\"7\" mwidth=\"180\" mheight=\"120\"><!-- note -->"
      "<photo><id>3</id><name>C:\\dir a&amp;b</name><file>3.jpg</file><w>180</w><h>135</h>"
      "<tag>dropped</tag></photo>"
      "<photo><name>no id</name></photo>"
      "<photo><id>9</id><file>9.jpg</file><name></name><w>1</w><h>2</h></photo></album>");
  ASSERT_TRUE(RewritePhotoSize(list, "9", 60, 120));
  EXPECT_EQ(testing::Bytes(list),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>"
            "<album mheight=\"120\" mwidth=\"180\" id=\"7\" >"
            "<photo><id>3</id><file>3.jpg</file><name>C:\\dir a&amp;b</name><w>180</w><h>135</h>"
            "</photo>"
            "<photo><id>9</id><file>9.jpg</file><name/><w>60</w><h>120</h></photo></album>");

  // A list that cannot be read or parsed stays as it is.
  testing::WriteBytes(list, "<album><photo>");
  EXPECT_FALSE(RewritePhotoSize(list, "9", 1, 1));
  EXPECT_EQ(testing::Bytes(list), "<album><photo>");
  EXPECT_FALSE(RewritePhotoSize(folder_ + "/missing.xml", "9", 1, 1));
  EXPECT_FALSE(fs::exists(folder_ + "/missing.xml"));
}

TEST_F(RenditionFolderTest, ReadPreviewBoxReadsTheRootAttributesAsIntegers) {
  const std::string list = folder_ + "/photos.xml";
  struct Case {
    std::string text;
    long width, height;
  } cases[] = {
      {"<album mwidth=\"180\" mheight=\"120\"></album>", 180, 120},
      {"<album mheight=\" 42px\"/>", 0, 42},
      {"<album mwidth=\"-5\" mheight=\"x\"></album>", -5, 0},
      {"<album><photo>", 0, 0},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    testing::WriteBytes(list, c.text);
    const PreviewBox box = ReadPreviewBox(list);
    EXPECT_EQ(box.width, c.width) << c.text;
    EXPECT_EQ(box.height, c.height) << c.text;
  }
  EXPECT_EQ(ReadPreviewBox(folder_ + "/missing.xml").width, 0);
}

}  // namespace
}  // namespace lumireel
