#include "imaging/photo_commands.h"

#include "bridge/job_queue.h"
#include "imaging/import_pipeline.h"
#include "imaging/original_renders.h"
#include "imaging/photo_import.h"
#include "platform/dialogs.h"

namespace lumireel {

PhotoCommandHandler::PhotoCommandHandler(platform::MovieControl& movie, platform::Dialogs& dialogs,
                                         Pacing& pacing, JobQueue& import_queue,
                                         JobQueue& edit_queue, std::string root)
    : movie_(movie),
      dialogs_(dialogs),
      pacing_(pacing),
      import_queue_(import_queue),
      edit_queue_(edit_queue),
      root_(std::move(root)) {}

void PhotoCommandHandler::AddPhoto(const std::array<OptionalArg, 11>& args) {
  // The job holds its own request and references to services that outlive
  // it, never to this handler.
  const unsigned long number = ++import_counters_->issued;
  ImportRequest request = ReadImportRequest(args);
  std::string folder = request.folder;
  import_queue_.Submit(
      [request = std::move(request), movie = &movie_, dialogs = &dialogs_, pacing = &pacing_,
       queue = &import_queue_, counters = import_counters_, held = held_photos_, number] {
        const ImportServices services{
            *movie,
            *dialogs,
            *pacing,
            OrderedRenderer::DefaultWorkers(),
            [&] { return counters->cancelled.load() >= number; },
            held,
            [&](const std::string& into) {
              return queue->NextIs(into) && dialogs->AnswerWaiting();
            }};
        RunPhotoImport(request, services);
      },
      std::move(folder));
}

void PhotoCommandHandler::CancelAddPhoto() {
  import_counters_->cancelled.store(import_counters_->issued.load());
}

void PhotoCommandHandler::SaveIMG(const std::array<std::string, 7>& args) {
  ImageJob job;
  job.first = args[0];
  job.second = args[1];
  job.third = args[2];
  job.folder = root_ + "\\MyAlbums\\" + args[3] + "\\photoparts\\" + args[4] + "\\" + args[5];
  job.photo_id = args[6];
  QueueImageJob(job);
}

void PhotoCommandHandler::SavePreview(const std::array<std::string, 5>& args) {
  ImageJob job;
  job.first = args[0];
  job.second = args[1];
  job.third = args[4];
  job.folder = args[2];
  job.photo_id = args[3];
  job.preview_mode = true;
  QueueImageJob(job);
}

void PhotoCommandHandler::ApplyAdjustForFolder(const std::array<std::string, 2>& args) {
  ImageJob job;
  job.first = args[0];
  job.second = args[1];
  job.folder_mode = true;
  QueueImageJob(job);
}

void PhotoCommandHandler::SaveIMG_last(const std::array<OptionalArg, 3>& args) {
  if (!last_image_job_) return;  // nothing to repeat
  ImageJob job = *last_image_job_;
  job.first = args[0].value_or(std::string());
  job.second = args[1].value_or(std::string());
  job.third = args[2].value_or(std::string());
  QueueImageJob(job);
}

void PhotoCommandHandler::SaveEdit(const std::string& folder, const std::string& id,
                                   const std::string& document) {
  OriginalJobServices services{movie_, dialogs_, pacing_};
  edit_queue_.Submit([root = root_, folder, id, document, services] {
    RunSaveEdit(root, folder, id, document, services);
  });
}

void PhotoCommandHandler::RevertPhoto(const std::string& folder, const std::string& id) {
  OriginalJobServices services{movie_, dialogs_, pacing_};
  edit_queue_.Submit(
      [root = root_, folder, id, services] { RunRevertPhoto(root, folder, id, services); });
}

void PhotoCommandHandler::RenderAlbum(const std::string& album_folder) {
  OriginalJobServices services{movie_, dialogs_, pacing_};
  const unsigned long number = ++render_counters_->issued;
  edit_queue_.Submit([root = root_, album_folder, services, counters = render_counters_, number] {
    RunRenderAlbum(
        root, album_folder, [&] { return counters->cancelled.load() >= number; }, services);
  });
}

void PhotoCommandHandler::CancelRenderAlbum() {
  render_counters_->cancelled.store(render_counters_->issued.load());
}

void PhotoCommandHandler::QueueImageJob(const ImageJob& job) {
  ImageJob queued = job;
  queued.root = root_;
  last_image_job_ = queued;
  // A folder job edits with one worker more than there are processors: while
  // one worker waits for its files or hands a photo to the library, another
  // is ready to go on. Its photos are big images, small enough for that.
  ImageJobServices services{movie_, dialogs_, pacing_, OrderedRenderer::DefaultWorkers() + 1};
  edit_queue_.Submit([queued, services] { RunImageJob(queued, services); });
}

}  // namespace lumireel
