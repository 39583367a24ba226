// Pictures made at test time for the imaging tests, and ways to look at the
// files the program writes: sizes, pixels, bytes and JPEG quality (measured
// by ImageMagick's `identify`, independent of the program's library).
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vips/vips8>

#include "imaging/image_codec.h"

namespace lumireel::testing {

// A w x h RGB picture: red grows to the right, green downwards, blue fixed,
// so every region of it is told apart by its colour.
inline vips::VImage Gradient(int width, int height) {
  ImageCodec::Initialise();
  const vips::VImage xyz = vips::VImage::xyz(width, height);
  const double red = width > 1 ? 255.0 / (width - 1) : 0;
  const double green = height > 1 ? 255.0 / (height - 1) : 0;
  return (xyz[0] * red)
      .bandjoin(xyz[1] * green)
      .bandjoin(vips::VImage::black(width, height) + 96)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// A picture of one colour.
inline vips::VImage Plain(int width, int height, std::array<double, 3> rgb) {
  ImageCodec::Initialise();
  return (vips::VImage::black(width, height, vips::VImage::option()->set("bands", 3)) +
          std::vector<double>(rgb.begin(), rgb.end()))
      .cast(VIPS_FORMAT_UCHAR)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

inline void SaveJpeg(const vips::VImage& image, const std::string& path, int quality = 90) {
  image.jpegsave(path.c_str(), vips::VImage::option()->set("Q", quality));
}

// Runs a shell command; true when it succeeded.
inline bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Converts `from` with ImageMagick's `convert`, `options` going before the
// output name (which may carry a format prefix such as "BMP3:").
inline bool Convert(const std::string& from, const std::string& options, const std::string& to) {
  return Run("convert " + Quote(from) + " " + options + " " + Quote(to));
}

// The output of a shell command.
inline std::string Capture(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  if (!pipe) return {};
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out += buffer;
  return out;
}

// The JPEG quality `identify` estimates from the file's tables.
inline int MeasuredQuality(const std::string& path) {
  return std::atoi(Capture("identify -format %Q " + Quote(path) + " 2>/dev/null").c_str());
}

inline std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Size2 {
  int width = 0;
  int height = 0;
  bool operator==(const Size2&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Size2& size) {
  return out << size.width << "x" << size.height;
}

// The size of the picture at `path` (0x0 when it cannot be read).
inline Size2 SizeOf(const std::string& path) {
  try {
    const vips::VImage image = vips::VImage::new_from_file(path.c_str());
    return {image.width(), image.height()};
  } catch (const vips::VError&) {
    return {};
  }
}

// The RGB value at (x, y) of `image`.
inline std::array<int, 3> PixelOf(const vips::VImage& image, int x, int y) {
  const std::vector<double> values = image.getpoint(x, y);
  return {static_cast<int>(values.at(0)), static_cast<int>(values.at(1)),
          static_cast<int>(values.at(2))};
}

inline std::array<int, 3> PixelAt(const std::string& path, int x, int y) {
  return PixelOf(vips::VImage::new_from_file(path.c_str()), x, y);
}

// True when every channel of `a` is within `tolerance` of `b` (JPEG and
// scaling change values a little).
inline bool Near(const std::array<int, 3>& a, const std::array<int, 3>& b, int tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The start of a PNG file (signature and header chunk, no pixel data) that
// announces a `width` x `height` picture: a decompression bomb's calling card.
inline std::string PngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  std::string chunk = "IHDR" + be32(width) + be32(height) + std::string("\x08\x02\0\0\0", 5);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : chunk) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return std::string("\x89PNG\r\n\x1A\n", 8) + be32(13) + chunk + be32(~crc);
}

}  // namespace lumireel::testing
