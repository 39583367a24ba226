// Photo import: the job of the movie's AddPhoto command. The user picks any
// number of image files; each one that decodes becomes a photo of the photo
// folder (big image, preview, a `photo` entry in photos.xml, the cover when
// the folder has none), while a progress bar in the movie follows along. At
// the end the movie is asked to reload its content.
//
// A photo folder holds photos.xml and the folders big and preview; the
// import creates none of them. Files that cannot be decoded get no entry and
// use no id; the movie hears how many were skipped in one alert.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/command_handlers.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/rendition_sizes.h"

namespace lumireel {

class Pacing;
namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

// The open-files dialog of the import.
inline constexpr char kPhotoDialogFilter[] =
    "Graphic Formats (*.jpg,*.jpeg,*.gif,*.bmp,*.png)|*.bmp; *.jpg; *.jpeg; *.png; *.gif|";
inline constexpr char kPhotoDialogDefaultExt[] = "*.jpg,*.jpeg,*.gif,*.png,*.bmp";

// The fixed pauses of an import.
inline constexpr std::chrono::milliseconds kProgressPause{100};  // around each progress call
inline constexpr std::chrono::milliseconds kListWrittenPause{1000};
inline constexpr std::chrono::milliseconds kImportEndPause{2000};
inline constexpr std::chrono::milliseconds kWatcherPause{2000};  // before and after reloadContent

// What an AddPhoto command asks for; the job's own copy.
struct ImportRequest {
  std::string folder;      // argument 0
  RenditionLimits limits;  // arguments 3, 4, 5, 6
  bool reload = false;     // argument 10 is exactly "reload"
  bool operator==(const ImportRequest&) const = default;
};

// Reads the arguments of AddPhoto. The limits read as decimal integers
// (leading blanks, sign, digits; anything else gives 0); a negative limit
// counts as 0 and one beyond the unsigned 32-bit range as its largest value.
ImportRequest ReadImportRequest(const std::array<OptionalArg, 11>& args);

// Decides before which files the import reports its progress: with fewer
// than 100 files before every file, otherwise before file 0 and then every
// step+1 files, where step = (total / 100) * 10 (20 for 250 files: before
// files 0, 21, 42, ...).
class ProgressRule {
 public:
  explicit ProgressRule(int total) : step_((total / 100) * 10), counter_(step_) {}
  // Called once per file, in order; true when progress is reported before it.
  bool ReportBeforeNext() {
    if (++counter_ <= step_) return false;
    counter_ = 0;
    return true;
  }
  int step() const { return step_; }

 private:
  int step_;
  int counter_;
};

// Photos imported into one folder whose list entries wait for the import
// queued right behind, so that a run of queued imports into one folder
// writes its list and facts file once instead of once per import. Photos are
// held only while that next import's pick is already made (its dialog was
// answered ahead, so it will not wait for the user), at most kMaxHeldPhotos
// of them and for at most kMaxHeldTime; every other end of an import writes
// them. Import queue only.
struct HeldPhotos {
  static constexpr std::size_t kMaxHeldPhotos = 2000;
  static constexpr std::chrono::milliseconds kMaxHeldTime{2000};

  std::string folder;  // of the held photos; empty when none are held
  std::vector<ImportedPhoto> photos;
  std::chrono::steady_clock::time_point since;
};

// What the import job runs on.
struct ImportServices {
  platform::MovieControl& movie;
  platform::Dialogs& dialogs;
  Pacing& pacing;
  unsigned workers;  // render threads: one photo in flight per worker
  // True once the import is to stop before its next photo (CancelAddPhoto).
  std::function<bool()> cancelled;
  // Shared by the jobs of one import queue.
  std::shared_ptr<HeldPhotos> held = std::make_shared<HeldPhotos>();
  // True when the import that runs next goes into `folder` with its pick
  // already made; none when never.
  std::function<bool(const std::string& folder)> next_import_into;
};

// The whole job of one AddPhoto: ImportPhotos, then ImportWatcher's reload
// call. The highest photo id is read when the job starts, so a job that
// waited behind another import numbers its photos after that one's.
//
// ImportPhotos shows the open-files dialog. Cancelled: with reload, the movie
// is asked to reloadContent at once and the watcher asks again later;
// without reload nothing is sent at all. Confirmed: the photo list is read
// (an unreadable or unparsable list ends the import without changes), then
// createProgressBar("loc_convertimg"), showProgress(total, i) before the
// files the ProgressRule picks, each file rendered and numbered in pick
// order, the list rewritten once, showProgress(total, total), and, when some
// files were skipped, showAlert("import_error_h", "import_error", skipped).
// The list is rewritten with the photos held from the imports before; it is
// left for the next import instead when that one may hold them (HeldPhotos).
// REQUIRES: runs on the import queue (one import at a time).
void RunPhotoImport(const ImportRequest& request, const ImportServices& services);

}  // namespace lumireel
