// The handlers the dispatcher hands commands to. Each group is filled by the
// part of the program that owns it; a group that is not installed makes its
// commands do nothing.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace lumireel {

// Commands the main window performs itself.
class WindowCommands {
 public:
  virtual ~WindowCommands() = default;
  virtual void FullSkreenWindow() = 0;
  virtual void LastSizeWindow() = 0;
  virtual void StartResizeWindow() = 0;
  virtual void StopResizeWindow() = 0;
  virtual void StartDragWindow() = 0;
  virtual void StopDragWindow() = 0;
  virtual void CloseWindow() = 0;
  virtual void HideWindow() = 0;
  // Opens a folder in the file manager, or a page in the browser, through
  // the desktop; anything else is refused.
  virtual void OpenLocation(const std::string& path) = 0;
};

// Album import and keywords.
class LibraryCommands {
 public:
  virtual ~LibraryCommands() = default;
  virtual void ImportAlbum(const std::string& album_name) = 0;
  virtual void GetKeyWords(const std::string& folder, long p, long a) = 0;
  virtual void AddKeyWords(const std::string& keywords, const std::string& folder, long p,
                           long a) = 0;
};

// A string-only argument: null when the request did not carry it.
using OptionalArg = std::optional<std::string>;

// Photo import and the editor's image jobs. Each call takes its own copies of
// the arguments; the handler queues the job and returns at once.
class PhotoCommands {
 public:
  virtual ~PhotoCommands() = default;
  virtual void AddPhoto(const std::array<OptionalArg, 11>& args) = 0;
  // Stops the imports asked for before it, before their next photo.
  virtual void CancelAddPhoto() = 0;
  virtual void SaveIMG(const std::array<std::string, 7>& args) = 0;
  virtual void SavePreview(const std::array<std::string, 5>& args) = 0;
  virtual void ApplyAdjustForFolder(const std::array<std::string, 2>& args) = 0;
  virtual void SaveIMG_last(const std::array<OptionalArg, 3>& args) = 0;
  // Edits rendered from the photo's kept original: a save of the editor's
  // whole document, a revert, and an album rendered again at its sizes.
  virtual void SaveEdit(const std::string& folder, const std::string& id,
                        const std::string& document) = 0;
  virtual void RevertPhoto(const std::string& folder, const std::string& id) = 0;
  virtual void RenderAlbum(const std::string& album_folder) = 0;
  virtual void CancelRenderAlbum() = 0;
};

// What the Publish command asks for.
struct PublishRequest {
  bool cd = false;
  bool web = false;
  std::string album_id;
  std::string album_prefix;  // the path in front of the album id
};

class PublishCommands {
 public:
  virtual ~PublishCommands() = default;
  virtual void Publish(const PublishRequest& request) = 0;
  // Answers the request with the folders of the last run.
  virtual void PublishedFolders() = 0;
};

// What UploadGallery and TestUploadConnection ask for (docs/upload.md).
struct UploadRequest {
  std::string album_id;
  std::string gallery;       // the local web gallery; empty: the one last published
  std::string password;      // never stored or logged
  std::string accepted_key;  // the host key fingerprint the user accepted, or empty
};

class UploadCommands {
 public:
  virtual ~UploadCommands() = default;
  virtual void UploadGallery(const UploadRequest& request) = 0;
  virtual void TestUploadConnection(const UploadRequest& request) = 0;
  virtual void CancelUpload() = 0;
};

}  // namespace lumireel
