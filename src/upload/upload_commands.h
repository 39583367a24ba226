// The movie's upload commands: UploadGallery puts an album's web gallery on
// the album's server, TestUploadConnection only logs in there, CancelUpload
// stops the upload under way (docs/upload.md).
//
// Uploads run on the publishing queue, so an UploadGallery sent right after
// Publish starts once that gallery is finished. Each shows a progress bar
// (createProgressBar("loc_upload_lbl"), then showUploadProgress with files
// and kibibytes) and ends with closeProgressBar and one alert:
// "upload_done_h"/"upload_done" or the keys of what went wrong (see
// UploadErrorKey; also "upload_settings" for an album without usable
// settings and "upload_nogallery" when there is no finished gallery). A host
// key not known yet ends instead with askHostKey(host, fingerprint, command).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/command_handlers.h"

namespace lumireel {

class JobQueue;
class PublishedGalleries;
namespace platform {
class MovieControl;
class PasswordStore;
}

class UploadCommandHandler : public UploadCommands {
 public:
  // `movie`, `queue`, `published` and `passwords` must outlive every job
  // this handler queues. `root_path` is the workspace root (it holds the
  // catalogue). With `passwords`, a command without a password takes the one
  // kept for the server, and a password that logged in is kept.
  UploadCommandHandler(platform::MovieControl& movie, JobQueue& queue, std::string root_path,
                       PublishedGalleries& published, platform::PasswordStore* passwords = nullptr);

  // REQUIRES: main thread (all three).
  void UploadGallery(const UploadRequest& request) override;
  void TestUploadConnection(const UploadRequest& request) override;
  // Cancels every upload asked for so far, running or queued.
  void CancelUpload() override;

 private:
  void Submit(const UploadRequest& request, bool test_only);

  // Shared with the queued jobs, which may outlive the handler.
  struct Cancel {
    std::atomic<std::uint64_t> asked{0};      // uploads asked for
    std::atomic<std::uint64_t> cancelled{0};  // uploads up to this one are cancelled
  };

  platform::MovieControl& movie_;
  JobQueue& queue_;
  const std::string root_path_;
  PublishedGalleries& published_;
  platform::PasswordStore* const passwords_;
  std::shared_ptr<Cancel> cancel_ = std::make_shared<Cancel>();
};

}  // namespace lumireel
