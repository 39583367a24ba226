// ImageCodec: the operations the photo pipeline needs from the image library
// (libvips here): decoding a file, new canvases, copying an area, scaled and
// recoloured drawing, turning and mirroring, the list of encoders and saving
// with encoder parameters.
//
// An Image is a value: copying one shares its pixels until either copy is
// changed, and the "in place" operations replace the pixels of that one
// object only. An Image whose creation failed has flags 0; operations on it
// fail in turn. Every operation may be called from any thread, each thread
// working on its own images. libvips errors never leave this module: they
// become flags 0 or a CodecStatus.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>
#include <vips/vips8>

namespace lumireel {

// Image flags: 0 means the image was not decoded (or not created).
inline constexpr std::uint32_t kImageFlagDecoded = 0x0001;
inline constexpr std::uint32_t kImageFlagHasAlpha = 0x0002;
inline constexpr std::uint32_t kImageFlagColorSpaceRgb = 0x0010;

// The largest canvas side and area.
inline constexpr std::uint32_t kMaxCanvasSide = 65500;
inline constexpr std::uint64_t kMaxCanvasPixels = 200'000'000;

enum class CodecStatus {
  kOk = 0,            // done (for a save: written)
  kInvalidParameter,  // a rectangle outside the image, an unknown encoder, ...
  kNotDecoded,        // an operand has flags 0
  kFailed,            // the library failed (file not writable, out of memory, ...)
};

// A rectangle in pixels.
struct PixelRect {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
};

class Image {
 public:
  Image() = default;  // flags 0

  std::uint32_t width() const {
    return flags_ != 0 ? static_cast<std::uint32_t>(pixels_.width()) : 0;
  }
  std::uint32_t height() const {
    return flags_ != 0 ? static_cast<std::uint32_t>(pixels_.height()) : 0;
  }
  std::uint32_t flags() const { return flags_; }
  bool decoded() const { return flags_ != 0; }

  // The 8-bit sRGB pixels (three bands, four with alpha), for the other
  // files of the imaging module. Empty when flags is 0.
  const vips::VImage& pixels() const { return pixels_; }

 private:
  friend class ImageCodec;
  friend class DrawingContext;
  Image(vips::VImage pixels, std::uint32_t flags) : pixels_(std::move(pixels)), flags_(flags) {}

  vips::VImage pixels_;
  std::uint32_t flags_ = 0;
};

enum class RotateFlipType { kRotate90, kRotate180, kRotate270, kMirrorLeftRight, kMirrorTopBottom };

// An encoder's identity: 16 bytes, fixed for the life of the program.
struct EncoderId {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const EncoderId&) const = default;
};

struct EncoderInfo {
  EncoderId id;
  std::string mime_type;  // for example "image/jpeg"
};

// Encoder parameters: what JpegQuality builds and Save reads.
enum class EncoderParameterKind { kQuality };
enum class EncoderParameterType { kLong = 4 };  // 32-bit integers
struct EncoderParameter {
  EncoderParameterKind kind = EncoderParameterKind::kQuality;
  EncoderParameterType type = EncoderParameterType::kLong;
  std::vector<std::int32_t> values;
};
using EncoderParameters = std::vector<EncoderParameter>;

// The 5x5 colour matrix, row-vector convention: [r g b a 1] (each 0..1)
// times the matrix gives the new [r g b a w]; results are clamped to 0..1.
using ColorMatrix = std::array<std::array<float, 5>, 5>;

class ImageCodec {
 public:
  // Starts the library once; later calls only return the first result.
  // The library's operation cache is switched off, so that a file rewritten
  // under the same name is always read afresh, and its warnings are not
  // printed. The allocator is limited to one arena per processor (a
  // process-wide setting), so that the memory of large decodes is reused
  // rather than kept by many threads. Never shuts the library down.
  static bool Initialise();

  // Decodes the whole picture at `path` (the program's path; `\` separates
  // too) into memory, turned upright for its EXIF orientation, as 8-bit
  // sRGB. Flags 0 when the file cannot be read, is not a picture of a read
  // format, is truncated, or has more than 200 million pixels.
  static Image DecodeFile(const std::string& path);

  // A new black 24-bit RGB canvas. Flags 0 for a zero side or one above
  // kMaxCanvasSide, or more than kMaxCanvasPixels pixels.
  static Image NewCanvas(std::uint32_t width, std::uint32_t height);

  // A new 24-bit RGB image holding a copy of that area of `image` (alpha laid
  // on black). Flags 0 when the area is empty or leaves the image.
  static Image CloneArea(const Image& image, std::int64_t x, std::int64_t y, std::int64_t width,
                         std::int64_t height);

  // Turns or mirrors `image` in place; width and height swap for 90 and 270.
  static CodecStatus RotateFlip(Image& image, RotateFlipType type);

  // Every installed encoder, in a fixed order, JPEG first.
  static const std::vector<EncoderInfo>& Encoders();

  // Writes `image` with the encoder `encoder` to `path`, replacing a file
  // there: the file is written under a temporary name beside it and renamed
  // into place, so readers never see a part. A kQuality parameter sets the
  // JPEG quality (default 75). kOk when written.
  static CodecStatus Save(const Image& image, const std::string& path, const EncoderId& encoder,
                          const EncoderParameters& parameters = {});
};

enum class Interpolation { kDefault, kHighQualityBicubic };

// Draws onto one image (normally a canvas). The image must outlive the
// context. Drawing is lazy and costs nothing until the image is saved.
class DrawingContext {
 public:
  explicit DrawingContext(Image& target) : target_(target) {}
  DrawingContext(const DrawingContext&) = delete;
  DrawingContext& operator=(const DrawingContext&) = delete;

  // Applies to the following draws (the default is bilinear).
  void SetInterpolation(Interpolation mode) { interpolation_ = mode; }

  // Scales the `source_rect` of `source` onto `dest_rect` of the target;
  // parts of `dest_rect` outside the target are cut off, transparent pixels
  // of the source let the target show through. `source` may be the target.
  // kInvalidParameter when `source_rect` is empty or leaves the source, or
  // `dest_rect` is empty.
  CodecStatus DrawImage(const Image& source, const PixelRect& dest_rect,
                        const PixelRect& source_rect);
  // The same, each source pixel recoloured through `matrix` first.
  CodecStatus DrawImage(const Image& source, const PixelRect& dest_rect,
                        const PixelRect& source_rect, const ColorMatrix& matrix);

 private:
  CodecStatus Draw(const Image& source, const PixelRect& dest_rect, const PixelRect& source_rect,
                   const ColorMatrix* matrix);

  Image& target_;
  Interpolation interpolation_ = Interpolation::kDefault;
};

}  // namespace lumireel
