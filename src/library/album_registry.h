// The album registry: the catalogue of all albums and the numbered album
// folders.
//
// The catalogue `<root>\quillmaralbumsettings\quillmaralbums.xml` has the
// root element `albums` (its attributes are kept as they are) and one
// `album` element per album, in creation order, with an `id` attribute and
// the children name, pwidth, pheight, bwidth, bheight, skeen, lang, color,
// logo and ftp. The album with id N lives in `<root>\MyAlbums\N`, which
// holds `photoparts`, `logo` and `synchronization`. The movie reads and
// edits the catalogue itself; the program adds an entry when an album is
// imported.
//
// Every function may be called from any thread; the catalogue is read and
// rewritten under its LockFilePath.
#pragma once

#include <string>
#include <string_view>

#include "xml/element_tree.h"

namespace lumireel {

// Where the registry keeps its files.
struct AlbumPlaces {
  std::string catalogue;  // the catalogue file
  std::string albums;     // the folder holding the album folders
};

// The catalogue and albums folder of the workspace `root_path`.
[[nodiscard]] AlbumPlaces AlbumPlacesOf(const std::string& root_path);

// Parses a catalogue text (backslashes in names are ordinary characters).
// True when it parsed and its first top-level element is `albums`. `whole`
// as for ParseStoredXml.
[[nodiscard]] bool ParseCatalogue(std::string_view text, CXmlDocument& document,
                                  bool* whole = nullptr);

// The id a new album gets: one more than the largest `id` attribute of any
// child of `albums` (read as a decimal number; missing or empty counts 0).
// 0 when no further id fits in an int.
[[nodiscard]] int NextAlbumId(const CXmlNode& albums);

// Adds the album `album_name` to the catalogue and makes its folder:
// `<albums>\<id>` with `logo`, `synchronization` and a copy of
// `<source_folder>\photoparts`. When `source_folder` is the new album's
// folder itself nothing is created or copied. The name is stored so that it
// reads back exactly as given (entity-encoded; characters XML cannot hold
// become U+FFFD).
//
// Returns true when the catalogue lists the new album. Returns false, with
// the catalogue unchanged and no folder left behind, when the catalogue
// cannot be read or parsed or has no `albums` root, when the album folder
// can be neither created nor found, or when the catalogue cannot be
// written. A copy of `photoparts` that fails (for instance because the
// album folder already held one) is not a failure; the copy appears whole
// or not at all, even when the process is killed while copying.
[[nodiscard]] bool RegisterAlbum(const std::string& album_name, const std::string& source_folder,
                                 const AlbumPlaces& places);
// The same for the workspace `root_path`.
[[nodiscard]] bool RegisterAlbum(const std::string& album_name, const std::string& source_folder,
                                 const std::string& root_path);

}  // namespace lumireel
