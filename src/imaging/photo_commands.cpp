#include "imaging/photo_commands.h"

#include "bridge/job_queue.h"
#include "imaging/import_pipeline.h"
#include "imaging/photo_import.h"

namespace lumireel {

PhotoCommandHandler::PhotoCommandHandler(platform::MovieControl& movie, platform::Dialogs& dialogs,
                                         Pacing& pacing, JobQueue& import_queue)
    : movie_(movie), dialogs_(dialogs), pacing_(pacing), import_queue_(import_queue) {}

void PhotoCommandHandler::AddPhoto(const std::array<OptionalArg, 11>& args) {
  // The job holds its own request and references to services that outlive
  // it, never to this handler.
  ImportServices services{movie_, dialogs_, pacing_, OrderedRenderer::DefaultWorkers()};
  import_queue_.Submit(
      [request = ReadImportRequest(args), services] { RunPhotoImport(request, services); });
}

}  // namespace lumireel
