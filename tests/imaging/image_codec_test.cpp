#include "imaging/image_codec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <vips/vector.h>

#include "imaging/codec_utilities.h"
#include "imaging/source_image.h"
#include "imaging/test_images.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using testing::Near;
using testing::PixelOf;

// A picture whose pixels all differ: red = 10 * (x + width * y) + 10.
vips::VImage Numbered(int width, int height) {
  ImageCodec::Initialise();
  const vips::VImage xyz = vips::VImage::xyz(width, height);
  const vips::VImage red = (xyz[0] + xyz[1] * width) * 10 + 10;
  return red.bandjoin(vips::VImage::black(width, height) + 7)
      .bandjoin(vips::VImage::black(width, height) + 9)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

Image Decode(const testing::TempFolder& folder, const vips::VImage& picture) {
  const std::string path = folder.path() + "/picture.png";
  picture.pngsave(path.c_str());
  return ImageCodec::DecodeFile(path);
}

// Photos render on several threads at once, and the library's run-time
// vector code is freed without a lock: a double free now and then in the
// middle of an import (bench/endurance shows it). Once the codec is started
// the library must never make such code.
TEST(ImageCodecTest, InitialiseTurnsTheLibrarysVectorCodeOff) {
  ASSERT_TRUE(ImageCodec::Initialise());
  EXPECT_FALSE(vips_vector_isenabled());
}

TEST(ImageCodecTest, FindEncoderByMimeIsExactAndCaseSensitive) {
  ASSERT_TRUE(ImageCodec::Initialise());
  const std::vector<EncoderInfo>& encoders = ImageCodec::Encoders();
  struct Case {
    std::string mime;
    bool found;
  } cases[] = {{"image/jpeg", true},
               {"image/png", true},
               {"IMAGE/JPEG", false},
               {"image/Jpeg", false},
               {"image/jpeg ", false},
               {"image/jpg", false},
               {"", false}};
  for (const Case& c : cases) {
    EncoderId id;
    const int index = FindEncoderByMime(c.mime, &id);
    if (!c.found) {
      EXPECT_EQ(index, -1) << c.mime;
      continue;
    }
    ASSERT_GE(index, 0) << c.mime;
    EXPECT_EQ(encoders[index].mime_type, c.mime);
    EXPECT_EQ(encoders[index].id, id);
  }
  std::set<std::vector<std::uint8_t>> ids;
  for (const EncoderInfo& e : encoders) ids.insert({e.id.bytes.begin(), e.id.bytes.end()});
  EXPECT_EQ(ids.size(), encoders.size()) << "encoder ids must differ";
}

TEST(ImageCodecTest, JpegQualityHoldsExactlyOneLongQualityValue) {
  const EncoderParameters parameters = JpegQuality(93);
  ASSERT_EQ(parameters.size(), 1u);
  EXPECT_EQ(parameters[0].kind, EncoderParameterKind::kQuality);
  EXPECT_EQ(parameters[0].type, EncoderParameterType::kLong);
  EXPECT_EQ(parameters[0].values, std::vector<std::int32_t>{93});
}

TEST(ImageCodecTest, MakeRandomNameDrawsFromTheAlphabetAndRepeatsWithinASecond) {
  const std::string alphabet = "qwertyuioplkjhgfdsazxcvbnmQWERTYUIOPLKJHGFDSAZXCVBNM1234567890";
  for (int length : {-5, 0, 1, 8, 300}) {
    const std::string name = MakeRandomName(length, 12345);
    EXPECT_EQ(name.size(), static_cast<std::size_t>(std::max(length, 0)));
    EXPECT_EQ(name.find_first_not_of(alphabet), std::string::npos) << name;
  }
  EXPECT_EQ(MakeRandomName(8, 777), MakeRandomName(8, 777));
  std::set<std::string> names;
  for (std::time_t seed = 1000; seed < 1010; ++seed) names.insert(MakeRandomName(8, seed));
  EXPECT_GT(names.size(), 8u) << "different seconds should give different names";

  // Two calls within one second: retry when the second changed in between.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const std::string first = MakeRandomName(8);
    const std::string second = MakeRandomName(8);
    if (std::time(nullptr) != before) continue;
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, MakeRandomName(8, before));
    break;
  }
}

TEST(ImageCodecTest, NewCanvasIsBlackRgbAndRefusesEmptyOrHugeSizes) {
  struct Case {
    std::uint32_t width, height;
    bool made;
  } cases[] = {{4, 3, true},     {1, 1, true},      {0, 3, false},        {3, 0, false},
               {65500, 1, true}, {65501, 1, false}, {20000, 20000, false}};
  for (const Case& c : cases) {
    const Image canvas = ImageCodec::NewCanvas(c.width, c.height);
    EXPECT_EQ(canvas.decoded(), c.made) << c.width << "x" << c.height;
    if (!c.made) {
      EXPECT_EQ(canvas.flags(), 0u);
      continue;
    }
    EXPECT_EQ(canvas.width(), c.width);
    EXPECT_EQ(canvas.height(), c.height);
    EXPECT_EQ(canvas.pixels().bands(), 3);
    EXPECT_EQ(canvas.flags() & kImageFlagHasAlpha, 0u);
  }
  EXPECT_EQ(PixelOf(ImageCodec::NewCanvas(4, 3).pixels(), 3, 2), (std::array<int, 3>{0, 0, 0}));
}

TEST(ImageCodecTest, ColorMatrixRecoloursEachPixelByTheRowVectorRuleClamped) {
  testing::TempFolder folder;
  auto identity = [] {
    ColorMatrix m{};
    for (int i = 0; i < 5; ++i) m[i][i] = 1;
    return m;
  };
  struct Case {
    const char* name;
    ColorMatrix matrix;
    std::array<int, 3> expected;  // for the pixel (200, 100, 40)
  };
  std::vector<Case> cases;
  cases.push_back({"identity", identity(), {200, 100, 40}});
  ColorMatrix swap = identity();
  swap[0][0] = swap[2][2] = 0;
  swap[0][2] = swap[2][0] = 1;
  cases.push_back({"red and blue swapped", swap, {40, 100, 200}});
  ColorMatrix doubled = identity();
  doubled[0][0] = doubled[1][1] = doubled[2][2] = 2;
  cases.push_back({"doubled, clamped at 255", doubled, {255, 200, 80}});
  ColorMatrix darker = identity();
  darker[4][0] = darker[4][1] = darker[4][2] = -0.2f;  // -51 each
  cases.push_back({"translation row, clamped at 0", darker, {149, 49, 0}});
  ColorMatrix grey{};
  for (int c = 0; c < 3; ++c) {
    grey[0][c] = 0.3f;
    grey[1][c] = 0.59f;
    grey[2][c] = 0.11f;
  }
  grey[3][3] = grey[4][4] = 1;
  cases.push_back({"grey from the columns", grey, {123, 123, 123}});  // 60 + 59 + 4.4
  ColorMatrix from_alpha = identity();
  from_alpha[3][0] = 0.2f;  // opaque alpha (1) adds 51 to red
  cases.push_back({"alpha row", from_alpha, {251, 100, 40}});

  for (const Case& c : cases) {
    Image image = Decode(folder, testing::Plain(3, 2, {200, 100, 40}));
    ASSERT_TRUE(image.decoded());
    DrawingContext context(image);
    ApplyColorMatrix(image, context, c.matrix);
    EXPECT_EQ(image.width(), 3u);
    EXPECT_EQ(image.pixels().bands(), 3) << c.name;
    EXPECT_EQ(PixelOf(image.pixels(), 2, 1), c.expected) << c.name;
  }
}

TEST(ImageCodecTest, RotateFlipTurnsInPlaceAndSwapsSides) {
  testing::TempFolder folder;
  // The 3x2 source, red values:  10 20 30
  //                              40 50 60
  struct Case {
    RotateFlipType type;
    int width, height;
    std::vector<int> reds;  // row by row
  } cases[] = {
      {RotateFlipType::kRotate90, 2, 3, {40, 10, 50, 20, 60, 30}},
      {RotateFlipType::kRotate180, 3, 2, {60, 50, 40, 30, 20, 10}},
      {RotateFlipType::kRotate270, 2, 3, {30, 60, 20, 50, 10, 40}},
      {RotateFlipType::kMirrorLeftRight, 3, 2, {30, 20, 10, 60, 50, 40}},
      {RotateFlipType::kMirrorTopBottom, 3, 2, {40, 50, 60, 10, 20, 30}},
  };
  for (const Case& c : cases) {
    Image image = Decode(folder, Numbered(3, 2));
    ASSERT_EQ(ImageCodec::RotateFlip(image, c.type), CodecStatus::kOk);
    ASSERT_EQ(image.width(), static_cast<std::uint32_t>(c.width));
    ASSERT_EQ(image.height(), static_cast<std::uint32_t>(c.height));
    std::vector<int> reds;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) reds.push_back(PixelOf(image.pixels(), x, y)[0]);
    }
    EXPECT_EQ(reds, c.reds) << static_cast<int>(c.type);
  }
  Image nothing;
  EXPECT_EQ(ImageCodec::RotateFlip(nothing, RotateFlipType::kRotate90), CodecStatus::kNotDecoded);
}

TEST(ImageCodecTest, DrawScalesTheSourceRectangleOntoTheClippedDestination) {
  testing::TempFolder folder;
  const Image red = Decode(folder, testing::Plain(4, 4, {250, 0, 0}));
  Image canvas = ImageCodec::NewCanvas(8, 8);
  DrawingContext context(canvas);
  context.SetInterpolation(Interpolation::kHighQualityBicubic);
  ASSERT_EQ(context.DrawImage(red, {2, 2, 4, 3}, {0, 0, 4, 4}), CodecStatus::kOk);
  // Half off the canvas: the visible part is drawn.
  ASSERT_EQ(context.DrawImage(red, {6, -1, 4, 2}, {0, 0, 2, 2}), CodecStatus::kOk);
  EXPECT_EQ(context.DrawImage(red, {0, 0, 2, 2}, {3, 3, 2, 2}), CodecStatus::kInvalidParameter);
  EXPECT_EQ(context.DrawImage(red, {0, 0, 0, 2}, {0, 0, 2, 2}), CodecStatus::kInvalidParameter);
  EXPECT_EQ(context.DrawImage(Image(), {0, 0, 2, 2}, {0, 0, 2, 2}), CodecStatus::kNotDecoded);
  ASSERT_EQ(canvas.width(), 8u);
  const std::array<int, 3> kRed{250, 0, 0}, kBlack{0, 0, 0};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = (x >= 2 && x < 6 && y >= 2 && y < 5) || (x >= 6 && y == 0);
      EXPECT_EQ(PixelOf(canvas.pixels(), x, y), inside ? kRed : kBlack) << x << "," << y;
    }
  }
}

TEST(ImageCodecTest, CloneAreaCopiesInsideTheImageOnly) {
  testing::TempFolder folder;
  const Image image = Decode(folder, Numbered(3, 2));
  const Image area = ImageCodec::CloneArea(image, 1, 1, 2, 1);
  ASSERT_TRUE(area.decoded());
  EXPECT_EQ(area.width(), 2u);
  EXPECT_EQ(area.height(), 1u);
  EXPECT_EQ(PixelOf(area.pixels(), 1, 0)[0], 60);
  EXPECT_FALSE(ImageCodec::CloneArea(image, 2, 0, 2, 1).decoded());
  EXPECT_FALSE(ImageCodec::CloneArea(image, 0, 0, 0, 1).decoded());
  EXPECT_FALSE(ImageCodec::CloneArea(Image(), 0, 0, 1, 1).decoded());
}

TEST(ImageCodecTest, DecodeFileReadsPhotoFormatsAndRefusesTheRest) {
  testing::TempFolder folder;
  const std::string dir = folder.path() + "/";
  const vips::VImage picture = testing::Gradient(64, 48);
  testing::SaveJpeg(picture, dir + "p.jpg");
  picture.pngsave((dir + "p.png").c_str());
  picture.gifsave((dir + "p.gif").c_str());
  picture.webpsave((dir + "p.webp").c_str());
  picture.tiffsave((dir + "p.tif").c_str());
  ASSERT_TRUE(testing::Convert(dir + "p.png", "", "BMP3:" + dir + "p.bmp"));
  // The format comes from the bytes, not from the name.
  fs::copy_file(dir + "p.png", dir + "png-named.jpg");
  testing::SaveJpeg(picture, dir + "truncated.jpg");
  fs::resize_file(dir + "truncated.jpg", fs::file_size(dir + "truncated.jpg") / 2);
  testing::WriteBytes(dir + "empty.jpg", "");
  testing::WriteBytes(dir + "text.jpg", "this is not a picture\n");
  testing::WriteBytes(dir + "bomb.png", testing::PngHeaderOnly(20000, 10001));

  for (const char* name :
       {"p.jpg", "p.png", "p.gif", "p.webp", "p.tif", "p.bmp", "png-named.jpg"}) {
    const Image image = ImageCodec::DecodeFile(dir + name);
    ASSERT_TRUE(image.decoded()) << name;
    EXPECT_NE(image.flags() & kImageFlagDecoded, 0u);
    EXPECT_EQ(image.width(), 64u) << name;
    EXPECT_EQ(image.height(), 48u) << name;
    EXPECT_TRUE(Near(PixelOf(image.pixels(), 63, 47), PixelOf(picture, 63, 47), 12)) << name;
  }
  // Backslashes separate folders in the program's paths.
  EXPECT_TRUE(ImageCodec::DecodeFile(folder.path() + "\\p.jpg").decoded());
  for (const char* name : {"truncated.jpg", "empty.jpg", "text.jpg", "bomb.png", "missing.jpg"}) {
    const Image image = ImageCodec::DecodeFile(dir + name);
    EXPECT_EQ(image.flags(), 0u) << name;
    EXPECT_EQ(image.width(), 0u) << name;
  }
}

TEST(ImageCodecTest, SourceImageGivesAReasonForEveryRefusal) {
  testing::TempFolder folder;
  // libpng stops at a chunk length beyond 2^31 without a message of its own.
  const std::string broken_chunk =
      testing::PngHeaderOnly(16, 12) + std::string("\xB9\xFB\xE3\x47IDAT", 8);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"empty.png", ""},
               {"text.jpg", "this is not a picture\n"},
               {"broken-chunk.png", broken_chunk},
               {"bomb.png", testing::PngHeaderOnly(20000, 10001)}};
  for (const auto& c : cases) {
    const std::string path = folder.path() + "/" + c.name;
    testing::WriteBytes(path, c.bytes);
    std::string error;
    EXPECT_FALSE(SourceImage::Open(path, &error).has_value()) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

TEST(ImageCodecTest, DecodeFileShowsAnExifRotatedPhotoUpright) {
  testing::TempFolder folder;
  const std::string path = folder.path() + "/turned.jpg";
  // Stored 40x20 with a red left half; orientation 6 means "turn 90 degrees
  // clockwise to view", so the red half ends up on top.
  vips::VImage stored = testing::Plain(20, 20, {240, 0, 0})
                            .join(testing::Plain(20, 20, {0, 0, 240}), VIPS_DIRECTION_HORIZONTAL);
  stored = stored.copy();
  stored.set("orientation", 6);
  testing::SaveJpeg(stored, path);
  const Image image = ImageCodec::DecodeFile(path);
  ASSERT_TRUE(image.decoded());
  EXPECT_EQ(image.width(), 20u);
  EXPECT_EQ(image.height(), 40u);
  EXPECT_TRUE(Near(PixelOf(image.pixels(), 10, 5), {240, 0, 0}, 20));
  EXPECT_TRUE(Near(PixelOf(image.pixels(), 10, 35), {0, 0, 240}, 20));
}

TEST(ImageCodecTest, SaveReplacesAtomicallyWithTheEncoderAndQuality) {
  testing::TempFolder folder;
  const std::string path = folder.path() + "/out.jpg";
  testing::WriteBytes(path, "old content");
  const Image image = Decode(folder, testing::Gradient(50, 40));
  EncoderId jpeg, png;
  ASSERT_GE(FindEncoderByMime("image/jpeg", &jpeg), 0);
  ASSERT_GE(FindEncoderByMime("image/png", &png), 0);

  ASSERT_EQ(ImageCodec::Save(image, path, jpeg, JpegQuality(93)), CodecStatus::kOk);
  EXPECT_EQ(testing::MeasuredQuality(path), 93);
  EXPECT_EQ(testing::SizeOf(path), (testing::Size2{50, 40}));
  ASSERT_EQ(ImageCodec::Save(image, folder.path() + "/out.png", png), CodecStatus::kOk);
  EXPECT_EQ(testing::Bytes(folder.path() + "/out.png").substr(1, 3), "PNG");

  EXPECT_EQ(ImageCodec::Save(image, path, jpeg, JpegQuality(101)), CodecStatus::kInvalidParameter);
  EXPECT_EQ(ImageCodec::Save(image, path, EncoderId{}), CodecStatus::kInvalidParameter);
  EXPECT_EQ(ImageCodec::Save(Image(), path, jpeg), CodecStatus::kNotDecoded);
  EXPECT_EQ(ImageCodec::Save(image, folder.path() + "/missing/out.jpg", jpeg),
            CodecStatus::kFailed);
  EXPECT_EQ(testing::MeasuredQuality(path), 93) << "a failed save leaves the old file";

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"out.jpg", "out.png", "picture.png"}))
      << "no temporary file is left";
}

}  // namespace
}  // namespace lumireel
