// The editor's image jobs: the work behind SaveIMG, SavePreview,
// ApplyAdjustForFolder and SaveIMG_last. A job edits one image (single mode)
// or every photo of a photo folder (folder mode) with ProcessImage, and then
// asks the movie to reload what changed; the movie learns of the end of a
// job only through those calls.
#pragma once

#include <chrono>
#include <string>

#include "imaging/process_image.h"

namespace lumireel {

class Pacing;
namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

// The pause before a job starts, and the one before a folder job's reload.
inline constexpr std::chrono::milliseconds kImageJobStartPause{2500};
inline constexpr std::chrono::milliseconds kFolderJobEndPause{1000};

// One job's own copy of what its command asked for.
struct ImageJob {
  // Single mode: the source image. Folder mode: the photo folder, ending
  // with a path separator.
  std::string first;
  // Single mode: the output file (preview mode). Folder mode: the
  // adjustment document.
  std::string second;
  // Single mode: the adjustment document. Folder mode: not used.
  std::string third;
  // Single mode: the photo folder ending with a separator (full mode) or the
  // photo list path (preview mode). Folder mode: not used.
  std::string folder;
  std::string photo_id;  // single mode: the photo's id
  std::string root;      // the workspace root
  bool preview_mode = false;
  bool folder_mode = false;
};

struct ImageJobServices {
  platform::MovieControl& movie;
  platform::Dialogs& dialogs;
  Pacing& pacing;
  unsigned workers;  // folder mode: photos edited at the same time (at least 1)
};

// Runs one job, after kImageJobStartPause.
//
// Single mode: ProcessImage(first, second, third, root, preview_mode, folder,
// photo_id), then reloadPreview (preview mode) or reloadBigImg, whatever the
// edit's outcome.
//
// Folder mode: reads first + "photos.xml"; a list that cannot be read or
// parsed, or has no root element, ends the job without a call to the movie.
// Otherwise, with total the number of child nodes of the list's root and i
// the index of a child among them: every child with both a `file` and an
// `id` child is edited in full mode (the big image first\big\<file> in
// place, its preview regenerated) with the adjustment document `second`,
// and showProgress(total, i) follows; children lacking either are passed
// over without a call. A photo whose image is missing or undecodable, or
// whose file or id is not a plain name inside the folder, is left alone but
// still reported. The photos are edited `workers` at a time (two entries of
// one image or id one after the other, in list order); the progress calls
// keep list order. Then showProgress(total, total), kFolderJobEndPause,
// reloadBigImg.
//
// REQUIRES: runs on the edit queue (one job at a time).
void RunImageJob(const ImageJob& job, const ImageJobServices& services);

}  // namespace lumireel
