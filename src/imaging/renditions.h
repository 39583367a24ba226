// The two renditions of every photo: the big image in the photo folder's
// `big` folder and the preview in its `preview` folder, both JPEG files named
// after the photo's id, and the folder's cover `album.jpg`.
//
// Importing a photo has two halves so that an import can render the next
// photos while it numbers earlier ones: RenderPhoto decodes the picked file
// once and writes both renditions under temporary names (any thread, in
// parallel); CommitPhoto gives them the photo's id and writes the cover when
// the folder has none (in pick order). ImportPhotoFile does both for one
// photo. Every image file is written under a temporary name and renamed into
// place, so readers never see a part of one.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "imaging/image_codec.h"
#include "imaging/pixel_ops.h"
#include "imaging/rendition_sizes.h"
#include "library/photo_info.h"

namespace lumireel {

class Pacing;

// JPEG qualities: big images at import, previews and covers at import, and
// previews of edited photos.
inline constexpr int kBigQuality = 100;
inline constexpr int kImportPreviewQuality = 93;
inline constexpr int kEditedPreviewQuality = 95;

// The pause after each imported photo.
inline constexpr std::chrono::milliseconds kRenderedPhotoPause{4000};

// A big image up to this many pixels is held in memory while the preview is
// scaled from it, so the picked file is decoded once.
inline constexpr std::uint64_t kMaxHeldPixels = 8'000'000;

// Both renditions of one picked file, written but not yet numbered.
struct RenderedPhoto {
  bool ok = false;
  std::string error;      // why not, when !ok
  TemporaryFile big;      // in the big folder
  TemporaryFile preview;  // in the preview folder
  PixelSize preview_size;
  PixelSize big_size;  // as shown upright
  // The picked file's own bytes, in the originals folder, when it is kept.
  TemporaryFile original;
  std::string original_extension;  // lower case; empty for a name without one
  PhotoFacts facts;
};

// Decodes `source` once, turned upright for its EXIF orientation, and
// writes the big image (quality 100, or the file's own bytes when the plan
// says so and the photo needs no turning) and the preview (quality 93) under
// temporary names in `big_dir` and `preview_dir`. Not ok, with nothing left
// on disk, when the file cannot be decoded (not a picture, truncated, more
// than 200 million pixels), a rendition would be empty or larger than a JPEG
// can be, or a file cannot be written. Any thread.
//
// With `originals_dir` (created when missing) the picked file is also
// copied there byte for byte under a temporary name, and its facts are
// read (see PhotoFacts); a copy that fails leaves the photo without an
// original and without the digest, and the photo still imports.
RenderedPhoto RenderPhoto(const RenditionLimits& limits, const std::string& source,
                          const std::string& big_dir, const std::string& preview_dir,
                          const std::string& originals_dir = std::string());

struct CommitResult {
  bool ok = false;
  bool cover_written = false;
};

// Renames the renditions of `photo` to `big_dir`/<id>.jpg and
// `preview_dir`/<id>.jpg (replacing files there) and, when `folder` has no
// readable album.jpg, copies the preview there as the cover. Not ok when
// `photo` is not ok or a rename fails; then neither file is left in place.
// A cover that cannot be written does not fail the photo (the next photo
// tries again). A kept original becomes `folder`/originals/<id>.<ext>, and
// an adjustment document kept for an earlier photo of that id is dropped;
// an original that cannot be renamed is let go (the digest is then cleared).
CommitResult CommitPhoto(RenderedPhoto& photo, const std::string& folder,
                         const std::string& big_dir, const std::string& preview_dir,
                         const std::string& id);

enum class ImportFileResult { kFailed = -1, kWritten = 0, kWrittenWithCover = 1 };

// Imports one picked file as photo `id`: RenderPhoto, CommitPhoto, and the
// pause after a rendered photo. On success `preview_width` and
// `preview_height` receive the preview size; on failure they are unchanged
// and nothing is left on disk.
ImportFileResult ImportPhotoFile(const RenditionLimits& limits, const std::string& folder,
                                 const std::string& source, const std::string& big_dir,
                                 const std::string& preview_dir, const std::string& id,
                                 std::uint32_t* preview_width, std::uint32_t* preview_height,
                                 Pacing& pacing);

// Writes the preview of an edited photo: `image` scaled (bicubic) into the
// preview box of the list at `list_path` (see PreviewBoxSize; negative
// bounds count as 0) and saved to `preview_path` with quality 95; then the
// photo `id` of the list gets the preview's size (RewritePhotoSize). True
// when both were written. False, with nothing changed, when the image is not
// decoded, no preview can be made (an empty box) or the preview cannot be
// written; false with the preview written when the list cannot be rewritten.
bool RegeneratePreview(const Image& image, const std::string& preview_path,
                       const std::string& list_path, const std::string& id);

}  // namespace lumireel
