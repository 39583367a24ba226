#include "imaging/photo_list_rewrite.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "library/photo_list.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

// Parses a list with backslashes as ordinary characters. True when the text
// parsed; the root element may still be missing.
bool ParseList(std::string_view text, CXmlDocument& document) {
  XmlParseInfo info;
  info.escape_char = 0;
  return document.ParseText(text, &info) != nullptr;
}

std::string ChildValue(const CXmlNode& node, std::string_view name) {
  const std::string* value = node.GetChildValue(name);
  return value != nullptr ? *value : std::string();
}

}  // namespace

PreviewBox ReadPreviewBox(const std::string& list_path) {
  PreviewBox box;
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  if (!text) return box;
  if (const std::optional<KnownList> known = KnownListText(list_path, *text);
      known && known->preview_box) {
    return {known->preview_box->first, known->preview_box->second};
  }
  CXmlDocument document;
  if (ParseStoredXml(*text, document)) {
    const CXmlNode* root = document.RootElement();
    if (const std::string* width = root->GetAttrValue("mwidth")) box.width = ReadDecimal(*width);
    if (const std::string* height = root->GetAttrValue("mheight"))
      box.height = ReadDecimal(*height);
  }
  KnownList known;
  known.preview_box = {box.width, box.height};
  KnowListText(list_path, *text, known);
  return box;
}

bool RewritePhotoSize(const std::string& list_path, const std::string& id, std::uint32_t width,
                      std::uint32_t height) {
  return RewritePhotoSizes(list_path, {{id, PixelSize{width, height}}});
}

bool RewritePhotoSizes(const std::string& list_path,
                       const std::map<std::string, PixelSize>& sizes) {
  const std::unique_lock lock = LockFilePath(list_path);
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  CXmlDocument old_list;
  if (!text || !ParseList(*text, old_list)) return false;
  CXmlDocument new_list;
  if (!ParseList(kEmptyPhotoList, new_list) || new_list.RootElement() == nullptr) return false;
  CXmlNode* new_root = new_list.RootElement();

  // The highest id of the new list, known when every id is plain digits.
  long highest = 0;
  bool plain_ids = true;
  if (const CXmlNode* old_root = old_list.RootElement()) {
    for (const char* name : {"mheight", "mwidth", "id"}) {
      if (const std::string* value = old_root->GetAttrValue(name))
        new_root->AppendAttr(name, *value);
    }
    for (const auto& child : old_root->children()) {
      if (child->kind != XmlNodeKind::Element) continue;
      const std::string* photo_id = child->GetChildValue("id");
      if (photo_id == nullptr) continue;
      if (IsPhotoId(*photo_id)) {
        highest = std::max(highest, ReadDecimal(*photo_id));
      } else {
        plain_ids = false;
      }
      CXmlNode* photo = new_root->AppendChild("photo");
      photo->AppendChild("id", *photo_id);
      photo->AppendChild("file", ChildValue(*child, "file"));
      photo->AppendChild("name", ChildValue(*child, "name"));
      if (const auto size = sizes.find(*photo_id); size != sizes.end()) {
        photo->AppendChild("w", std::to_string(size->second.width));
        photo->AppendChild("h", std::to_string(size->second.height));
      } else {
        photo->AppendChild("w", ChildValue(*child, "w"));
        photo->AppendChild("h", ChildValue(*child, "h"));
      }
    }
  }
  const std::string written = new_list.ToXml();
  if (!WriteTextFileUtf8(list_path, written)) return false;
  KnownList known;
  known.written = true;
  if (plain_ids) known.highest_id = highest > INT_MAX ? INT_MAX : static_cast<int>(highest);
  const CXmlNode* root = new_list.RootElement();
  const std::string* box_width = root->GetAttrValue("mwidth");
  const std::string* box_height = root->GetAttrValue("mheight");
  known.preview_box = {box_width != nullptr ? ReadDecimal(*box_width) : 0,
                       box_height != nullptr ? ReadDecimal(*box_height) : 0};
  KnowListText(list_path, written, known);
  return true;
}

bool RewritePreviewBox(const std::string& list_path, long width, long height) {
  const std::unique_lock lock = LockFilePath(list_path);
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  CXmlDocument list;
  if (!text || !ParseStoredXmlForAppend(*text, list)) return false;
  CXmlNode* root = list.RootElement();
  bool changed = false;
  for (const auto& [name, number] : {std::pair{"mwidth", width}, std::pair{"mheight", height}}) {
    const std::string value = std::to_string(number);
    CXmlAttr* attr = root->FindAttr(name);
    if (attr != nullptr && attr->value == value) continue;
    if (attr != nullptr) {
      attr->value = value;
    } else {
      root->AppendAttr(name, value);
    }
    changed = true;
  }
  if (!changed) return true;
  const std::string written = list.ToXml();
  if (!WriteTextFileUtf8(list_path, written)) return false;
  KnownList known = KnownListText(list_path, *text).value_or(KnownList{});
  known.written = true;
  known.preview_box = {width, height};
  KnowListText(list_path, written, known);
  return true;
}

bool LoadList(const std::string& list_path, LoadedList& loaded) {
  std::optional<std::string> text = ReadTextFileUtf8(list_path);
  if (!text) return false;
  loaded.stamp = StampOf(*text);
  if (const std::optional<KnownList> known = KnownListText(list_path, *text);
      known && known->written) {
    loaded.text = std::move(*text);
    return true;
  }
  loaded.parsed = true;
  return ParseStoredXmlForAppend(*text, loaded.document);
}

CXmlDocument* LoadedList::Document() {
  if (!parsed) {
    parsed = true;
    const bool ok = ParseStoredXmlForAppend(text, document);
    text = std::string();
    if (!ok) return nullptr;
  }
  return document.RootElement() != nullptr ? &document : nullptr;
}

bool AppendImportedPhotos(const std::string& part_folder, const std::string& list_path,
                          LoadedList& loaded, const std::vector<ImportedPhoto>& photos) {
  static constexpr std::string_view kAlbumEnd = "</album>";
  const std::unique_lock lock = LockFilePath(list_path);
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  std::optional<KnownList> known;
  if (text) known = KnownListText(list_path, *text);
  std::string written;
  KnownList now;
  now.written = true;
  if (known && known->written && std::string_view(*text).ends_with(kAlbumEnd)) {
    // The list holds what this program wrote: the entries go in as text.
    written.assign(*text, 0, text->size() - kAlbumEnd.size());
    int highest = known->highest_id.value_or(0);
    for (const ImportedPhoto& photo : photos) {
      written += PhotoEntryText(photo.id, std::to_string(photo.id),
                                static_cast<int>(photo.preview_width),
                                static_cast<int>(photo.preview_height));
      highest = std::max(highest, photo.id);
    }
    written += kAlbumEnd;
    if (known->highest_id) now.highest_id = highest;
    now.preview_box = known->preview_box;
  } else {
    // Parsed again only when it changed since the import read it.
    CXmlDocument current;
    const bool read_again = text && !(StampOf(*text) == loaded.stamp) &&
                            ParseStoredXmlForAppend(*text, current);
    CXmlDocument* list = read_again ? &current : loaded.Document();
    CXmlNode* root = list != nullptr ? list->RootElement() : nullptr;
    if (root == nullptr) return false;
    for (const ImportedPhoto& photo : photos) {
      AppendPhotoEntry(root, photo.id, std::to_string(photo.id),
                       static_cast<int>(photo.preview_width),
                       static_cast<int>(photo.preview_height));
    }
    written = list->ToXml();
  }
  if (!WriteTextFileUtf8(list_path, written)) return false;
  KnowListText(list_path, written, now);
  std::vector<std::pair<int, PhotoFacts>> facts;
  facts.reserve(photos.size());
  for (const ImportedPhoto& photo : photos) facts.emplace_back(photo.id, photo.facts);
  (void)RecordPhotoFacts(part_folder, facts);
  return true;
}

}  // namespace lumireel
