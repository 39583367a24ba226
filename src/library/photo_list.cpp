#include "library/photo_list.h"

#include <climits>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "library/stored_xml.h"
#include "xml/strict_reader.h"

namespace lumireel {

std::string PhotoListPath(const std::string& part_folder) { return part_folder + "/photos.xml"; }

void AppendPhotoEntry(CXmlNode* album, int id, const std::string& file_base, int width,
                      int height) {
  if (album == nullptr) return;
  CXmlNode* photo = album->AppendChild("photo");
  photo->AppendChild("id", std::to_string(id));
  photo->AppendChild("name");
  photo->AppendChild("file", XmlSafeText(file_base + ".jpg"));
  photo->AppendChild("w", std::to_string(width));
  photo->AppendChild("h", std::to_string(height));
}

std::string PhotoEntryText(int id, const std::string& file_base, int width, int height) {
  CXmlNode album;
  AppendPhotoEntry(&album, id, file_base, width, height);
  return album.ChildAt(0)->ToXml();
}

namespace {

struct KnownText {
  TextStamp stamp;
  KnownList known;
};

constexpr std::size_t kMaxKnownLists = 64;

std::mutex known_mu;
std::map<std::string, KnownText>& KnownLists() {
  static auto* lists = new std::map<std::string, KnownText>();  // guarded by known_mu
  return *lists;
}

// One key per list, however its path is spelled (doubled or backslash
// separators, "." steps).
std::string ListKey(const std::string& list_path) {
  return std::filesystem::path(NativePath(list_path)).lexically_normal().string();
}

}  // namespace

std::optional<KnownList> KnownListText(const std::string& list_path, std::string_view text) {
  const TextStamp stamp = StampOf(text);
  const std::string key = ListKey(list_path);
  const std::lock_guard lock(known_mu);
  const auto found = KnownLists().find(key);
  if (found == KnownLists().end() || !(found->second.stamp == stamp)) return std::nullopt;
  return found->second.known;
}

void KnowListText(const std::string& list_path, std::string_view text, const KnownList& known) {
  const TextStamp stamp = StampOf(text);
  const std::string key = ListKey(list_path);
  const std::lock_guard lock(known_mu);
  std::map<std::string, KnownText>& lists = KnownLists();
  auto found = lists.find(key);
  if (found == lists.end()) {
    if (lists.size() >= kMaxKnownLists) lists.clear();
    lists.emplace(key, KnownText{stamp, known});
    return;
  }
  KnownText& entry = found->second;
  if (!(entry.stamp == stamp)) entry = KnownText{stamp, KnownList{}};
  entry.known.written = entry.known.written || known.written;
  if (known.highest_id) entry.known.highest_id = known.highest_id;
  if (known.preview_box) entry.known.preview_box = known.preview_box;
}

namespace {

bool NamedNoCase(const XmlReadNode& node, std::string_view name) {
  const char* own = node.GetName();
  if (own == nullptr || std::string_view(own).size() != name.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (lower(own[i]) != lower(name[i])) return false;
  }
  return true;
}

}  // namespace

// Each photo is summed up into the highest id of its album as soon as it is
// parsed and then dropped, so a long list never stands in memory as a tree.
// The album the answer comes from is the one the parse returns, chosen only
// once the whole list is read; until then every album's highest id is kept.
int GetHighestPhotoId(const std::string& part_folder) {
  const std::string path = PhotoListPath(part_folder);
  std::optional<TextStamp> stamp;
  if (const std::optional<std::string> text = ReadTextFileUtf8(path)) {
    const std::optional<KnownList> known = KnownListText(path, *text);
    if (known && known->highest_id) return *known->highest_id;
    stamp = StampOf(*text);
  }
  struct AlbumHighest {
    XmlReadNode album;
    long highest = 0;
  };
  std::vector<AlbumHighest> albums;
  const XmlReadFold fold = [&albums](const XmlReadNode& holder, const XmlReadNode& element) {
    if (!NamedNoCase(holder, "album") || !NamedNoCase(element, "photo")) return false;
    // The photos of one album come one after another, so a new entry is
    // needed only where another album's photos begin.
    if (albums.empty() || !(albums.back().album == holder)) albums.push_back({holder, 0});
    const long id = ReadDecimal(element.GetChildNode("id", nullptr).GetText(0));
    if (id > albums.back().highest) albums.back().highest = id;
    return true;
  };
  XmlReadResult result;
  const XmlReadNode album = XmlReadNode::ParseFile(NativePath(path), "album", &result, fold);
  // A failed parse gives the empty node, which is no album of the list.
  long highest = 0;
  for (const AlbumHighest& entry : albums) {
    if (!album.IsEmpty() && entry.album == album && entry.highest > highest) {
      highest = entry.highest;
    }
  }
  const int answer = highest > INT_MAX ? INT_MAX : static_cast<int>(highest);
  // Known only when the file held the same text for the parse, which read
  // it again.
  if (const std::optional<std::string> again = stamp ? ReadTextFileUtf8(path) : std::nullopt;
      again && StampOf(*again) == *stamp) {
    KnownList known;
    known.highest_id = answer;
    KnowListText(path, *again, known);
  }
  return answer;
}

bool AddPhotoToList(const std::string& part_folder, int id, const std::string& file_base, int width,
                    int height) {
  const std::string path = PhotoListPath(part_folder);
  const std::unique_lock lock = LockFilePath(path);
  CXmlDocument document;
  {
    std::string text;
    if (std::optional<std::string> read = ReadTextFileUtf8(path)) {
      text = std::move(*read);
    } else if (NothingAt(path)) {
      text = kEmptyPhotoList;
    } else {
      return false;
    }
    if (!ParseStoredXmlForAppend(text, document)) return false;
  }
  CXmlNode* album = document.RootElement();
  if (album->name != "album") return false;
  AppendPhotoEntry(album, id, file_base, width, height);
  return WriteTextFileUtf8(path, document.ToXml());
}

}  // namespace lumireel
