// The photo list of one photo folder: `<part folder>/photos.xml`, root
// element `album`, one `photo` element per photo in the order the photos
// were added, each with the children `id`, `name`, `file`, `w` and `h`.
// The movie shows the list; photo import appends to it and numbers new
// photos above the highest id in it.
//
// Every function may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "library/stored_xml.h"
#include "xml/element_tree.h"

namespace lumireel {

// The text of a new, empty photo list.
inline constexpr char kEmptyPhotoList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album></album>\r\n";

// The path of the photo list of `part_folder`: the folder followed by
// "/photos.xml".
[[nodiscard]] std::string PhotoListPath(const std::string& part_folder);

// Appends to `album` (the `album` element of a loaded list) a `photo`
// element with the children id, name (empty), file (`file_base` + ".jpg"),
// w and h, in that order. Does nothing when `album` is null. Only the tree
// changes; the caller writes the file.
void AppendPhotoEntry(CXmlNode* album, int id, const std::string& file_base, int width, int height);

// The largest `id` among the `photo` elements of the list of `part_folder`
// (element names compared without regard to case; a photo without an id or
// with an empty one counts 0). 0 when the list has no photo, and also when
// it is missing or cannot be parsed. A text of the list already read is not
// parsed again (KnownListText). Takes no lock: a caller that numbers
// new photos holds LockFilePath(PhotoListPath(part_folder)) across this
// query and its rewrite of the list.
[[nodiscard]] int GetHighestPhotoId(const std::string& part_folder);

// The entry AppendPhotoEntry appends, as the text ToXml writes for it.
[[nodiscard]] std::string PhotoEntryText(int id, const std::string& file_base, int width,
                                         int height);

// What is known of one text of a photo list without parsing it again: facts
// worked out from that very text, or written into it by this program. Kept
// in memory per list path under the text's stamp, so a list changed in any
// way is parsed afresh.
struct KnownList {
  // The text is as CXmlDocument::ToXml wrote it (after ParseStoredXmlForAppend
  // it writes it again unchanged), so entries may be added to it as text.
  bool written = false;
  std::optional<int> highest_id;                     // as GetHighestPhotoId gives it
  std::optional<std::pair<long, long>> preview_box;  // as ReadPreviewBox gives it
};
// What is known of `text` as the text of the list at `list_path`.
[[nodiscard]] std::optional<KnownList> KnownListText(const std::string& list_path,
                                                     std::string_view text);
// Records what is known of `text` as the list's text now, together with
// what was known of that same text before.
void KnowListText(const std::string& list_path, std::string_view text, const KnownList& known);

// Appends one photo entry (as AppendPhotoEntry) to the list of
// `part_folder` and replaces the file atomically, all under the list's
// LockFilePath. A missing list starts from kEmptyPhotoList. Returns false,
// leaving the file as it was, when the list cannot be read or parsed, has
// no `album` root, or cannot be written. The caller must not hold the
// list's lock.
[[nodiscard]] bool AddPhotoToList(const std::string& part_folder, int id,
                                  const std::string& file_base, int width, int height);

}  // namespace lumireel
