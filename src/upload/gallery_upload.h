// Uploading a published web gallery to its server folder, incrementally:
//  1. the gallery's manifest is made and kept in the gallery folder;
//  2. the server's manifest (of its last complete upload), with the changes
//     a cut-off upload recorded in its journal, tells what the server holds;
//  3. new and changed files are sent, each to a temporary name beginning
//     with "." that is renamed into place once the file is whole; a file
//     cut off earlier is continued from where it stopped;
//  4. files of the last upload that the gallery no longer holds are deleted,
//     and the folders they leave empty;
//  5. the manifest goes last, so a server whose upload was cut off never
//     looks complete, and its gallery stays whole at every step: each file
//     there is either the old one or the new one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "upload/remote_folder.h"

namespace lumireel {

struct UploadProgress {
  std::size_t files_done = 0;
  std::size_t files_total = 0;
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
};

struct UploadOutcome {
  RemoteResult result;
  std::string fingerprint;  // SFTP: the host key the server showed
  std::size_t sent = 0;     // files put in place, the manifest included
  std::size_t removed = 0;  // files deleted on the server
};

// Uploads the gallery in the local folder `gallery` with `options` (whose
// on_progress is replaced). `progress` is called on the calling thread as
// the upload goes on; returning false cancels it (kCancelled). The server
// is left usable after any failure, and a later call goes on from there.
// REQUIRES: a worker thread (it blocks on the network).
[[nodiscard]] UploadOutcome UploadGallery(const std::string& gallery, RemoteFolderOptions options,
                                          const std::function<bool(const UploadProgress&)>& progress);

// Logs in to the server with `options`, for the movie's "Test connection".
[[nodiscard]] UploadOutcome TestConnection(RemoteFolderOptions options);

}  // namespace lumireel
