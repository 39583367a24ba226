#include "library/photo_list.h"

#include <climits>
#include <string_view>

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

int GetHighestPhotoId(const std::string& part_folder) {
  XmlReadResult result;
  const XmlReadNode album =
      XmlReadNode::ParseFile(NativePath(PhotoListPath(part_folder)), "album", &result);
  // A failed parse gives the empty node, whose queries find nothing.
  long highest = 0;
  int position = 0;
  for (XmlReadNode photo = album.GetChildNode("photo", &position); !photo.IsEmpty();
       photo = album.GetChildNode("photo", &position)) {
    const long id = ReadDecimal(photo.GetChildNode("id", nullptr).GetText(0));
    if (id > highest) highest = id;
  }
  return highest > INT_MAX ? INT_MAX : static_cast<int>(highest);
}

bool AddPhotoToList(const std::string& part_folder, int id, const std::string& file_base, int width,
                    int height) {
  const std::string path = PhotoListPath(part_folder);
  const std::unique_lock lock = LockFilePath(path);
  std::string text;
  if (std::optional<std::string> read = ReadTextFileUtf8(path)) {
    text = std::move(*read);
  } else if (NothingAt(path)) {
    text = kEmptyPhotoList;
  } else {
    return false;
  }
  CXmlDocument document;
  if (!ParseStoredXml(text, document)) return false;
  CXmlNode* album = document.RootElement();
  if (album->name != "album") return false;
  AppendPhotoEntry(album, id, file_base, width, height);
  return WriteTextFileUtf8(path, document.ToXml());
}

}  // namespace lumireel
