// The dispatcher of the movie's requests: it reads each request, compares
// the command name with a fixed list in a fixed order, takes the arguments
// the command uses and performs it or hands it to the handler that owns it.
// Unknown names are ignored. Only ReadFile answers the request.
#pragma once

#include <string>

#include "bridge/command_handlers.h"

namespace lumireel {

class FileCommands;
class InvokeRequest;

namespace platform {
class Dialogs;
}

class CommandDispatcher {
 public:
  CommandDispatcher(platform::Dialogs& dialogs, FileCommands& files);

  void SetWindowCommands(WindowCommands* handler) { window_ = handler; }
  void SetLibraryCommands(LibraryCommands* handler) { library_ = handler; }
  void SetPhotoCommands(PhotoCommands* handler) { photos_ = handler; }
  void SetPublishCommands(PublishCommands* handler) { publish_ = handler; }
  void SetUploadCommands(UploadCommands* handler) { upload_ = handler; }

  // Handles one request from the movie.
  // REQUIRES: main thread.
  void OnFlashCall(const std::string& request);

  // The movie's build version as last sent with setFlashBuildVersion.
  const std::string& flash_build_version() const { return flash_build_version_; }

 private:
  // Commands read through the element tree; true when the name matched.
  bool DispatchPositional(const InvokeRequest& request);
  // Commands read through the strict reader.
  void DispatchStringOnly(const InvokeRequest& request);

  platform::Dialogs& dialogs_;
  FileCommands& files_;
  WindowCommands* window_ = nullptr;
  LibraryCommands* library_ = nullptr;
  PhotoCommands* photos_ = nullptr;
  PublishCommands* publish_ = nullptr;
  UploadCommands* upload_ = nullptr;
  std::string flash_build_version_;
};

}  // namespace lumireel
