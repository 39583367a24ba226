#include "imaging/source_image.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "imaging/bmp_decoder.h"
#include "imaging/pixel_ops.h"

namespace lumireel {
namespace {

using vips::VImage;

// The least factor the bicubic scaling after a shrunk decode is left to do.
constexpr double kDecodeGap = 1.5;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ReadHead(const std::string& native_path, std::size_t size) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(native_path.c_str(), "rb"));
  if (!file) return {};
  std::string head(size, '\0');
  head.resize(std::fread(head.data(), 1, size, file.get()));
  return head;
}

// Runs the library's loader of `format` on the file. Truncated files fail
// instead of giving grey rows.
VImage RunLoader(SourceFormat format, const std::string& path, bool sequential, int shrink) {
  vips::VOption* options =
      VImage::option()
          ->set("access", sequential ? VIPS_ACCESS_SEQUENTIAL : VIPS_ACCESS_RANDOM)
          ->set("fail_on", VIPS_FAIL_ON_TRUNCATED);
  const char* name = path.c_str();
  switch (format) {
    case SourceFormat::kJpeg:
      if (shrink > 1) options->set("shrink", shrink);
      return VImage::jpegload(name, options);
    case SourceFormat::kPng:
      return VImage::pngload(name, options);
    case SourceFormat::kGif:
      return VImage::gifload(name, options);
    case SourceFormat::kWebp:
      return VImage::webpload(name, options);
    case SourceFormat::kTiff:
      return VImage::tiffload(name, options);
    case SourceFormat::kHeif:
      return VImage::heifload(name, options);
    case SourceFormat::kBmp:
    case SourceFormat::kUnknown:
      break;
  }
  delete options;
  throw vips::VError("not a picture of a read format");
}

int ReadOrientation(const VImage& image) {
  if (image.get_typeof("orientation") == 0) return 1;
  const int orientation = image.get_int("orientation");
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

}  // namespace

SourceFormat SniffSourceFormat(std::string_view head) {
  if (StartsWith(head, "\xFF\xD8\xFF")) return SourceFormat::kJpeg;
  if (StartsWith(head, "\x89PNG\r\n\x1A\n")) return SourceFormat::kPng;
  if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return SourceFormat::kGif;
  if (StartsWith(head, "BM")) return SourceFormat::kBmp;
  if (StartsWith(head, "RIFF") && head.size() >= 12 && head.substr(8, 4) == "WEBP") {
    return SourceFormat::kWebp;
  }
  if (StartsWith(head, std::string_view("II*\0", 4)) ||
      StartsWith(head, std::string_view("MM\0*", 4))) {
    return SourceFormat::kTiff;
  }
  if (head.size() >= 12 && head.substr(4, 4) == "ftyp") return SourceFormat::kHeif;
  return SourceFormat::kUnknown;
}

std::optional<SourceImage> SourceImage::Open(const std::string& native_path, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  SourceImage source;
  source.path_ = native_path;
  source.format_ = SniffSourceFormat(ReadHead(native_path, 16));
  if (source.format_ == SourceFormat::kUnknown) {
    *error = "not a picture of a read format";
    return std::nullopt;
  }
  if (source.format_ == SourceFormat::kBmp) {
    std::optional<VImage> pixels = DecodeBmpFile(native_path, kMaxSourcePixels, error);
    if (!pixels) return std::nullopt;
    source.bmp_pixels_ = *pixels;
    source.stored_width_ = static_cast<std::uint32_t>(pixels->width());
    source.stored_height_ = static_cast<std::uint32_t>(pixels->height());
    return source;
  }
  try {
    const VImage header = RunLoader(source.format_, native_path, /*sequential=*/true, 1);
    source.stored_width_ = static_cast<std::uint32_t>(header.width());
    source.stored_height_ = static_cast<std::uint32_t>(header.height());
    source.orientation_ = ReadOrientation(header);
  } catch (const vips::VError& e) {
    // The library's message can be empty (libpng stops on some broken
    // chunks without one); the caller still gets a reason.
    *error = *e.what() != '\0' ? e.what() : "the picture cannot be read";
    vips_error_clear();
    return std::nullopt;
  }
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(source.stored_width_) * source.stored_height_;
  if (pixels == 0) {
    *error = "the picture has no pixels";
    return std::nullopt;
  }
  if (pixels > kMaxSourcePixels) {
    *error = "the picture has too many pixels";
    return std::nullopt;
  }
  return source;
}

bool SourceImage::SwapsStoredSides() const { return SwapsSides(orientation_); }

int SourceImage::ShrinkFor(std::uint32_t width, std::uint32_t height) const {
  if (format_ != SourceFormat::kJpeg || width == 0 || height == 0) return 1;
  const std::uint32_t stored_w = SwapsStoredSides() ? height : width;
  const std::uint32_t stored_h = SwapsStoredSides() ? width : height;
  const double factor = std::min(static_cast<double>(stored_width_) / stored_w,
                                 static_cast<double>(stored_height_) / stored_h);
  // The decoder scales in the frequency domain, which costs a fraction of a
  // full decode but blurs and aliases block by block much as a box filter
  // does; the bicubic scaling after it is left at least kDecodeGap times the
  // size asked for, so the rendition looks as one scaled from the full
  // decode does, and none is ever enlarged from a shrunk decode.
  for (int shrink : {8, 4, 2}) {
    if (factor >= shrink * kDecodeGap) return shrink;
  }
  return 1;
}

VImage SourceImage::Load(std::uint32_t width, std::uint32_t height, bool sequential) const {
  if (format_ == SourceFormat::kBmp) return bmp_pixels_;
  return RunLoader(format_, path_, sequential, ShrinkFor(width, height));
}

}  // namespace lumireel
