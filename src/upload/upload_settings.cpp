#include "upload/upload_settings.h"

#include <charconv>

#include "bridge/invoke_request.h"
#include "xml/element_tree.h"

namespace lumireel {
namespace {

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_' || c == ':';
    if (!ok) return false;
  }
  return host.front() != '-';
}

bool IsUserName(std::string_view user) {
  for (unsigned char c : user) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// The folder as an absolute path without empty parts or a trailing "/";
// nullopt when a part is "." or "..", or holds "\" or a control character.
std::optional<std::string> NormalFolder(std::string_view folder) {
  std::string normal;
  size_t start = 0;
  while (start <= folder.size()) {
    const size_t end = std::min(folder.find('/', start), folder.size());
    const std::string_view part = folder.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == "..") return std::nullopt;
    for (unsigned char c : part) {
      if (c < 0x20 || c == 0x7f || c == '\\') return std::nullopt;
    }
    normal.append("/").append(part);
  }
  return normal;
}

std::optional<UploadProtocol> ProtocolOf(std::string_view name) {
  if (name.empty() || name == "sftp") return UploadProtocol::kSftp;
  if (name == "ftp") return UploadProtocol::kFtp;
  if (name == "ftps") return UploadProtocol::kFtps;
  return std::nullopt;
}

std::string Attr(const CXmlNode& node, std::string_view name) {
  const std::string* value = node.GetAttrValue(name);
  return value != nullptr ? *value : std::string();
}

}  // namespace

UploadSettingsStatus ReadUploadSettings(std::string_view catalogue_text,
                                        std::string_view album_id, UploadSettings& settings) {
  CXmlDocument catalogue;
  XmlParseInfo info;
  info.escape_char = 0;
  if (catalogue.ParseText(catalogue_text, &info) == nullptr || catalogue.RootElement() == nullptr) {
    return UploadSettingsStatus::kNoCatalogue;
  }
  const CXmlNode* ftp = nullptr;
  const long wanted = ReadDecimal(album_id);
  for (const auto& entry : catalogue.RootElement()->children()) {
    if (entry->kind != XmlNodeKind::Element) continue;
    const std::string* id = entry->GetAttrValue("id");
    if (ReadDecimal(id != nullptr ? std::string_view(*id) : std::string_view()) != wanted) continue;
    ftp = entry->FindChild("ftp");
  }
  if (ftp == nullptr || Attr(*ftp, "host").empty()) return UploadSettingsStatus::kNotSet;

  UploadSettings read;
  const std::optional<UploadProtocol> protocol = ProtocolOf(Attr(*ftp, "protocol"));
  const std::optional<std::string> folder = NormalFolder(Attr(*ftp, "folder"));
  read.host = Attr(*ftp, "host");
  read.user = Attr(*ftp, "user");
  if (!protocol || !folder || !IsHostName(read.host) || !IsUserName(read.user)) {
    return UploadSettingsStatus::kInvalid;
  }
  read.protocol = *protocol;
  read.folder = *folder;
  const std::string port = Attr(*ftp, "port");
  read.port = DefaultPort(read.protocol);
  if (!port.empty()) {
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), read.port);
    if (ec != std::errc() || end != port.data() + port.size() || read.port < 1 ||
        read.port > 65535) {
      return UploadSettingsStatus::kInvalid;
    }
  }
  settings = read;
  return UploadSettingsStatus::kRead;
}

std::string_view ProtocolName(UploadProtocol protocol) {
  switch (protocol) {
    case UploadProtocol::kSftp: return "sftp";
    case UploadProtocol::kFtp: return "ftp";
    case UploadProtocol::kFtps: return "ftps";
  }
  return "sftp";
}

int DefaultPort(UploadProtocol protocol) { return protocol == UploadProtocol::kSftp ? 22 : 21; }

std::string TargetName(const UploadSettings& settings) {
  return std::string(ProtocolName(settings.protocol)) + " " + settings.user + "@" + settings.host +
         ":" + std::to_string(settings.port) + " " + settings.folder;
}

}  // namespace lumireel
