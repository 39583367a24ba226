#include "upload/upload_commands.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "bridge/file_utils.h"
#include "bridge/job_queue.h"
#include "bridge/movie_messages.h"
#include "publish/publish_local.h"
#include "platform/password_store.h"
#include "publish/published_galleries.h"
#include "upload/gallery_upload.h"

namespace lumireel {
namespace {

// Progress reaches the movie at each finished file and otherwise at most
// this often.
constexpr std::chrono::milliseconds kProgressInterval{200};

struct UploadJob {
  UploadRequest request;
  std::string root_path;
  bool test_only = false;
};

int Kib(std::uint64_t bytes) { return static_cast<int>(std::min<std::uint64_t>(bytes >> 10, 1u << 30)); }

// The alerts of an upload come in pairs: "KEY_h" for the title, "KEY" for
// the message (see docs/upload.md).
void Alert(platform::MovieControl& movie, const std::string& key) {
  const std::string title_key = key + "_h";
  CallMovie(movie, ShowAlertMessage(title_key, key, 1));
}

// The album's settings, or the alert key that says why there are none.
std::optional<UploadSettings> SettingsOf(const UploadJob& job, std::string& alert) {
  const std::string catalogue =
      JoinPath(JoinPath(job.root_path, "quillmaralbumsettings"), "quillmaralbums.xml");
  const std::optional<std::string> text = ReadTextFileUtf8(catalogue);
  UploadSettings settings;
  if (!text || ReadUploadSettings(*text, job.request.album_id, settings) !=
                   UploadSettingsStatus::kRead) {
    alert = "upload_settings";
    return std::nullopt;
  }
  return settings;
}

// The finished web gallery the job names, or the one last published.
std::optional<std::string> GalleryOf(const UploadJob& job, const PublishedGalleries& published) {
  std::optional<std::string> gallery = job.request.gallery;
  if (gallery->empty()) gallery = published.Web(job.request.album_id);
  if (!gallery || !IsFolder(*gallery) || FileExists(JoinPath(*gallery, kBuildingMarker)) ||
      !FileExists(JoinPath(*gallery, "index.html"))) {
    return std::nullopt;
  }
  return gallery;
}

// What a job talks to; all outlive it.
struct UploadServices {
  platform::MovieControl& movie;
  const PublishedGalleries& published;
  platform::PasswordStore* passwords;
};

platform::SecretServer SecretServerOf(const UploadSettings& settings) {
  return {std::string(ProtocolName(settings.protocol)), settings.host, settings.port,
          settings.user};
}

void RunUpload(const UploadJob& job, const UploadServices& services,
               const std::function<bool()>& cancelled) {
  platform::MovieControl& movie = services.movie;
  const PublishedGalleries& published = services.published;
  std::string alert;
  const std::optional<UploadSettings> settings = SettingsOf(job, alert);
  const std::optional<std::string> gallery =
      job.test_only ? std::optional<std::string>("") : GalleryOf(job, published);
  if (settings && !gallery) alert = "upload_nogallery";
  if (!alert.empty()) {
    Alert(movie, alert);
    return;
  }
  RemoteFolderOptions options;
  options.settings = *settings;
  options.password = job.request.password;
  if (options.password.empty() && services.passwords != nullptr) {
    options.password = services.passwords->Lookup(SecretServerOf(*settings)).value_or("");
  }
  options.accepted_fingerprint = job.request.accepted_key;
  options.known_hosts = UserKnownHostsFile();
  options.key_folder = UserKeyFolder();
  if (const char* ca = std::getenv("LUMIREEL_UPLOAD_CA_FILE")) options.ca_file = ca;

  CallMovie(movie, CreateProgressBarMessage(job.test_only ? "loc_upload_test_lbl" : "loc_upload_lbl"));
  UploadOutcome outcome;
  if (job.test_only) {
    options.on_progress = [&](std::uint64_t) { return !cancelled(); };
    outcome = TestConnection(std::move(options));
  } else {
    auto last = std::chrono::steady_clock::now() - kProgressInterval;
    std::size_t last_files = static_cast<std::size_t>(-1);
    outcome = UploadGallery(*gallery, std::move(options), [&](const UploadProgress& progress) {
      const auto now = std::chrono::steady_clock::now();
      // Nothing to show while the server's manifest is being read.
      if (progress.files_total > 0 &&
          (progress.files_done != last_files || now - last >= kProgressInterval)) {
        last = now;
        last_files = progress.files_done;
        CallMovie(movie, ShowUploadProgressMessage(
                             static_cast<int>(progress.files_done),
                             static_cast<int>(progress.files_total), Kib(progress.bytes_done),
                             Kib(progress.bytes_total)));
      }
      return !cancelled();
    });
  }
  CallMovie(movie, CloseProgressBarMessage());

  const RemoteResult& result = outcome.result;
  // A password typed in that got past the login is kept for next time.
  const bool logged_in = result.ok() || result.error == UploadError::kRefused ||
                         result.error == UploadError::kCancelled;
  if (logged_in && !job.request.password.empty() && services.passwords != nullptr) {
    services.passwords->Store(SecretServerOf(*settings), job.request.password);
  }
  if (!result.ok() && result.error != UploadError::kCancelled) {
    // The reason in libcurl's words, for whoever reads the program's errors;
    // the password is never part of it.
    std::fprintf(stderr, "lumireel: upload to %s: %s\n", TargetName(*settings).c_str(),
                 result.detail.c_str());
  }
  if (result.error == UploadError::kHostKeyUnknown) {
    CallMovie(movie, AskHostKeyMessage(settings->host + ":" + std::to_string(settings->port),
                                       outcome.fingerprint,
                                       job.test_only ? "TestUploadConnection" : "UploadGallery"));
  } else if (result.ok() && job.test_only) {
    Alert(movie, "upload_test_ok");
  } else {
    Alert(movie, UploadErrorKey(result.error));
  }
}

}  // namespace

UploadCommandHandler::UploadCommandHandler(platform::MovieControl& movie, JobQueue& queue,
                                           std::string root_path, PublishedGalleries& published,
                                           platform::PasswordStore* passwords)
    : movie_(movie),
      queue_(queue),
      root_path_(std::move(root_path)),
      published_(published),
      passwords_(passwords) {}

void UploadCommandHandler::Submit(const UploadRequest& request, bool test_only) {
  const std::uint64_t number = ++cancel_->asked;
  // The job holds its own copy of the request and references to services
  // that outlive it, never to this handler.
  queue_.Submit([job = UploadJob{request, root_path_, test_only},
                 services = UploadServices{movie_, published_, passwords_}, cancel = cancel_,
                 number] {
    RunUpload(job, services, [&] { return cancel->cancelled.load() >= number; });
  });
}

void UploadCommandHandler::UploadGallery(const UploadRequest& request) { Submit(request, false); }

void UploadCommandHandler::TestUploadConnection(const UploadRequest& request) {
  Submit(request, true);
}

void UploadCommandHandler::CancelUpload() { cancel_->cancelled.store(cancel_->asked.load()); }

}  // namespace lumireel
