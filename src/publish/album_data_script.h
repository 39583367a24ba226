// The gallery's data as a script, for a gallery opened straight from its
// folder: a page loaded from the disk (file://) cannot fetch the gallery's
// XML files, but it can load a script. `zel_ui\album-data.js` assigns to the
// global `lumireelGallery` an object whose `files` member maps the path of
// each data file in the gallery (parts separated by "/") to its text; the
// player reads that map instead of fetching when it is there.
//
// The data files are `zel_ui/zelsetting.xml`, `zel_ui/zelshow.xml`,
// `skins/skins.xml` and every
// file ending in ".xml" below `photoparts` (parts list, photo lists, keyword
// files). Only regular files are taken, never through a symbolic link, and
// no entry whose name begins with ".".
#pragma once

#include <string>
#include <string_view>

namespace lumireel {

// `text` as a double-quoted script string literal that gives back `text`
// (made well-formed UTF-8) exactly: quotes, backslashes and control
// characters are escaped, and so are `<` (no "</script>" can end an inline
// script) and the line separators U+2028 and U+2029.
[[nodiscard]] std::string ScriptStringLiteral(std::string_view text);

// The script for the gallery folder `gallery`, files in path order.
[[nodiscard]] std::string AlbumDataScript(const std::string& gallery);

// Writes AlbumDataScript(gallery) to `<gallery>\zel_ui\album-data.js`; false
// when it cannot be written.
bool WriteAlbumDataScript(const std::string& gallery);

}  // namespace lumireel
