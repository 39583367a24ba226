#include "publish/publish_local.h"

#include <optional>
#include <utility>

#include "bridge/file_utils.h"
#include "bridge/job_queue.h"
#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "platform/dialogs.h"
#include "publish/gallery_publisher.h"
#include "publish/published_galleries.h"

namespace lumireel {
namespace {

// Stands in a gallery folder while the gallery is built and goes last, so
// that a gallery cut short (the program killed, or a build that stopped at
// a reported error) says so. Its name does not begin with "." so that the
// user sees it.
constexpr char kBuildingMarkerText[] =
    "Lumireel is building this gallery, or building it stopped before the end.\n"
    "The gallery is complete only when this file is gone: publish the album again.\n";

// Builds one gallery with `build` between the marker's arrival and its
// removal; the marker stays when the build stopped at a reported error.
// True when the gallery was finished.
template <typename Build>
bool BuildMarked(const std::string& gallery, Build build) {
  const std::string marker = JoinPath(gallery, kBuildingMarker);
  WriteTextFileUtf8(marker, kBuildingMarkerText);
  if (!build()) return false;
  return RemoveFile(marker);
}

// Makes `gallery` (below `picked`) ready to receive a gallery: created when
// missing, emptied after the user's consent when it holds anything. False
// when the gallery is to be skipped.
bool PrepareGalleryFolder(const std::string& picked, const std::string& gallery,
                          GalleryPublisher& publisher, platform::Dialogs& dialogs) {
  if (IsFolder(picked) && !IsFolder(gallery)) MakeFolder(gallery);
  if (!IsFolder(gallery)) return false;
  if (IsFolderEmpty(gallery)) return true;

  platform::MessageBoxRequest question;
  question.caption = "Question!";
  question.text = "Folder " + gallery + " is not empty. Owerwrite files?";
  question.icon = platform::MessageIcon::kQuestion;
  question.buttons = platform::MessageButtons::kOkCancel;
  if (dialogs.ShowMessageBox(question) != platform::MessageResult::kOk) return false;
  if (!RemoveFolder(gallery)) {
    publisher.ReportError("Error!", "Can't remove folder " + gallery + " ", /*error_icon=*/true);
    return false;
  }
  if (!MakeFolder(gallery)) {
    publisher.ReportError("Error!", "Can't make folder " + gallery + " ", /*error_icon=*/true);
    return false;
  }
  return true;
}

}  // namespace

void PublishLocal(const PublishJob& job, const PublishServices& services) {
  GalleryPublisher publisher(services.dialogs);
  publisher.ResetStatus();
  const PublishRequest& request = job.request;
  if (!request.cd && !request.web) return;

  const std::optional<std::string> picked =
      services.dialogs.PickFolder({.title = "Select folder to Publish", .initial_folder = ""});
  if (!picked) return;
  CallMovie(services.movie, CreateProgressBarMessage("loc_publish_lbl"));

  PublishedRun run{.album_id = request.album_id, .picked = *picked, .cd = "", .web = ""};
  if (request.cd) {
    const std::string gallery = JoinPath(*picked, "cd");
    if (PrepareGalleryFolder(*picked, gallery, publisher, services.dialogs) &&
        BuildMarked(gallery, [&] {
          return publisher.BuildCdGallery(request.album_id, request.album_prefix, job.root_path,
                                          gallery);
        })) {
      run.cd = gallery;
    }
  }
  if (request.web) {
    const std::string gallery = JoinPath(*picked, "web");
    if (PrepareGalleryFolder(*picked, gallery, publisher, services.dialogs) &&
        BuildMarked(gallery, [&] {
          return publisher.BuildWebGallery(request.album_id, request.album_prefix, job.root_path,
                                           gallery);
        })) {
      run.web = gallery;
      if (services.published != nullptr) services.published->RecordWeb(request.album_id, gallery);
    }
  }
  // Recorded before the alert, which makes the movie ask where they are.
  if (services.published != nullptr) services.published->RecordRun(std::move(run));

  services.pacing.Pause(kBeforeAlertPause);
  CallMovie(services.movie, ShowAlertMessage("loc_msg_localpubsucc_h", "loc_msg_localpubsucc", 1));
  services.pacing.Pause(kAlertShownPause);
  CallMovie(services.movie, CloseProgressBarMessage());
  services.pacing.Pause(kAfterClosePause);
}

PublishCommandHandler::PublishCommandHandler(platform::MovieControl& movie,
                                             platform::Dialogs& dialogs, Pacing& pacing,
                                             JobQueue& queue, std::string root_path,
                                             PublishedGalleries* published)
    : movie_(movie),
      dialogs_(dialogs),
      pacing_(pacing),
      queue_(queue),
      root_path_(std::move(root_path)),
      published_(published) {}

void PublishCommandHandler::PublishedFolders() {
  const std::optional<PublishedRun> run =
      published_ != nullptr ? published_->LastRun() : std::nullopt;
  const PublishedRun shown = run ? *run : PublishedRun{};
  // Shown to the user and opened as they are, so in the system's own form.
  ReplyToMovie(movie_, PublishedFoldersReply(shown.album_id, NativePath(shown.picked),
                                             NativePath(shown.cd), NativePath(shown.web)));
}

void PublishCommandHandler::Publish(const PublishRequest& request) {
  // The job holds its own copy of the request and references to services
  // that outlive it, never to this handler.
  PublishServices services{movie_, dialogs_, pacing_, published_};
  queue_.Submit([job = PublishJob{request, root_path_}, services] { PublishLocal(job, services); });
}

}  // namespace lumireel
