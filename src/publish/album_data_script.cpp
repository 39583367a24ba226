#include "publish/album_data_script.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "bridge/code_page.h"
#include "bridge/file_utils.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

constexpr char kScriptFile[] = "zel_ui\\album-data.js";
constexpr char kPhotoparts[] = "photoparts";
constexpr const char* kSettingsFiles[] = {"zel_ui/zelsetting.xml", "zel_ui/zelshow.xml",
                                          "skins/skins.xml"};

bool EndsWithXml(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ".xml";
}

// The *.xml files below `<gallery>/photoparts`, keyed by their path in the
// gallery. The walk neither follows links nor enters dot folders.
void CollectPartFiles(const fs::path& gallery, std::map<std::string, std::string>& files) {
  std::error_code ec;
  fs::recursive_directory_iterator walk(gallery / kPhotoparts,
                                        fs::directory_options::skip_permission_denied, ec);
  for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
    const fs::directory_entry& entry = *walk;
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".")) {
      if (entry.is_directory(ec) && !entry.is_symlink(ec)) walk.disable_recursion_pending();
      continue;
    }
    // The name first: the photos themselves are not looked at again.
    if (!EndsWithXml(name)) continue;
    std::error_code status_ec;
    if (fs::symlink_status(entry.path(), status_ec).type() != fs::file_type::regular) continue;
    if (std::optional<std::string> text = ReadTextFileUtf8(entry.path().string())) {
      files[entry.path().lexically_relative(gallery).generic_string()] = std::move(*text);
    }
  }
}

void AppendCodeUnitEscape(std::string& out, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

}  // namespace

std::string ScriptStringLiteral(std::string_view input) {
  const std::string text = ToValidUtf8(input);
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '<':
        AppendCodeUnitEscape(out, c);
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendCodeUnitEscape(out, c);
        } else if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
          // U+2028 / U+2029 end a line inside older script parsers.
          AppendCodeUnitEscape(out, text[i + 2] == '\xA8' ? 0x2028 : 0x2029);
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string AlbumDataScript(const std::string& gallery) {
  const fs::path root(NativePath(gallery));
  std::map<std::string, std::string> files;
  for (const char* relative : kSettingsFiles) {
    std::error_code ec;
    if (fs::symlink_status(root / relative, ec).type() != fs::file_type::regular) continue;
    if (std::optional<std::string> text = ReadTextFileUtf8((root / relative).string())) {
      files[relative] = std::move(*text);
    }
  }
  CollectPartFiles(root, files);

  std::string script =
      "// The gallery's data files, for pages opened from the disk. Written by Lumireel when\n"
      "// the album is published.\nwindow.lumireelGallery = {\"files\": {";
  const char* separator = "\n";
  for (const auto& [path, text] : files) {
    script += separator;
    script += ScriptStringLiteral(path) + ": " + ScriptStringLiteral(text);
    separator = ",\n";
  }
  return script + "\n}};\n";
}

bool WriteAlbumDataScript(const std::string& gallery) {
  return WriteTextFileUtf8(JoinPath(gallery, kScriptFile), AlbumDataScript(gallery));
}

}  // namespace lumireel
