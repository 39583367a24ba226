#include "imaging/bmp_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imaging/source_image.h"
#include "imaging/test_images.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

// The largest difference between two pictures of one size and band count.
double MaxDifference(const vips::VImage& a, const vips::VImage& b) {
  return (a.cast(VIPS_FORMAT_INT) - b.cast(VIPS_FORMAT_INT)).abs().max();
}

// A 40-byte-header BMP of an uncompressed picture, with a grey palette for
// depths up to 8; the pixel rows are to follow.
std::string BmpHeader(std::uint32_t width, std::int32_t height, std::uint16_t bits) {
  auto u32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  auto u16 = [](std::uint16_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
  };
  const std::uint32_t colours = bits <= 8 ? 1u << bits : 0;
  std::string bmp = "BM" + u32(0) + u32(0) + u32(14 + 40 + 4 * colours);
  bmp += u32(40) + u32(width) + u32(static_cast<std::uint32_t>(height)) + u16(1) + u16(bits) +
         u32(0) + u32(0) + u32(0) + u32(0) + u32(colours) + u32(0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const char grey = static_cast<char>(i * 255 / (colours - 1));
    bmp += std::string{grey, grey, grey, 0};
  }
  return bmp;
}

// Every BMP flavour ImageMagick writes decodes to exactly the pixels
// ImageMagick itself reads from that file.
TEST(ImageCodecBmpTest, DecodesTheWrittenVariantsPixelForPixel) {
  testing::TempFolder folder;
  const std::string dir = folder.path() + "/";
  const std::string source = dir + "source.png";
  testing::Gradient(37, 21).pngsave(source.c_str());  // odd width: rows are padded
  struct Case {
    const char* name;
    const char* options;
    const char* format;  // the output's format prefix
    int bands;
    double tolerance;  // 5- and 6-bit channels may be widened to 8 bits either way
  } cases[] = {
      {"rgb24", "", "BMP3:", 3, 0},
      {"palette8", "-type Palette -compress None", "BMP3:", 3, 0},
      {"palette4", "-colors 16 -type Palette -compress None", "BMP3:", 3, 0},
      {"bilevel1", "-type Bilevel", "BMP3:", 3, 0},
      {"rgb565", "-define bmp:subtype=RGB565", "BMP:", 3, 1},
      {"core24", "", "BMP2:", 3, 0},
      {"alpha32", "-alpha set -channel A -evaluate set 50% +channel", "BMP:", 4, 0},
  };
  for (const Case& c : cases) {
    const std::string bmp = dir + c.name + ".bmp";
    ASSERT_TRUE(testing::Convert(source, c.options, c.format + bmp)) << c.name;
    const std::string check = dir + c.name + ".png";
    ASSERT_TRUE(testing::Convert(bmp, "", check)) << c.name;

    std::string error;
    const std::optional<vips::VImage> decoded = DecodeBmpFile(bmp, kMaxSourcePixels, &error);
    ASSERT_TRUE(decoded) << c.name << ": " << error;
    EXPECT_EQ(decoded->width(), 37) << c.name;
    EXPECT_EQ(decoded->height(), 21) << c.name;
    ASSERT_EQ(decoded->bands(), c.bands) << c.name;
    vips::VImage expected = vips::VImage::new_from_file(check.c_str());
    if (expected.bands() < 3) expected = expected.colourspace(VIPS_INTERPRETATION_sRGB);
    if (c.bands == 3 && expected.bands() == 4) {
      expected = expected.extract_band(0, vips::VImage::option()->set("n", 3));
    }
    EXPECT_LE(MaxDifference(*decoded, expected), c.tolerance) << c.name;
  }
}

TEST(ImageCodecBmpTest, ReadsTopDownRowsAndOpaqueZeroAlpha) {
  testing::TempFolder folder;
  // 2x2, 32 bits, bit fields with an alpha mask, negative height (top-down),
  // every alpha byte 0: the picture is opaque, not invisible.
  std::string bmp = "BM";
  auto u32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  auto u16 = [](std::uint16_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
  };
  const std::uint32_t offset = 14 + 56;
  bmp += u32(offset + 16) + u32(0) + u32(offset);
  bmp += u32(56) + u32(2) + u32(static_cast<std::uint32_t>(-2)) + u16(1) + u16(32) + u32(3) +
         u32(16) + u32(0) + u32(0) + u32(0) + u32(0);
  bmp += u32(0x00FF0000) + u32(0x0000FF00) + u32(0x000000FF) + u32(0xFF000000);
  // Rows as stored, top row first: blue-green-red-zero bytes.
  bmp += std::string("\x10\x20\x30\x00\x40\x50\x60\x00", 8);
  bmp += std::string("\x70\x80\x90\x00\xA0\xB0\xC0\x00", 8);
  const std::string path = folder.path() + "/topdown.bmp";
  testing::WriteBytes(path, bmp);

  std::string error;
  const std::optional<vips::VImage> decoded = DecodeBmpFile(path, kMaxSourcePixels, &error);
  ASSERT_TRUE(decoded) << error;
  ASSERT_EQ(decoded->bands(), 3);
  EXPECT_EQ(testing::PixelOf(*decoded, 0, 0), (std::array<int, 3>{0x30, 0x20, 0x10}));
  EXPECT_EQ(testing::PixelOf(*decoded, 1, 0), (std::array<int, 3>{0x60, 0x50, 0x40}));
  EXPECT_EQ(testing::PixelOf(*decoded, 0, 1), (std::array<int, 3>{0x90, 0x80, 0x70}));

  // The same pixels with the last row cut short are refused.
  testing::WriteBytes(path, bmp.substr(0, bmp.size() - 3));
  EXPECT_FALSE(DecodeBmpFile(path, kMaxSourcePixels, nullptr));
}

TEST(ImageCodecBmpTest, RefusesCompressedBrokenAndHugeFiles) {
  testing::TempFolder folder;
  const std::string dir = folder.path() + "/";
  const std::string source = dir + "source.png";
  testing::Gradient(40, 30).pngsave(source.c_str());
  ASSERT_TRUE(testing::Convert(source, "-type Palette -compress RLE", "BMP3:" + dir + "rle.bmp"));
  ASSERT_TRUE(testing::Convert(source, "", "BMP3:" + dir + "whole.bmp"));
  const std::string whole = testing::Bytes(dir + "whole.bmp");
  testing::WriteBytes(dir + "truncated.bmp", whole.substr(0, whole.size() / 2));
  testing::WriteBytes(dir + "header-only.bmp", whole.substr(0, 20));
  testing::WriteBytes(dir + "garbage.bmp", "BM this is not a bitmap at all, just text");
  // A header announcing 30000 x 30000 pixels, and nothing else.
  std::string huge = whole.substr(0, 54);
  huge[18] = huge[22] = 0x30;
  huge[19] = huge[23] = 0x75;
  testing::WriteBytes(dir + "huge.bmp", huge);
  // Under the pixel limit but with a side longer than the image library
  // keeps: one very wide row given whole, and a very tall picture whose file
  // holds a few rows only.
  testing::WriteBytes(dir + "small.bmp", BmpHeader(16, 12, 4) + std::string(12 * 8, '\x12'));
  testing::WriteBytes(dir + "wide.bmp",
                      BmpHeader(10'000'001, 1, 1) + std::string(1'250'004, '\x55'));
  testing::WriteBytes(dir + "tall.bmp", BmpHeader(16, 11'000'000, 4) + std::string(96, '\x12'));
  ASSERT_TRUE(DecodeBmpFile(dir + "small.bmp", kMaxSourcePixels, nullptr));

  for (const char* name : {"rle.bmp", "truncated.bmp", "header-only.bmp", "garbage.bmp", "huge.bmp",
                           "wide.bmp", "tall.bmp", "missing.bmp"}) {
    std::string error;
    EXPECT_FALSE(DecodeBmpFile(dir + name, kMaxSourcePixels, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  std::string error;
  ASSERT_TRUE(DecodeBmpFile(dir + "whole.bmp", kMaxSourcePixels, &error)) << error;
  EXPECT_FALSE(DecodeBmpFile(dir + "whole.bmp", 40 * 30 - 1, &error));
}

}  // namespace
}  // namespace lumireel
