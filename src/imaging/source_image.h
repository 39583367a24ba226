// A picture file opened for decoding. Its format is recognised from its first
// bytes, never from its name, and only the formats of photos are read: JPEG,
// PNG, GIF (first frame), BMP, WebP, TIFF and HEIF/AVIF. The header is read
// at once; the pixels are decoded on demand at the size the caller needs, so
// a large JPEG is decoded already shrunk and a picture is never held whole in
// memory unless the caller asks for it.
//
// Hostile files are refused before their pixels are decoded: a zero side or
// more than kMaxSourcePixels pixels. A truncated file fails when its pixels
// are decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vips/vips8>

namespace lumireel {

// The largest picture (width x height) the program decodes.
inline constexpr std::uint64_t kMaxSourcePixels = 200'000'000;

enum class SourceFormat { kUnknown, kJpeg, kPng, kGif, kBmp, kWebp, kTiff, kHeif };

// The format announced by a file's first bytes (at least 12 are looked at
// when there are so many).
SourceFormat SniffSourceFormat(std::string_view head);

class SourceImage {
 public:
  // Opens the file at `native_path` and reads its header. nullopt, with the
  // reason in `error` (when not null), when the file cannot be read, is not a
  // picture of a read format, has a broken header, a zero side or too many
  // pixels. Never throws.
  static std::optional<SourceImage> Open(const std::string& native_path, std::string* error);

  // The size as shown upright (the EXIF orientation applied).
  std::uint32_t width() const { return SwapsStoredSides() ? stored_height_ : stored_width_; }
  std::uint32_t height() const { return SwapsStoredSides() ? stored_width_ : stored_height_; }
  std::uint32_t stored_width() const { return stored_width_; }
  std::uint32_t stored_height() const { return stored_height_; }
  // The EXIF orientation, 1 to 8 (1 when the file has none).
  int orientation() const { return orientation_; }
  bool NeedsTurning() const { return orientation_ != 1; }
  SourceFormat format() const { return format_; }

  // The stored pixels (not turned): a JPEG decoded shrunk by 2, 4 or 8 in
  // the frequency domain while keeping at least half as much again as the
  // upright size `width` x `height` on both axes (the rest of the way is
  // left to the bicubic scaling), other pictures at full size.
  // `sequential` pipelines read the file once from top to bottom; they are
  // the fast way when the result is scaled and written straight away. Lazy:
  // decoding errors surface as vips::VError when the pixels are computed.
  vips::VImage Load(std::uint32_t width, std::uint32_t height, bool sequential) const;

  // The JPEG shrink factor (1, 2, 4 or 8) Load uses for that size.
  int ShrinkFor(std::uint32_t width, std::uint32_t height) const;

 private:
  bool SwapsStoredSides() const;

  std::string path_;
  SourceFormat format_ = SourceFormat::kUnknown;
  std::uint32_t stored_width_ = 0;
  std::uint32_t stored_height_ = 0;
  int orientation_ = 1;
  vips::VImage bmp_pixels_;  // BMP files are decoded whole by Open
};

}  // namespace lumireel
