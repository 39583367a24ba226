// The facts file of one photo folder: `<part folder>/photoinfo.xml`, beside
// photos.xml, one `photo` element per imported photo whose attributes are
// its facts, in this order and each only when known:
//   <?xml version="1.0" encoding="utf-8" ?><photos><photo id="ID"
//   original="NAME" taken="YYYY-MM-DDTHH:MM:SS" camera="MAKE MODEL"
//   width="W" height="H" bytes="N" sha256="HEX" caption="TEXT"
//   duplicate_of="ID" /></photos>
// (written on one line). photos.xml is left exactly as it is; the facts
// file is rewritten atomically under the photo list's lock.
//
// The originals themselves are kept in `<part folder>/originals/<id>.<ext>`
// and the editor's kept adjustment documents in `<part folder>/edits/<id>.xml`.
//
// Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumireel {

// Everything recorded for one imported photo. Empty texts and zero numbers
// are facts left out.
struct PhotoFacts {
  std::string original;  // the picked file's name
  std::string taken;     // DateTimeOriginal, else the file's modification time
  std::string camera;
  std::uint32_t width = 0;  // as shown upright
  std::uint32_t height = 0;
  std::uint64_t bytes = 0;
  std::string sha256;  // lower-case hexadecimal; empty when the file was not kept
  std::string caption;
  std::string duplicate_of;  // set by RecordPhotoFacts
};

// True when `id` is a photo id as the program writes them: one to ten
// decimal digits.
[[nodiscard]] bool IsPhotoId(const std::string& id);

// The path of the facts file of `part_folder`.
[[nodiscard]] std::string PhotoInfoPath(const std::string& part_folder);

// The `photo` element of one photo, attribute values entity-encoded.
[[nodiscard]] std::string PhotoInfoEntry(int id, const PhotoFacts& facts);

// Adds the facts of newly imported photos (in order) to the facts file of
// `part_folder`, replacing entries of the same ids (a photo that was
// removed and whose id was given again). A photo whose digest is that of a
// photo of the folder that still has its original gets duplicate_of that
// photo's id. A missing file starts empty. False, with the file left as it
// was, when the file is there but does not parse or cannot be written.
// REQUIRES: the caller holds LockFilePath of the folder's photos.xml.
bool RecordPhotoFacts(const std::string& part_folder,
                      const std::vector<std::pair<int, PhotoFacts>>& photos);

// The original kept for photo `id` of `part_folder` (the file of
// `originals` named `id` or `id`.<ext>), as a native path; nullopt when
// there is none.
[[nodiscard]] std::optional<std::string> FindOriginal(const std::string& part_folder,
                                                      const std::string& id);

// The path of the kept adjustment document of photo `id`.
[[nodiscard]] std::string KeptEditsPath(const std::string& part_folder, const std::string& id);

// The folders of photo folders that a copy of an album's photoparts leaves
// out, for the workspace whose settings folder (the catalogue's folder) is
// `settings_folder`: `originals`, unless the movie's settings file
// lumireel-movie.xml there has originals="1" on its root ("include
// originals"); for a gallery also `edits`, which only the program uses.
[[nodiscard]] std::vector<std::string> FoldersLeftOut(const std::string& settings_folder,
                                                      bool gallery);

}  // namespace lumireel
