// Local publishing: the job of the movie's Publish command. The user picks a
// folder; below it the CD gallery goes into `cd` and the web gallery into
// `web` (CD first), each after a question when the folder is not empty. A
// progress bar without steps shows meanwhile, and an alert tells the end.
#pragma once

#include <chrono>
#include <string>

#include "bridge/command_handlers.h"

namespace lumireel {

class JobQueue;
class Pacing;
class PublishedGalleries;
namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

// The pauses at the end of a run: they give the movie time to show the
// alert before the progress bar closes.
inline constexpr std::chrono::milliseconds kBeforeAlertPause{1500};
inline constexpr std::chrono::milliseconds kAlertShownPause{2000};
inline constexpr std::chrono::milliseconds kAfterClosePause{500};

// One Publish run's own copy of what it works on.
struct PublishJob {
  PublishRequest request;
  std::string root_path;  // the workspace root: holds images, tmp and the catalogue
};

// What a run talks to; all outlive the run.
struct PublishServices {
  platform::MovieControl& movie;
  platform::Dialogs& dialogs;
  Pacing& pacing;
  // Where finished web galleries are recorded for a later upload; may be null.
  PublishedGalleries* published = nullptr;
};

// The file that stands in a gallery folder while the gallery is built and
// stays there when the build stopped before the end.
inline constexpr char kBuildingMarker[] = "publishing-not-finished.txt";

// The whole run of one Publish command. With neither flag set it does
// nothing. Otherwise it shows the folder picker "Select folder to Publish";
// when that is cancelled it ends without a word to the movie. Then:
// createProgressBar("loc_publish_lbl"); the CD gallery (when asked for) in
// `<picked>\cd`, then the web gallery in `<picked>\web`; after 1500 ms
// showAlert("loc_msg_localpubsucc_h", "loc_msg_localpubsucc", 1), after
// 2000 ms closeProgressBar(), then 500 ms more. The alert comes whatever the
// builds gave and when a gallery was skipped.
//
// A gallery folder that is missing is created; one that cannot be made a
// folder is skipped without a word. A non-empty one brings the question box
// "Question!" / "Folder %s is not empty. Owerwrite files?" (OK/Cancel);
// Cancel skips that gallery, OK removes the folder with everything in it and
// makes it again, reporting "Can't remove folder %s " or "Can't make folder
// %s " (title "Error!") and skipping the gallery when that fails.
//
// REQUIRES: a worker thread (it waits for dialogs that run on the main thread).
void PublishLocal(const PublishJob& job, const PublishServices& services);

class PublishCommandHandler : public PublishCommands {
 public:
  // `movie`, `dialogs`, `pacing` and `queue` must outlive every job this
  // handler queues. `root_path` is the workspace root.
  PublishCommandHandler(platform::MovieControl& movie, platform::Dialogs& dialogs, Pacing& pacing,
                        JobQueue& queue, std::string root_path,
                        PublishedGalleries* published = nullptr);

  // Queues a PublishLocal run with its own copy of `request`. Runs go one at
  // a time in arrival order, so a second Publish waits for the first instead
  // of changing its arguments. REQUIRES: main thread.
  void Publish(const PublishRequest& request) override;
  // Answers with where the last run put its galleries (PublishedFoldersReply),
  // every separator a "/";
  // empty strings when nothing was published in this run of the program.
  // REQUIRES: main thread, while the request is handled.
  void PublishedFolders() override;

 private:
  platform::MovieControl& movie_;
  platform::Dialogs& dialogs_;
  Pacing& pacing_;
  JobQueue& queue_;
  const std::string root_path_;
  PublishedGalleries* const published_;
};

}  // namespace lumireel
