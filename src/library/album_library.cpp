#include "library/album_library.h"

#include <optional>
#include <utility>

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "library/album_registry.h"
#include "library/keywords_db.h"
#include "platform/dialogs.h"

namespace lumireel {

bool HasAlbumShape(const std::string& folder) {
  const std::string photoparts = JoinPath(folder, "photoparts");
  return IsFolder(photoparts) && IsFolder(JoinPath(photoparts, "keywordsDB")) &&
         IsFolder(JoinPath(photoparts, "sounds")) && FileExists(JoinPath(photoparts, "parts.xml"));
}

AlbumLibrary::AlbumLibrary(platform::MovieControl& movie, platform::Dialogs& dialogs,
                           std::string root_path, std::string albums_path)
    : movie_(movie),
      dialogs_(dialogs),
      root_path_(std::move(root_path)),
      albums_path_(std::move(albums_path)) {}

void AlbumLibrary::ImportAlbum(const std::string& album_name) {
  const std::optional<std::string> folder =
      dialogs_.PickFolder({.title = "Select folder to Import", .initial_folder = ""});
  if (!folder) return;
  if (!HasAlbumShape(*folder)) {
    SendAlert(movie_, "errorimportalbum_h", "errorimportalbum", 0);
    return;
  }
  const AlbumPlaces places{AlbumPlacesOf(root_path_).catalogue, albums_path_};
  if (RegisterAlbum(album_name, *folder, places)) CallMovie(movie_, ReloadContentMessage());
}

void AlbumLibrary::GetKeyWords(const std::string& folder, long p, long a) {
  HandleKeywords(movie_, "", folder, p, a, KeywordMode::kGet);
}

void AlbumLibrary::AddKeyWords(const std::string& keywords, const std::string& folder, long p,
                               long a) {
  HandleKeywords(movie_, keywords, folder, p, a, KeywordMode::kAdd);
}

}  // namespace lumireel
