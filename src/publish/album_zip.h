// "Download all": the big images of a published album as one ZIP archive in
// the gallery, made with libzip when the album is published.
//
// The archive holds every regular file `photoparts/<part>/big/<file>` of the
// gallery whose part folder is a decimal number and whose name does not begin
// with "." (never through a symbolic link), as the entry `<part>/<file>`, in
// path order. JPEG files do not shrink under deflate, so entries are stored
// as they are; that also keeps publishing a large album quick.
//
// Callers on any thread; each call owns the archive it writes.
#pragma once

#include <string>
#include <vector>

namespace lumireel {

// The archive's path in the gallery, as the player's link names it.
inline constexpr char kAlbumZipFile[] = "album.zip";

struct ZipEntry {
  std::string name;    // the entry's name in the archive, parts separated by "/"
  std::string source;  // the file whose bytes it holds
  bool operator==(const ZipEntry&) const = default;
};

// The big images of the gallery folder `gallery`, as described above.
[[nodiscard]] std::vector<ZipEntry> BigImageEntries(const std::string& gallery);

// Writes `entries` as a ZIP archive to `target`, replacing a file there.
// libzip writes the archive under a temporary name beside `target` and
// renames it into place, so a reader never sees a part of one. True when the
// archive is complete; false (and nothing left at `target` that was not
// there before) when a source cannot be read or the archive cannot be
// written.
bool WriteZipArchive(const std::string& target, const std::vector<ZipEntry>& entries);

// BigImageEntries(gallery) written to `<gallery>\album.zip`. False when the
// album has no big image (no archive is written then) or writing failed.
bool WriteAlbumZip(const std::string& gallery);

}  // namespace lumireel
