// The pixel steps the imaging module builds its pipelines from: bringing any
// decoded picture to 8-bit sRGB, bicubic scaling to an exact size, turning a
// photo upright for its EXIF orientation, and writing JPEG files so that a
// reader never sees a half-written one.
//
// These are thin libvips steps for the other files of src/imaging; they work
// on lazy vips::VImage pipelines and throw vips::VError as libvips does. The
// public entry points of the module catch those errors and turn them into
// results. Any thread may call them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vips/vips8>

namespace lumireel {

// The largest side a written JPEG file can have.
inline constexpr std::uint32_t kMaxImageSide = 65500;

// `in` as 8-bit sRGB with three bands; transparent parts are laid on black,
// as when the picture is drawn onto a new (black) canvas.
vips::VImage ToRgb(const vips::VImage& in);
// `in` as 8-bit sRGB with three bands, or four when it has an alpha band.
vips::VImage ToRgbKeepAlpha(const vips::VImage& in);

// Which resampling a scaled draw uses.
enum class ResampleKernel { kLinear, kCubic };

// `in` scaled to exactly `width` x `height` (both at least 1), bicubic by
// default, each axis by its own factor.
vips::VImage ResizeExact(const vips::VImage& in, std::uint32_t width, std::uint32_t height,
                         ResampleKernel kernel = ResampleKernel::kCubic);

// True when showing a picture stored with this EXIF orientation upright
// swaps its width and height (orientations 5 to 8).
bool SwapsSides(int orientation);
// The stored pixels `in` turned and mirrored as EXIF `orientation` (1 to 8)
// asks, so that they show upright; other values leave them as they are.
vips::VImage TurnUpright(const vips::VImage& in, int orientation);

// Writes `in` (brought to 8-bit sRGB, three bands) as a baseline JPEG with
// `quality` to exactly `native_path`, without metadata. The caller owns the
// path (a temporary name): a failure may leave part of a file there.
void WriteJpeg(const vips::VImage& in, const std::string& native_path, int quality);

// The folder part of `native_path` ("." when it has none), for temporary
// files that must sit beside it.
std::string FolderOf(const std::string& native_path);

// A name for a new file in `native_folder` that no other file of this process
// uses: it starts with "." (so folder copies skip it) and ends with `suffix`.
std::string TemporaryPathIn(std::string_view native_folder, std::string_view suffix);

// Owns a file at a temporary path and deletes it when destroyed, unless it
// was moved into place or released first. Move-only.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  explicit TemporaryFile(std::string native_path) : path_(std::move(native_path)) {}
  ~TemporaryFile();
  TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
  }
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  bool empty() const { return path_.empty(); }
  // Renames the file over `native_destination` (replacing a file there).
  // True on success; the object then owns nothing.
  bool MoveTo(const std::string& native_destination);

 private:
  std::string path_;
};

// Writes `in` as JPEG (see WriteJpeg) to a temporary file beside
// `native_path` and renames it over `native_path`. Readers see the old file
// or the new one. False, with nothing left behind, when anything fails;
// libvips errors are caught here.
bool SaveJpegReplacing(const vips::VImage& in, const std::string& native_path, int quality);

}  // namespace lumireel
