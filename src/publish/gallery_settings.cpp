#include "publish/gallery_settings.h"

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "library/stored_xml.h"
#include "xml/element_tree.h"

namespace lumireel {
namespace {

// A value as it may stand in an attribute or element text: well-formed, with
// the five markup characters as references. Names such as `Tom & "Jerry"`
// thus keep the written files well-formed.
std::string XmlValue(std::string_view value) {
  return XmlEntityTable::Default().Encode(XmlSafeText(value));
}

void TakeChildText(const CXmlNode& entry, std::string_view child, std::string& field) {
  if (const std::string* text = entry.GetChildValue(child)) field = *text;
}

bool IsPlainFolderName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

CatalogueStatus ReadGallerySettings(std::string_view catalogue_text, std::string_view album_id,
                                    bool with_name, GallerySettings& settings) {
  // The catalogue is the movie's file: a backslash in a name is an ordinary
  // character there, as ParseStoredXml reads it.
  CXmlDocument catalogue;
  XmlParseInfo info;
  info.escape_char = 0;
  const bool parsed = catalogue.ParseText(catalogue_text, &info) != nullptr;
  const CXmlNode* root = catalogue.RootElement();
  // The parser gives up without an error of its own when the text holds no
  // element at all (empty, or only a declaration or comments).
  if (!parsed && info.error_occurred) return CatalogueStatus::kUnreadable;
  if (!parsed || root == nullptr) return CatalogueStatus::kNoRoot;

  const long wanted = ReadDecimal(album_id);
  for (const auto& entry : root->children()) {
    if (entry->kind != XmlNodeKind::Element) continue;
    const std::string* id = entry->GetAttrValue("id");
    if (ReadDecimal(id != nullptr ? std::string_view(*id) : std::string_view()) != wanted) {
      continue;
    }
    if (with_name) TakeChildText(*entry, "name", settings.name);
    TakeChildText(*entry, "skeen", settings.skin);
    TakeChildText(*entry, "lang", settings.lang);
    TakeChildText(*entry, "color", settings.color);
    TakeChildText(*entry, "logo", settings.logo);
    TakeChildText(*entry, "seconds", settings.seconds);
    TakeChildText(*entry, "transition", settings.transition);
    TakeChildText(*entry, "bwidth", settings.big_width);
    TakeChildText(*entry, "bheight", settings.big_height);
    TakeChildText(*entry, "download", settings.download);
  }
  if (settings.name.empty()) settings.name = "Untitled";
  return CatalogueStatus::kRead;
}

std::string ChooseSkin(const std::string& skin, const std::string& skins_folder) {
  if (IsPlainFolderName(skin) && IsFolder(JoinPath(skins_folder, skin))) return skin;
  return kDefaultSkin;
}

bool WantsDownload(const GallerySettings& settings, bool web) {
  if (settings.download.empty()) return web;
  return ReadDecimal(settings.download) == 1;
}

std::string SkinListXml(std::string_view skin) {
  const std::string value = XmlValue(skin);
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><skeens><skeen><name>" + value +
         "</name><value>" + value +
         "</value><colorchange>1</colorchange><author>Quillmar Inc</author><version>1.0</version>"
         "<license>free</license></skeen></skeens>";
}

std::string SettingsXml(const GallerySettings& settings) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><zel_setting lang=\"" +
         XmlValue(settings.lang) + "\" activcolor=\"" + XmlValue(settings.color) +
         "\" effects=\"3\" skeen=\"" + XmlValue(settings.skin) + "\" logo=\"" +
         XmlValue(settings.logo) + "\" cskeen=\"0\" ccolor=\"1\"/>";
}

std::string ShowXml(const GallerySettings& settings, std::string_view download) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><zel_show name=\"" + XmlValue(settings.name) +
         "\" seconds=\"" + XmlValue(settings.seconds) + "\" transition=\"" +
         XmlValue(settings.transition) + "\" bwidth=\"" + XmlValue(settings.big_width) +
         "\" bheight=\"" + XmlValue(settings.big_height) + "\" download=\"" + XmlValue(download) +
         "\"/>";
}

}  // namespace lumireel
