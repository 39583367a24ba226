#include "imaging/renditions.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>
#include <system_error>

#include "bridge/file_utils.h"
#include "bridge/pacing.h"
#include "imaging/codec_utilities.h"
#include "imaging/photo_facts.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/source_image.h"

namespace lumireel {
namespace {

using vips::VImage;

bool Writable(const PixelSize& size) {
  return !size.empty() && size.width <= kMaxImageSide && size.height <= kMaxImageSide;
}

bool Held(const PixelSize& size) {
  return static_cast<std::uint64_t>(size.width) * size.height <= kMaxHeldPixels;
}

// The upright `size` as the picture is stored.
PixelSize Stored(const SourceImage& source, const PixelSize& size) {
  return SwapsSides(source.orientation()) ? PixelSize{size.height, size.width} : size;
}

// The upright rendition of `size`, whole in memory. The file is read once,
// from top to bottom, and scaled before it is turned.
VImage RenderHeld(const SourceImage& source, const PixelSize& size) {
  const PixelSize stored = Stored(source, size);
  VImage scaled = ResizeExact(ToRgb(source.Load(size.width, size.height, /*sequential=*/true)),
                              stored.width, stored.height)
                      .copy_memory();
  if (source.NeedsTurning()) scaled = TurnUpright(scaled, source.orientation()).copy_memory();
  return scaled;
}

// Writes one rendition of `size` straight from the file.
void RenderOne(const SourceImage& source, const PixelSize& size, const std::string& path,
               int quality) {
  if (!source.NeedsTurning()) {
    const VImage stored = source.Load(size.width, size.height, /*sequential=*/true);
    WriteJpeg(ResizeExact(ToRgb(stored), size.width, size.height), path, quality);
  } else if (Held(size)) {
    WriteJpeg(RenderHeld(source, size), path, quality);
  } else {
    // Too large to hold: the library decodes with random access (into a
    // temporary file when the picture is large), so it can be turned first.
    const VImage stored = source.Load(size.width, size.height, /*sequential=*/false);
    const VImage upright = TurnUpright(ToRgb(stored), source.orientation());
    WriteJpeg(ResizeExact(upright, size.width, size.height), path, quality);
  }
}

// Writes both renditions, decoding the file once when the big image can be
// held and the preview is scaled down from it.
void RenderBoth(const SourceImage& source, const RenditionPlan& plan, const std::string& big_path,
                const std::string& preview_path) {
  const bool preview_within_big =
      plan.preview.width <= plan.big.width && plan.preview.height <= plan.big.height;
  if (Held(plan.big) && preview_within_big) {
    const VImage big = RenderHeld(source, plan.big);
    WriteJpeg(big, big_path, kBigQuality);
    WriteJpeg(ResizeExact(big, plan.preview.width, plan.preview.height), preview_path,
              kImportPreviewQuality);
    return;
  }
  RenderOne(source, plan.big, big_path, kBigQuality);
  RenderOne(source, plan.preview, preview_path, kImportPreviewQuality);
}

bool CopyBytes(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) return false;
  // The copy is the program's own file, whatever the picked file's mode.
  fs::permissions(to,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read,
                  ec);
  return true;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Keeps the picked file's bytes in `originals_dir` and reads its facts.
void KeepOriginal(const SourceImage& source, const std::string& native_source,
                  const std::string& source_path, const std::string& originals_dir,
                  RenderedPhoto& photo) {
  PhotoFacts& facts = photo.facts;
  facts.original = BaseName(source_path);
  facts.width = source.width();
  facts.height = source.height();
  const std::string native_dir = NativePath(originals_dir);
  if (!IsFolder(native_dir)) MakeFolder(native_dir);  // another worker may make it first
  photo.original = TemporaryFile(TemporaryPathIn(native_dir, ".tmp"));
  const CopiedOriginal copied = CopyOriginal(native_source, photo.original.path());
  if (copied.ok) {
    facts.bytes = copied.bytes;
    facts.sha256 = copied.sha256;
    photo.original_extension = OriginalExtension(facts.original);
  } else {
    photo.original = TemporaryFile();
    std::error_code ec;
    facts.bytes = std::filesystem::file_size(native_source, ec);
    if (ec) facts.bytes = 0;
  }
  MetadataFacts metadata = ReadMetadataFacts(native_source);
  facts.taken = !metadata.taken.empty() ? metadata.taken : FileModificationTime(native_source);
  facts.camera = std::move(metadata.camera);
  facts.caption = std::move(metadata.caption);
}

}  // namespace

RenderedPhoto RenderPhoto(const RenditionLimits& limits, const std::string& source_path,
                          const std::string& big_dir, const std::string& preview_dir,
                          const std::string& originals_dir) {
  RenderedPhoto photo;
  if (!ImageCodec::Initialise()) {
    photo.error = "the image library cannot start";
    return photo;
  }
  const std::string native_source = NativePath(source_path);
  const std::optional<SourceImage> source = SourceImage::Open(native_source, &photo.error);
  if (!source) return photo;
  const RenditionPlan plan = PlanRenditions(limits, source->width(), source->height());
  // A photo that must be turned is rendered, never copied: its bytes would
  // show it on its side.
  const bool copy = plan.copy_source && !source->NeedsTurning();
  if (!Writable(plan.preview) || (!copy && !Writable(plan.big))) {
    photo.error = "no rendition can be made at these limits";
    return photo;
  }
  photo.big = TemporaryFile(TemporaryPathIn(NativePath(big_dir), ".jpg"));
  photo.preview = TemporaryFile(TemporaryPathIn(NativePath(preview_dir), ".jpg"));
  try {
    if (copy) {
      if (!CopyBytes(native_source, photo.big.path())) throw vips::VError("cannot copy the file");
      RenderOne(*source, plan.preview, photo.preview.path(), kImportPreviewQuality);
    } else {
      RenderBoth(*source, plan, photo.big.path(), photo.preview.path());
    }
  } catch (const vips::VError& e) {
    vips_error_clear();
    photo.error = e.what();
    photo.big = TemporaryFile();
    photo.preview = TemporaryFile();
    return photo;
  }
  if (!originals_dir.empty())
    KeepOriginal(*source, native_source, source_path, originals_dir, photo);
  photo.preview_size = plan.preview;
  photo.big_size = plan.big;
  photo.ok = true;
  return photo;
}

CommitResult CommitPhoto(RenderedPhoto& photo, const std::string& folder,
                         const std::string& big_dir, const std::string& preview_dir,
                         const std::string& id) {
  CommitResult result;
  if (!photo.ok) return result;
  const std::string name = id + ".jpg";
  const std::string big_path = NativePath(JoinPath(big_dir, name));
  const std::string preview_path = NativePath(JoinPath(preview_dir, name));
  if (!photo.big.MoveTo(big_path)) return result;
  if (!photo.preview.MoveTo(preview_path)) {
    ::unlink(big_path.c_str());
    return result;
  }
  const std::string cover = JoinPath(folder, "album.jpg");
  if (!FileExists(cover)) result.cover_written = CopyFileReplacing(preview_path, cover);
  // A new photo has no edits, whatever an earlier photo of this id had.
  RemoveFile(KeptEditsPath(folder, id));
  if (!photo.original.empty()) {
    const std::string extension =
        photo.original_extension.empty() ? std::string() : "." + photo.original_extension;
    const std::string kept = NativePath(JoinPath(JoinPath(folder, "originals"), id + extension));
    if (const std::optional<std::string> earlier = FindOriginal(folder, id)) {
      if (*earlier != kept) ::unlink(earlier->c_str());
    }
    if (!photo.original.MoveTo(kept)) {
      photo.original = TemporaryFile();
      photo.facts.sha256.clear();
    }
  }
  result.ok = true;
  return result;
}

ImportFileResult ImportPhotoFile(const RenditionLimits& limits, const std::string& folder,
                                 const std::string& source, const std::string& big_dir,
                                 const std::string& preview_dir, const std::string& id,
                                 std::uint32_t* preview_width, std::uint32_t* preview_height,
                                 Pacing& pacing) {
  RenderedPhoto photo = RenderPhoto(limits, source, big_dir, preview_dir);
  const CommitResult commit = CommitPhoto(photo, folder, big_dir, preview_dir, id);
  if (!commit.ok) return ImportFileResult::kFailed;
  *preview_width = photo.preview_size.width;
  *preview_height = photo.preview_size.height;
  pacing.Pause(kRenderedPhotoPause);
  return commit.cover_written ? ImportFileResult::kWrittenWithCover : ImportFileResult::kWritten;
}

bool RegeneratePreview(const Image& image, const std::string& preview_path,
                       const std::string& list_path, const std::string& id) {
  if (!image.decoded()) return false;
  const PreviewBox box = ReadPreviewBox(list_path);
  EncoderId jpeg;
  if (FindEncoderByMime("image/jpeg", &jpeg) < 0) return false;
  const auto bound = [](long value) {
    return static_cast<std::uint32_t>(std::clamp<long>(value, 0, UINT32_MAX));
  };
  const PixelSize size =
      PreviewBoxSize(bound(box.width), bound(box.height), image.width(), image.height());
  Image canvas = ImageCodec::NewCanvas(size.width, size.height);
  if (!canvas.decoded()) return false;
  DrawingContext context(canvas);
  context.SetInterpolation(Interpolation::kHighQualityBicubic);
  const PixelRect to{0, 0, size.width, size.height};
  const PixelRect from{0, 0, image.width(), image.height()};
  if (context.DrawImage(image, to, from) != CodecStatus::kOk) return false;
  // The preview is written before the list records its size, so the list
  // never describes a preview that is not there.
  if (ImageCodec::Save(canvas, preview_path, jpeg, JpegQuality(kEditedPreviewQuality)) !=
      CodecStatus::kOk) {
    return false;
  }
  return RewritePhotoSize(list_path, id, size.width, size.height);
}

}  // namespace lumireel
