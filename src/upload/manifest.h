// The upload manifest: what a published gallery holds, one line per file
// with its SHA-256, size and path inside the gallery. It lies in the
// gallery's own folder as `lumireel-manifest.txt`; on the server it is the
// last file an upload puts in place, so a server whose manifest matches the
// local one holds the whole gallery, and one whose upload was cut off still
// shows the manifest of the last complete upload.
//
// All functions are pure or read files; they may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumireel {

inline constexpr char kManifestName[] = "lumireel-manifest.txt";

struct ManifestEntry {
  std::uint64_t size = 0;
  std::string sha256;  // 64 lower-case hex digits
  bool operator==(const ManifestEntry&) const = default;
};

// Paths inside the gallery, with `/` between parts, in byte order.
using Manifest = std::map<std::string, ManifestEntry>;

// True for a path the program will name on a server: relative, parts
// separated by single `/`, no part empty, "." or "..", no control
// characters or `\`. Manifests from a server are checked with it, so a
// hostile one never makes an upload touch a file outside its folder.
[[nodiscard]] bool IsGalleryPath(std::string_view path);

// The hex SHA-256 of the file at `path`; nullopt when it cannot be read.
[[nodiscard]] std::optional<std::string> Sha256OfFile(const std::string& path);
[[nodiscard]] std::string Sha256OfText(std::string_view text);

// Every regular file below `folder` except the manifest itself and names
// beginning with "." (temporary files); symbolic links are not followed.
// nullopt with `error` set (the path) when a file cannot be read or a name
// is not a gallery path.
[[nodiscard]] std::optional<Manifest> ScanGallery(const std::string& folder, std::string* error);

// The manifest text: "lumireel-manifest 1", then "SHA SIZE PATH" per line.
[[nodiscard]] std::string ManifestText(const Manifest& manifest);
// The manifest of a text written by ManifestText; nullopt for anything else
// (a wrong first line, a malformed entry, a path that IsGalleryPath refuses).
[[nodiscard]] std::optional<Manifest> ParseManifest(std::string_view text);

// What a cut-off upload leaves beside the gallery: the server it went to,
// then one line per change already in place there, "+ SHA SIZE PATH" for a
// file put in place and "- PATH" for a file removed, and "~ PATH" for each
// temporary file a send began.
class UploadJournal {
 public:
  // The journal of `gallery` (a folder) for the server named by `target`:
  // `<gallery>.lumireel-upload` beside the gallery's folder.
  UploadJournal(const std::string& gallery, std::string target);

  // `remote` (the server's manifest) with the changes of a journal of the
  // same target applied; a journal of another target, or none, adds nothing.
  [[nodiscard]] Manifest Apply(Manifest remote) const;
  // Starts a journal when none of this target is there, then records one
  // change, flushed to disk before it returns. False when it cannot be
  // written (the upload goes on; a later run then only sends more).
  bool RecordPut(const std::string& path, const ManifestEntry& entry);
  bool RecordRemove(const std::string& path);
  bool RecordTemporary(const std::string& path);
  // The temporary files of this target's journal, for removal at the end.
  [[nodiscard]] std::vector<std::string> Temporaries() const;
  // Removes the journal once the server's manifest holds its changes.
  void Clear();

 private:
  bool Append(const std::string& line);

  std::string path_;
  std::string target_;
};

}  // namespace lumireel
