#include "library/album_registry.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <system_error>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "library/photo_info.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

constexpr char kCatalogueFolder[] = "quillmaralbumsettings";
constexpr char kCatalogueFile[] = "quillmaralbums.xml";
constexpr char kAlbumsFolder[] = "MyAlbums";
constexpr char kCopyingFolder[] = ".photoparts-copying";
constexpr std::string_view kRootOpen = "<albums";
constexpr std::string_view kRootCloseStart = "</albums";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The catalogue entry of a new album. It ends with the root's closing tag,
// because it takes the place of the catalogue's own.
std::string AlbumEntry(int id, std::string_view encoded_name) {
  std::string entry = "<album id=\"" + std::to_string(id) + "\"><name>";
  entry.append(encoded_name);
  entry.append(
      "</name><pwidth>180</pwidth><pheight>180</pheight><bwidth>700</bwidth>"
      "<bheight>700</bheight><skeen>snakeeye</skeen><lang>en</lang><color>0xCC00FF</color>"
      "<logo /><ftp /></album></albums>");
  return entry;
}

bool OnlySpaceFrom(const std::string& text, size_t pos) {
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(), IsSpace);
}

// An edit of the catalogue text.
struct Edit {
  std::string text;
  // True when the edit is certainly right without parsing its result.
  bool certain = false;
};

// `text` with `entry` in place of the last `</albums>` (blanks allowed before
// the `>`); nullopt when there is none. In a `whole` catalogue (nothing
// after the root but comments and blanks) such a tag followed only by
// blanks is the root's end tag: it can stand nowhere else.
std::optional<Edit> ReplaceRootClose(const std::string& text, bool whole, std::string_view entry) {
  for (size_t pos = text.rfind(kRootCloseStart); pos != std::string::npos;
       pos = pos == 0 ? std::string::npos : text.rfind(kRootCloseStart, pos - 1)) {
    size_t end = pos + kRootCloseStart.size();
    while (end < text.size() && IsSpace(text[end])) ++end;
    if (end < text.size() && text[end] == '>') {
      return Edit{text.substr(0, pos) + std::string(entry) + text.substr(end + 1),
                  whole && OnlySpaceFrom(text, end + 1)};
    }
  }
  return std::nullopt;
}

// `text` with the self-closing root `<albums ... />` opened and followed by
// `entry` (which closes it); nullopt when the first `albums` start tag is
// not self-closing.
std::optional<Edit> OpenSelfClosingRoot(const std::string& text, std::string_view entry) {
  for (size_t pos = text.find(kRootOpen); pos != std::string::npos;
       pos = text.find(kRootOpen, pos + 1)) {
    const size_t after = pos + kRootOpen.size();
    if (after >= text.size() ||
        !(IsSpace(text[after]) || text[after] == '/' || text[after] == '>')) {
      continue;  // a longer name such as <albumsx
    }
    size_t close = after;
    char quote = 0;
    for (; close < text.size(); ++close) {
      const char c = text[close];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (close >= text.size() || text[close - 1] != '/') return std::nullopt;
    size_t cut = close - 1;
    while (cut > after && IsSpace(text[cut - 1])) --cut;
    return Edit{text.substr(0, cut) + ">" + std::string(entry) + text.substr(close + 1), false};
  }
  return std::nullopt;
}

// True when `edit` gives a catalogue whose root gained exactly one child,
// the new album, as its last child. An edit that is not certain is parsed,
// which guards against catalogues written in ways the edit does not expect
// (a closing tag inside a trailing comment, say): such a catalogue is left
// alone.
bool ListsNewAlbum(const std::optional<Edit>& edit, size_t old_child_count, int id,
                   const std::string& name) {
  if (!edit) return false;
  if (edit->certain) return true;
  CXmlDocument document;
  if (!ParseCatalogue(edit->text, document)) return false;
  const CXmlNode& albums = *document.RootElement();
  if (albums.ChildCount() != old_child_count + 1) return false;
  const CXmlNode& album = *albums.ChildAt(old_child_count);
  const std::string* album_id = album.GetAttrValue("id");
  const std::string* album_name = album.GetChildValue("name");
  return album.kind == XmlNodeKind::Element && album.name == "album" && album_id != nullptr &&
         *album_id == std::to_string(id) && album_name != nullptr && *album_name == name;
}

// Copies `<source_folder>\photoparts` into `album_folder` whole or not at
// all: the tree is cloned under a name beginning with "." (which folder
// copies and galleries skip) and renamed to `photoparts` once complete, so
// that a copy cut short by a crash or a full disk never passes for the
// album's content. A part copy left by such an interruption is removed
// first. Like CloneFolder, copies nothing onto an existing photoparts.
void CopyPhotoparts(const std::string& source_folder, const std::string& album_folder,
                    const std::vector<std::string>& left_out) {
  const std::string target = JoinPath(album_folder, "photoparts");
  if (!NothingAt(target)) return;
  const std::string copying = JoinPath(album_folder, kCopyingFolder);
  RemoveFolder(copying);
  std::error_code ec;
  if (CloneFolder(JoinPath(source_folder, "photoparts"), copying, LinkPolicy::kFollow, left_out) ==
      0) {
    std::filesystem::rename(NativePath(copying), NativePath(target), ec);
    if (!ec) return;
  }
  RemoveFolder(copying);
}

// A folder path in one spelling, so that `a\b`, `a/b/` and `a/./b` compare
// equal.
std::string NormalFolder(const std::string& path) {
  std::string normal = std::filesystem::path(NativePath(path)).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

}  // namespace

AlbumPlaces AlbumPlacesOf(const std::string& root_path) {
  return {JoinPath(JoinPath(root_path, kCatalogueFolder), kCatalogueFile),
          JoinPath(root_path, kAlbumsFolder)};
}

bool ParseCatalogue(std::string_view text, CXmlDocument& document, bool* whole) {
  return ParseStoredXml(text, document, whole) && document.RootElement()->name == "albums";
}

int NextAlbumId(const CXmlNode& albums) {
  long highest = 0;
  for (const auto& child : albums.children()) {
    const std::string* id = child->GetAttrValue("id");
    if (id == nullptr) continue;
    const long value = ReadDecimal(*id);
    if (value > highest) highest = value;
  }
  return highest >= INT_MAX ? 0 : static_cast<int>(highest) + 1;
}

bool RegisterAlbum(const std::string& album_name, const std::string& source_folder,
                   const AlbumPlaces& places) {
  const std::unique_lock lock = LockFilePath(places.catalogue);
  const std::optional<std::string> text = ReadTextFileUtf8(places.catalogue);
  if (!text) return false;
  CXmlDocument catalogue;
  bool whole = false;
  if (!ParseCatalogue(*text, catalogue, &whole)) return false;
  const CXmlNode& albums = *catalogue.RootElement();
  const int id = NextAlbumId(albums);
  if (id == 0) return false;

  // The catalogue is edited as text, so that everything the movie wrote into
  // it stays exactly as it was; the entry replaces the root's closing tag,
  // or opens a root written as `<albums ... />`.
  const std::string name = XmlSafeText(album_name);
  const std::string entry = AlbumEntry(id, XmlEntityTable::Default().Encode(name));
  const size_t child_count = albums.ChildCount();
  std::optional<Edit> edit = ReplaceRootClose(*text, whole, entry);
  if (!ListsNewAlbum(edit, child_count, id, name)) {
    edit = OpenSelfClosingRoot(*text, entry);
    if (!ListsNewAlbum(edit, child_count, id, name)) return false;
  }

  const std::string album_folder = JoinPath(places.albums, std::to_string(id));
  bool created = false;
  if (NormalFolder(source_folder) != NormalFolder(album_folder)) {
    MakeFolder(places.albums);  // a workspace without its albums folder gets one
    created = MakeFolder(album_folder);
    if (!created && !IsFolder(album_folder)) return false;
    MakeFolder(JoinPath(album_folder, "logo"));
    MakeFolder(JoinPath(album_folder, "synchronization"));
    // A failed copy (for instance onto a photoparts the folder already held)
    // still registers the album.
    CopyPhotoparts(
        source_folder, album_folder,
        FoldersLeftOut(std::filesystem::path(NativePath(places.catalogue)).parent_path().string(),
                       /*gallery=*/false));
  }
  if (!WriteTextFileUtf8(places.catalogue, edit->text)) {
    // An album folder that no catalogue entry names would be taken over by
    // the next album that gets this id.
    if (created) RemoveFolder(album_folder);
    return false;
  }
  return true;
}

bool RegisterAlbum(const std::string& album_name, const std::string& source_folder,
                   const std::string& root_path) {
  return RegisterAlbum(album_name, source_folder, AlbumPlacesOf(root_path));
}

}  // namespace lumireel
