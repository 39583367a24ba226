// The originals kept in photo folders (`<part folder>/originals`), by photo
// id: the regular files named `id` or `id`.<ext>.
//
// A folder is listed once; afterwards the index follows the folder's change
// notices (inotify) and looks again only at the names a notice reports, so
// that a folder of thousands of photos is not listed for every photo
// imported into it or edited. Where notices cannot be trusted or had (a
// folder on a network file system, no watch left, notices lost) the folder
// is listed for each question, as if there were no index. Any thread.
#pragma once

#include <optional>
#include <string>

namespace lumireel {

// The native path of the original kept for photo `id` in the originals
// folder `originals` (a native path); nullopt when there is none. When a
// photo has more than one, the one the folder listed first.
// REQUIRES: `id` is a photo id (IsPhotoId).
[[nodiscard]] std::optional<std::string> FindKeptOriginal(const std::string& originals,
                                                          const std::string& id);

}  // namespace lumireel
