#include "imaging/process_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "bridge/file_utils.h"
#include "bridge/pacing.h"
#include "imaging/adjustments.h"
#include "imaging/codec_utilities.h"
#include "imaging/colour_pass.h"
#include "imaging/geometry_fold.h"
#include "imaging/image_codec.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/pixel_ops.h"
#include "imaging/rendition_sizes.h"
#include "platform/dialogs.h"

namespace lumireel {
namespace {

using vips::VImage;

constexpr int kWorkingNameLength = 8;
// Names of later seconds are tried when a name is taken (by an edit of the
// same folder job running beside this one).
constexpr int kWorkingNameAttempts = 64;

void ShowBadDocument(platform::Dialogs& dialogs) {
  platform::MessageBoxRequest box;
  box.caption = "Fatal Error";
  box.text = "Can't load XML";
  box.icon = platform::MessageIcon::kError;
  box.buttons = platform::MessageButtons::kOk;
  box.owned_by_main_window = false;
  dialogs.ShowMessageBox(box);
}

// Copies `source` to root\tmp\<eight random characters>.tmp. The name is
// claimed with an exclusive create, so edits running side by side never
// share a working copy. Empty when the folder cannot be made or the source
// cannot be copied.
TemporaryFile MakeWorkingCopy(const std::string& source, const std::string& root) {
  const std::string tmp = JoinPath(root, "tmp");
  if (!IsFolder(tmp)) MakeFolder(tmp);
  const std::time_t now = std::time(nullptr);
  for (int attempt = 0; attempt < kWorkingNameAttempts; ++attempt) {
    const std::string name = MakeRandomName(kWorkingNameLength, now + attempt);
    const std::string path = NativePath(JoinPath(tmp, name + ".tmp"));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    ::close(fd);
    TemporaryFile copy(path);
    std::error_code ec;
    if (!std::filesystem::copy_file(NativePath(source), path,
                                    std::filesystem::copy_options::overwrite_existing, ec)) {
      return {};
    }
    return copy;
  }
  return {};
}

// The decoded working copy as 8-bit RGB (transparent parts on black),
// recoloured and reshaped as `plan` asks: a lazy pipeline of a bounded
// number of operations however long the document. nullopt when the copy is
// not a picture or a crop leaves no image.
std::optional<VImage> EditedImage(const std::string& working_copy, const AdjustmentPlan& plan) {
  const Image decoded = ImageCodec::DecodeFile(working_copy);
  if (!decoded.decoded()) return std::nullopt;
  const VImage image = ApplyColourPass(ToRgb(decoded.pixels()), plan.colours);
  return ReshapeImage(image, plan.geometry);
}

// Writes `image` scaled (bicubic) to `size` as a JPEG of quality 95 at
// `path`. False, with nothing written, for a size no canvas can have.
bool WriteScaled(const VImage& image, const PixelSize& size, const std::string& path) {
  if (size.empty() || size.width > kMaxImageSide || size.height > kMaxImageSide ||
      static_cast<std::uint64_t>(size.width) * size.height > kMaxCanvasPixels) {
    return false;
  }
  return SaveJpegReplacing(ResizeExact(image, size.width, size.height, ResampleKernel::kCubic),
                           NativePath(path), kEditedImageQuality);
}

std::uint32_t Bound(long value) {
  return static_cast<std::uint32_t>(std::clamp<long>(value, 0, UINT32_MAX));
}

PixelSize SizeOf(const VImage& image) {
  return {static_cast<std::uint32_t>(image.width()), static_cast<std::uint32_t>(image.height())};
}

// The preview of `image` for the box (`box_width`, `box_height`) written to
// `path`, and then its size recorded for photo `id` in the list at
// `list_path` (when not empty) and in `written` (when not null). The preview
// goes first, so that the list never records the size of a preview that was
// not written.
bool WritePreviewAndSize(const VImage& image, long box_width, long box_height,
                         const std::string& path, const std::string& list_path,
                         const std::string& id, PixelSize* written = nullptr) {
  const PixelSize image_size = SizeOf(image);
  const PixelSize size =
      PreviewBoxSize(Bound(box_width), Bound(box_height), image_size.width, image_size.height);
  if (!WriteScaled(image, size, path)) return false;
  if (written != nullptr) *written = size;
  return list_path.empty() || RewritePhotoSize(list_path, id, size.width, size.height);
}

EditResult WriteOutputs(const VImage& edited, const AdjustmentPlan& plan, const ImageEdit& edit) {
  if (edit.preview_mode) {
    return WritePreviewAndSize(edited, plan.max_width, plan.max_height, edit.output, edit.folder,
                               edit.id)
               ? EditResult::kWritten
               : EditResult::kNotWritten;
  }
  // Both files are made from the same pixels: compute them once.
  const VImage image = edited.copy_memory();
  const std::string preview_path = edit.folder + "preview\\" + edit.id + ".jpg";
  const std::string list_path = edit.folder + "\\photos.xml";
  const PreviewBox box =
      edit.preview_box != nullptr ? *edit.preview_box : ReadPreviewBox(list_path);
  // A folder job records the size itself.
  const bool preview_written = WritePreviewAndSize(
      image, box.width, box.height, preview_path,
      edit.preview_size != nullptr ? std::string() : list_path, edit.id, edit.preview_size);
  const bool image_written = SizeOf(image).width <= kMaxImageSide &&
                             SizeOf(image).height <= kMaxImageSide &&
                             SaveJpegReplacing(image, NativePath(edit.source), kEditedImageQuality);
  return preview_written && image_written ? EditResult::kWritten : EditResult::kNotWritten;
}

void ScaleCrops(AdjustmentPlan& plan, double scale) {
  const auto scaled = [scale](auto value) {
    return static_cast<decltype(value)>(std::llround(static_cast<double>(value) * scale));
  };
  for (GeometryStep& step : plan.geometry) {
    if (step.kind != GeometryStep::Kind::kCrop) continue;
    step.crop = {scaled(step.crop.x), scaled(step.crop.y), scaled(step.crop.width),
                 scaled(step.crop.height)};
  }
}

}  // namespace

EditResult ProcessImage(const ImageEdit& edit, const EditServices& services) {
  ImageCodec::Initialise();
  TemporaryFile working_copy = MakeWorkingCopy(edit.source, edit.root);
  if (FindEncoderByMime("image/jpeg", nullptr) < 0) return EditResult::kNoEncoder;
  std::optional<AdjustmentPlan> plan = ReadAdjustments(edit.adjustments);
  if (!plan) {
    ShowBadDocument(services.dialogs);
    return EditResult::kBadDocument;
  }
  // A document beyond the step limit is refused as an undecodable picture
  // is: nothing written, no message.
  if (working_copy.empty() || plan->over_limit) return EditResult::kNoImage;
  if (edit.crop_scale != 1.0) ScaleCrops(*plan, edit.crop_scale);
  EditResult result = EditResult::kNoImage;
  try {
    const std::optional<VImage> edited = EditedImage(working_copy.path(), *plan);
    if (!edited) return EditResult::kNoImage;
    result = WriteOutputs(*edited, *plan, edit);
  } catch (const vips::VError&) {
    // The pixels could not be computed (out of memory, for example); files
    // already in place stay, the rest are not written.
    vips_error_clear();
    result = EditResult::kNotWritten;
  }
  working_copy = TemporaryFile();
  services.pacing.Pause(kEditedImagePause);
  return result;
}

}  // namespace lumireel
