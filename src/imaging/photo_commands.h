// The photo commands of the movie: AddPhoto (photo import) and the editor's
// image jobs. Each command takes its own copy of its arguments when it
// arrives and queues a job; the handler returns at once.
#pragma once

#include <array>
#include <string>

#include "bridge/command_handlers.h"

namespace lumireel {

class JobQueue;
class Pacing;
namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

class PhotoCommandHandler : public PhotoCommands {
 public:
  // `movie`, `dialogs`, `pacing` and `import_queue` must outlive every job
  // this handler queues (they live as long as the process's main function).
  PhotoCommandHandler(platform::MovieControl& movie, platform::Dialogs& dialogs, Pacing& pacing,
                      JobQueue& import_queue);

  // Queues a photo import (see RunPhotoImport). Imports run one at a time,
  // in arrival order. REQUIRES: main thread.
  void AddPhoto(const std::array<OptionalArg, 11>& args) override;

  // The editor's image jobs: not handled yet, so they do nothing.
  void SaveIMG(const std::array<std::string, 7>&) override {}
  void SavePreview(const std::array<std::string, 5>&) override {}
  void ApplyAdjustForFolder(const std::array<std::string, 2>&) override {}
  void SaveIMG_last(const std::array<OptionalArg, 3>&) override {}

 private:
  platform::MovieControl& movie_;
  platform::Dialogs& dialogs_;
  Pacing& pacing_;
  JobQueue& import_queue_;
};

}  // namespace lumireel
