#include "library/stored_xml.h"

#include <filesystem>
#include <functional>
#include <system_error>

#include "bridge/code_page.h"
#include "bridge/file_utils.h"

namespace lumireel {
namespace {

bool IsForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

// U+FFFE and U+FFFF in UTF-8.
bool IsNonCharacterAt(std::string_view text, size_t pos) {
  return text.size() - pos >= 3 && text[pos] == '\xEF' && text[pos + 1] == '\xBF' &&
         (text[pos + 2] == '\xBE' || text[pos + 2] == '\xBF');
}

}  // namespace

bool ParseStoredXml(std::string_view text, CXmlDocument& document, bool* whole) {
  XmlParseInfo info;
  info.escape_char = 0;
  const char* end = document.ParseText(text, &info);
  if (whole != nullptr) *whole = end == text.data() + text.size();
  return end != nullptr && document.RootElement() != nullptr;
}

bool ParseStoredXmlForAppend(std::string_view text, CXmlDocument& document) {
  document.KeepRootChildrenAsText();
  return ParseStoredXml(text, document);
}

TextStamp StampOf(std::string_view text) {
  return {text.size(), std::hash<std::string_view>{}(text)};
}

CXmlNode* FindTopLevelElement(const CXmlDocument& document, std::string_view name) {
  for (const auto& child : document.children()) {
    if (child->kind == XmlNodeKind::Element && child->name == name) return child.get();
  }
  return nullptr;
}

bool NothingAt(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(NativePath(path), ec);
  return status.type() == std::filesystem::file_type::not_found;
}

std::string XmlSafeText(std::string_view input) {
  const std::string text = ToValidUtf8(input);
  std::string safe;
  safe.reserve(text.size());
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if (IsForbiddenControl(static_cast<unsigned char>(text[pos]))) {
      safe.append(kReplacementCharacter);
    } else if (IsNonCharacterAt(text, pos)) {
      safe.append(kReplacementCharacter);
      pos += 2;
    } else {
      safe.push_back(text[pos]);
    }
  }
  return safe;
}

}  // namespace lumireel
