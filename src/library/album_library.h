// AlbumLibrary: the library's commands as the dispatcher hands them over:
// album import (importAlbum) and the keywords of photos (GetKeyWords,
// AddKeyWords).
#pragma once

#include <string>

#include "bridge/command_handlers.h"

namespace lumireel {

namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

class AlbumLibrary : public LibraryCommands {
 public:
  // `movie` and `dialogs` must outlive the library. `root_path` is the
  // workspace root and `albums_path` its albums folder.
  AlbumLibrary(platform::MovieControl& movie, platform::Dialogs& dialogs, std::string root_path,
               std::string albums_path);

  // Asks for a folder ("Select folder to Import"); a cancelled picker does
  // nothing. A folder without the shape of an album (photoparts,
  // photoparts\keywordsDB, photoparts\sounds, photoparts\parts.xml, tested
  // in that order) gets the errorimportalbum alert and nothing is created.
  // Otherwise the folder is registered as a new album named `album_name`
  // (see RegisterAlbum) and the movie is asked to reloadContent; when the
  // album could not be registered nothing is sent.
  // REQUIRES: main thread (the picker is modal).
  void ImportAlbum(const std::string& album_name) override;

  // HandleKeywords in its get and add modes. `keywords` is the inner text
  // the movie sent. REQUIRES: main thread.
  void GetKeyWords(const std::string& folder, long p, long a) override;
  void AddKeyWords(const std::string& keywords, const std::string& folder, long p, long a) override;

 private:
  platform::MovieControl& movie_;
  platform::Dialogs& dialogs_;
  const std::string root_path_;
  const std::string albums_path_;
};

// True when `folder` has the shape of an album folder.
[[nodiscard]] bool HasAlbumShape(const std::string& folder);

}  // namespace lumireel
