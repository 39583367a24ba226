#include "library/photo_info.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

constexpr char kHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>";
constexpr char kTail[] = "</photos>";

bool IsPhotoId(const std::string& id) {
  return !id.empty() && id.size() <= 10 &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

// Calls `visit(id, native path)` for each original kept in `part_folder`
// (the regular files of `originals` named `id` or `id`.<ext>) until it
// returns false.
template <typename Visit>
void ForEachOriginal(const std::string& part_folder, Visit visit) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = NativePath(JoinPath(part_folder, "originals"));
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string id = name.substr(0, name.find('.'));
    if (!IsPhotoId(id)) continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec) || it->is_symlink(type_ec)) continue;
    if (!visit(id, it->path().string())) return;
  }
}

// An entry read back from the file, with its attributes as they were.
std::string EntryAsRead(const CXmlNode& photo) {
  std::string out = "<photo";
  for (const auto& attr : photo.attributes()) AppendAttr(out, attr->name, attr->value);
  return out + " />";
}

}  // namespace

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
  CXmlDocument document;
  const CXmlNode* root = nullptr;
  if (!NothingAt(path)) {
    const std::optional<std::string> text = ReadTextFileUtf8(path);
    if (!text || !ParseStoredXml(*text, document)) return false;
    root = document.RootElement();
    if (root->name != "photos") return false;
  }
  std::set<std::string> new_ids;
  for (const auto& [id, facts] : photos) new_ids.insert(std::to_string(id));

  std::string out = kHead;
  // The digests of the photos that are still there, each with the first id
  // that has it.
  std::map<std::string, std::string> kept_digests;
  std::set<std::string> with_original;  // listed once, not once per entry
  ForEachOriginal(part_folder, [&](const std::string& id, const std::string&) {
    with_original.insert(id);
    return true;
  });
  if (root != nullptr) {
    for (const auto& child : root->children()) {
      if (child->kind != XmlNodeKind::Element || child->name != "photo") continue;
      const std::string* id = child->GetAttrValue("id");
      if (id != nullptr && new_ids.count(*id) != 0) continue;
      out += EntryAsRead(*child);
      const std::string* digest = child->GetAttrValue("sha256");
      if (id != nullptr && digest != nullptr && with_original.count(*id) != 0) {
        kept_digests.try_emplace(*digest, *id);
      }
    }
  }
  for (const auto& [id, facts] : photos) {
    PhotoFacts recorded = facts;
    if (!facts.sha256.empty()) {
      const auto [it, first] = kept_digests.try_emplace(facts.sha256, std::to_string(id));
      if (!first) recorded.duplicate_of = it->second;
    }
    out += PhotoInfoEntry(id, recorded);
  }
  out += kTail;
  return WriteTextFileUtf8(path, out);
}

std::optional<std::string> FindOriginal(const std::string& part_folder, const std::string& id) {
  if (!IsPhotoId(id)) return std::nullopt;
  std::optional<std::string> found;
  ForEachOriginal(part_folder, [&](const std::string& kept_id, const std::string& path) {
    if (kept_id == id) found = path;
    return !found;
  });
  return found;
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
