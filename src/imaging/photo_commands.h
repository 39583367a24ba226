// The photo commands of the movie: AddPhoto (photo import) and the editor's
// image jobs. Each command takes its own copy of its arguments when it
// arrives and queues a job; the handler returns at once.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "bridge/command_handlers.h"
#include "imaging/image_jobs.h"
#include "imaging/photo_import.h"

namespace lumireel {

class JobQueue;
class Pacing;
namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

class PhotoCommandHandler : public PhotoCommands {
 public:
  // `movie`, `dialogs`, `pacing`, `import_queue` and `edit_queue` must
  // outlive every job this handler queues (they live as long as the
  // process's main function). `root` is the workspace root.
  PhotoCommandHandler(platform::MovieControl& movie, platform::Dialogs& dialogs, Pacing& pacing,
                      JobQueue& import_queue, JobQueue& edit_queue, std::string root);

  // Queues a photo import (see RunPhotoImport). Imports run one at a time,
  // in arrival order. REQUIRES: main thread.
  void AddPhoto(const std::array<OptionalArg, 11>& args) override;
  // CancelAddPhoto: every import that arrived before it, queued or running,
  // stops before its next photo; the photos it imported stay, and it ends
  // as an import does (the last progress, reloadContent). REQUIRES: main
  // thread.
  void CancelAddPhoto() override;

  // The editor's commands each queue one image job (see RunImageJob) on the
  // edit queue; jobs run one at a time, in arrival order, each with the
  // arguments of its own command. REQUIRES: main thread.
  //
  // SaveIMG: edits image arg 0 in place with the adjustment document arg 2
  // and regenerates the preview of photo arg 6 in the photo folder
  // root\MyAlbums\<arg 3>\photoparts\<arg 4>\<arg 5> (arg 1 is kept but
  // not used).
  void SaveIMG(const std::array<std::string, 7>& args) override;
  // SavePreview: renders image arg 0 with the document arg 4 into the
  // preview file arg 1 and records its size for photo arg 3 in the photo
  // list arg 2.
  void SavePreview(const std::array<std::string, 5>& args) override;
  // ApplyAdjustForFolder: applies the document arg 1 to every photo of the
  // photo folder arg 0 (ending with a separator).
  void ApplyAdjustForFolder(const std::array<std::string, 2>& args) override;
  // SaveIMG_last: repeats the kind of job of the last editing command that
  // arrived before it (its modes, photo folder or list, and photo id) with
  // new first, second and third values (a missing argument counts as
  // empty). Does nothing before any other editing command.
  void SaveIMG_last(const std::array<OptionalArg, 3>& args) override;

  // The commands that render from a photo's kept original (see
  // original_renders.h), queued on the edit queue like the editor's jobs:
  // SaveEdit (photo folder, id, the whole adjustment document), RevertPhoto
  // (photo folder, id) and RenderAlbum (album folder). CancelRenderAlbum
  // stops every RenderAlbum that arrived before it, queued or running,
  // before its next photo. REQUIRES: main thread.
  void SaveEdit(const std::string& folder, const std::string& id,
                const std::string& document) override;
  void RevertPhoto(const std::string& folder, const std::string& id) override;
  void RenderAlbum(const std::string& album_folder) override;
  void CancelRenderAlbum() override;

 private:
  void QueueImageJob(const ImageJob& job);

  platform::MovieControl& movie_;
  platform::Dialogs& dialogs_;
  Pacing& pacing_;
  JobQueue& import_queue_;
  JobQueue& edit_queue_;
  const std::string root_;
  // The photos imports hold for the import queued behind them; shared with
  // the import jobs, which may outlive the handler.
  std::shared_ptr<HeldPhotos> held_photos_ = std::make_shared<HeldPhotos>();
  // The job of the last editing command, for SaveIMG_last. Main thread only.
  std::optional<ImageJob> last_image_job_;
  // RenderAlbum and AddPhoto jobs are numbered; a cancel stops those of
  // its kind up to the number last given out. Shared with the jobs, hence
  // atomics behind a pointer that the jobs keep alive.
  struct JobCounters {
    std::atomic<unsigned long> issued{0};
    std::atomic<unsigned long> cancelled{0};
  };
  std::shared_ptr<JobCounters> render_counters_ = std::make_shared<JobCounters>();
  std::shared_ptr<JobCounters> import_counters_ = std::make_shared<JobCounters>();
};

}  // namespace lumireel
