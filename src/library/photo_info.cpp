#include "library/photo_info.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "library/originals_index.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

constexpr char kHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>";
constexpr char kTail[] = "</photos>";

void AppendAttr(std::string& out, std::string_view name, std::string_view value) {
  out.append(" ").append(name).append("=\"");
  out.append(EncodeMessageText(XmlSafeText(value))).append("\"");
}

void AppendAttr(std::string& out, std::string_view name, std::uint64_t value) {
  if (value != 0) AppendAttr(out, name, std::to_string(value));
}

void AppendText(std::string& out, std::string_view name, const std::string& value) {
  if (!value.empty()) AppendAttr(out, name, value);
}

// The originals folder of `part_folder` in one spelling for each folder, so
// that the index knows it by one name.
std::string OriginalsFolder(const std::string& part_folder) {
  std::string folder =
      std::filesystem::path(NativePath(JoinPath(part_folder, "originals"))).lexically_normal();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// What this program last wrote to a facts file: the stamp of its text, and
// the ids of its entries and which ids have each digest (in file order).
// While the file still holds that text, new entries are added to it as text
// instead of parsing and writing every entry again.
struct FactsIndex {
  TextStamp stamp;
  std::unordered_set<std::string> ids;
  std::unordered_map<std::string, std::vector<std::string>> ids_by_digest;

  void Add(const std::string& id, const std::string& digest) {
    if (id.empty()) return;
    ids.insert(id);
    if (!digest.empty()) ids_by_digest[digest].push_back(id);
  }
};

// Facts files longer than this are read afresh every time rather than kept.
constexpr std::size_t kMaxIndexedEntries = 200'000;
constexpr std::size_t kMaxIndexedFiles = 16;

std::mutex indexes_mu;
std::map<std::string, FactsIndex>& Indexes() {
  static auto* indexes = new std::map<std::string, FactsIndex>();  // guarded by indexes_mu
  return *indexes;
}

// The index of the facts file at `path`, taken out of the kept ones, when
// the file holds exactly the text this program last wrote to it.
std::optional<FactsIndex> TakeIndex(const std::string& path, std::string_view text) {
  const std::lock_guard lock(indexes_mu);
  auto found = Indexes().extract(path);
  if (found.empty() || !(found.mapped().stamp == StampOf(text))) return std::nullopt;
  return std::move(found.mapped());
}

void KeepIndex(const std::string& path, FactsIndex index) {
  if (index.ids.size() > kMaxIndexedEntries) return;
  const std::lock_guard lock(indexes_mu);
  std::map<std::string, FactsIndex>& indexes = Indexes();
  if (indexes.size() >= kMaxIndexedFiles) indexes.clear();
  indexes[path] = std::move(index);
}

// An entry read back from the file, with its attributes as they were.
std::string EntryAsRead(const CXmlNode& photo) {
  std::string out = "<photo";
  for (const auto& attr : photo.attributes()) AppendAttr(out, attr->name, attr->value);
  return out + " />";
}

}  // namespace

bool IsPhotoId(const std::string& id) {
  return !id.empty() && id.size() <= 10 &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string PhotoInfoPath(const std::string& part_folder) {
  return JoinPath(part_folder, "photoinfo.xml");
}

std::string PhotoInfoEntry(int id, const PhotoFacts& facts) {
  std::string out = "<photo";
  AppendAttr(out, "id", std::to_string(id));
  AppendText(out, "original", facts.original);
  AppendText(out, "taken", facts.taken);
  AppendText(out, "camera", facts.camera);
  AppendAttr(out, "width", facts.width);
  AppendAttr(out, "height", facts.height);
  AppendAttr(out, "bytes", facts.bytes);
  AppendText(out, "sha256", facts.sha256);
  AppendText(out, "caption", facts.caption);
  AppendText(out, "duplicate_of", facts.duplicate_of);
  return out + " />";
}

bool RecordPhotoFacts(const std::string& part_folder,
                      const std::vector<std::pair<int, PhotoFacts>>& photos) {
  const std::string path = PhotoInfoPath(part_folder);
  std::optional<std::string> text;
  if (!NothingAt(path)) {
    text = ReadTextFileUtf8(path);
    if (!text) return false;
  }
  std::unordered_set<std::string> new_ids;
  for (const auto& [id, facts] : photos) new_ids.insert(std::to_string(id));

  std::optional<FactsIndex> index;
  if (text) index = TakeIndex(path, *text);
  std::string out;
  if (index && std::none_of(new_ids.begin(), new_ids.end(),
                            [&](const std::string& id) { return index->ids.count(id) != 0; })) {
    // The file is as this program wrote it, and no entry of it is replaced.
    out.assign(*text, 0, text->size() - (sizeof kTail - 1));
  } else {
    index.emplace();
    out = kHead;
    if (text) {
      CXmlDocument document;
      if (!ParseStoredXml(*text, document)) return false;
      const CXmlNode* root = document.RootElement();
      if (root->name != "photos") return false;
      for (const auto& child : root->children()) {
        if (child->kind != XmlNodeKind::Element || child->name != "photo") continue;
        const std::string* id = child->GetAttrValue("id");
        if (id != nullptr && new_ids.count(*id) != 0) continue;
        out += EntryAsRead(*child);
        const std::string* digest = child->GetAttrValue("sha256");
        index->Add(id != nullptr ? *id : std::string(),
                   digest != nullptr ? *digest : std::string());
      }
    }
  }

  // A new photo is a duplicate of the first photo with its digest that still
  // has its original (or came in with it).
  const auto has_original = [&](const std::string& id) {
    return new_ids.count(id) != 0 || FindOriginal(part_folder, id).has_value();
  };
  for (const auto& [id, facts] : photos) {
    PhotoFacts recorded = facts;
    const std::string own_id = std::to_string(id);
    if (!facts.sha256.empty()) {
      const auto found = index->ids_by_digest.find(facts.sha256);
      if (found != index->ids_by_digest.end()) {
        const auto first = std::find_if(found->second.begin(), found->second.end(), has_original);
        if (first != found->second.end()) recorded.duplicate_of = *first;
      }
    }
    out += PhotoInfoEntry(id, recorded);
    index->Add(own_id, facts.sha256);
  }
  out += kTail;
  if (!WriteTextFileUtf8(path, out)) return false;
  index->stamp = StampOf(out);
  KeepIndex(path, std::move(*index));
  return true;
}

std::optional<std::string> FindOriginal(const std::string& part_folder, const std::string& id) {
  if (!IsPhotoId(id)) return std::nullopt;
  return FindKeptOriginal(OriginalsFolder(part_folder), id);
}

std::vector<std::string> FoldersLeftOut(const std::string& settings_folder, bool gallery) {
  std::vector<std::string> left_out;
  if (gallery) left_out.push_back("edits");
  const std::optional<std::string> text =
      ReadTextFileUtf8(JoinPath(settings_folder, "lumireel-movie.xml"));
  CXmlDocument settings;
  const std::string* originals = nullptr;
  if (text && ParseStoredXml(*text, settings)) {
    originals = settings.RootElement()->GetAttrValue("originals");
  }
  if (originals == nullptr || *originals != "1") left_out.push_back("originals");
  return left_out;
}

std::string KeptEditsPath(const std::string& part_folder, const std::string& id) {
  return JoinPath(JoinPath(part_folder, "edits"), id + ".xml");
}

}  // namespace lumireel
