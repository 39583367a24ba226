// ProcessImage: applies one adjustment document to one image and writes the
// outcome, for the editor's image jobs.
//
// The source is first copied to a working copy in the workspace's tmp folder
// (created when missing) and decoded from there, so the source itself can be
// replaced. The colour adjustments are applied in document order, then the
// geometry; the result goes out in one of two ways:
// - preview mode: the result scaled (bicubic, may enlarge) into the preview
//   box of the document's "maxsize" element and written to `output` as JPEG
//   quality 95; then, when `folder` (here the photo list path) is not empty,
//   the photo `id` of that list gets the preview's size. The source stays.
// - full mode: a new preview of photo `id` in the photo folder `folder`, made
//   as RegeneratePreview makes it (the preview box of `folder`\photos.xml,
//   `folder`preview\<id>.jpg, quality 95, the photo's new size recorded in
//   the list), then the whole result written over the source as JPEG
//   quality 95.
// The edit is one lazy pipeline: the colours are computed in one streaming
// pass, and in full mode the result is held in memory once and both files
// are written from it. Every file is written under a temporary name and
// renamed into place. The working copy is deleted when the edit ends.
#pragma once

#include <chrono>
#include <string>

namespace lumireel {

class Pacing;
struct PixelSize;
struct PreviewBox;
namespace platform {
class Dialogs;
}

// The pause after every edit that reached its output, so that the movie's
// reloads see settled files.
inline constexpr std::chrono::milliseconds kEditedImagePause{1400};
// The JPEG quality of edited images and their previews.
inline constexpr int kEditedImageQuality = 95;

// One call's arguments.
struct ImageEdit {
  std::string source;       // the image to edit; overwritten in full mode
  std::string output;       // preview mode: the file that receives the preview
  std::string adjustments;  // the adjustment document, entity references in place
  std::string root;         // the workspace root; its tmp folder holds the working copy
  bool preview_mode = false;
  std::string folder;  // full mode: photo folder ending with a separator;
                       // preview mode: photo list path, or empty
  std::string id;      // the photo's id in the photo list
  // Every crop of the document is scaled by this factor (rounded to the
  // nearest pixel): a document made for a big image of another size.
  double crop_scale = 1.0;
  // Full mode within a folder job: the folder's preview box, read once by
  // the job, and where the new preview's size goes instead of into the list;
  // the job records the sizes of many photos in one rewrite of the list.
  // Both null otherwise.
  const PreviewBox* preview_box = nullptr;
  PixelSize* preview_size = nullptr;
};

struct EditServices {
  platform::Dialogs& dialogs;
  Pacing& pacing;
};

enum class EditResult {
  kWritten,      // every output was written
  kNotWritten,   // an output could not be written; earlier outputs stay
  kNoEncoder,    // no JPEG encoder: nothing written
  kBadDocument,  // the document does not parse: the "Can't load XML" box was shown
  kNoImage,      // the source cannot be copied or decoded, or the geometry left
                 // no image (an empty or oversized crop): nothing written
};

// Applies `edit`. A document that does not parse shows a message box without
// owner ("Can't load XML", caption "Fatal Error", error icon, OK) and waits
// for it to close. After an edit that reached its output it pauses
// kEditedImagePause through the pacing. Never throws for bad input.
// Any thread; calls on different images may run at the same time.
EditResult ProcessImage(const ImageEdit& edit, const EditServices& services);

}  // namespace lumireel
