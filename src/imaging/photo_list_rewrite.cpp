#include "imaging/photo_list_rewrite.h"

#include <optional>

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
  CXmlDocument document;
  if (!text || !ParseStoredXml(*text, document)) return box;
  const CXmlNode* root = document.RootElement();
  if (const std::string* width = root->GetAttrValue("mwidth")) box.width = ReadDecimal(*width);
  if (const std::string* height = root->GetAttrValue("mheight")) box.height = ReadDecimal(*height);
  return box;
}

bool RewritePhotoSize(const std::string& list_path, const std::string& id, std::uint32_t width,
                      std::uint32_t height) {
  const std::unique_lock lock = LockFilePath(list_path);
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  CXmlDocument old_list;
  if (!text || !ParseList(*text, old_list)) return false;
  CXmlDocument new_list;
  if (!ParseList(kEmptyPhotoList, new_list) || new_list.RootElement() == nullptr) return false;
  CXmlNode* new_root = new_list.RootElement();

  if (const CXmlNode* old_root = old_list.RootElement()) {
    for (const char* name : {"mheight", "mwidth", "id"}) {
      if (const std::string* value = old_root->GetAttrValue(name))
        new_root->AppendAttr(name, *value);
    }
    for (const auto& child : old_root->children()) {
      if (child->kind != XmlNodeKind::Element) continue;
      const std::string* photo_id = child->GetChildValue("id");
      if (photo_id == nullptr) continue;
      CXmlNode* photo = new_root->AppendChild("photo");
      photo->AppendChild("id", *photo_id);
      photo->AppendChild("file", ChildValue(*child, "file"));
      photo->AppendChild("name", ChildValue(*child, "name"));
      if (*photo_id == id) {
        photo->AppendChild("w", std::to_string(width));
        photo->AppendChild("h", std::to_string(height));
      } else {
        photo->AppendChild("w", ChildValue(*child, "w"));
        photo->AppendChild("h", ChildValue(*child, "h"));
      }
    }
  }
  return WriteTextFileUtf8(list_path, new_list.ToXml());
}

bool AppendImportedPhotos(const std::string& part_folder, const std::string& list_path,
                          CXmlDocument& loaded, const TextStamp& loaded_stamp,
                          const std::vector<ImportedPhoto>& photos) {
  const std::unique_lock lock = LockFilePath(list_path);
  CXmlDocument current;
  bool read_again = false;
  {
    // Parsed again only when it changed since the import read it.
    const std::optional<std::string> text = ReadTextFileUtf8(list_path);
    read_again = text && !(StampOf(*text) == loaded_stamp) &&
                 ParseStoredXmlForAppend(*text, current);
  }
  CXmlDocument& list = read_again ? current : loaded;
  CXmlNode* root = list.RootElement();
  if (root == nullptr) return false;
  for (const ImportedPhoto& photo : photos) {
    AppendPhotoEntry(root, photo.id, std::to_string(photo.id),
                     static_cast<int>(photo.preview_width), static_cast<int>(photo.preview_height));
  }
  if (!WriteTextFileUtf8(list_path, list.ToXml())) return false;
  std::vector<std::pair<int, PhotoFacts>> facts;
  facts.reserve(photos.size());
  for (const ImportedPhoto& photo : photos) facts.emplace_back(photo.id, photo.facts);
  (void)RecordPhotoFacts(part_folder, facts);
  return true;
}

}  // namespace lumireel
