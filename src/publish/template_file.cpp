#include "publish/template_file.h"

#include <optional>

#include "bridge/file_utils.h"
#include "imaging/codec_utilities.h"

namespace lumireel {

std::string EncodeHtmlText(std::string_view text) {
  std::string encoded;
  encoded.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        encoded += "&amp;";
        break;
      case '<':
        encoded += "&lt;";
        break;
      case '>':
        encoded += "&gt;";
        break;
      case '"':
        encoded += "&quot;";
        break;
      case '\'':
        encoded += "&#39;";
        break;
      default:
        encoded += c;
    }
  }
  return encoded;
}

std::string FillPlaceholders(std::string text, const std::vector<std::string>& pairs) {
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    const std::string placeholder = "{" + pairs[i] + "}";
    const std::string& value = pairs[i + 1];
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
      text.replace(at, placeholder.size(), value);
    }
  }
  return text;
}

bool FillTemplateFile(const std::vector<std::string>& pairs, const std::string& template_path,
                      const std::string& target_path, const std::string& temp_folder) {
  // A template that is a link is not published: it could name any file.
  const std::optional<std::string> page = ReadTextFileUtf8(template_path, LinkPolicy::kRefuse);
  if (!page) return false;
  const std::string filled = FillPlaceholders(*page, pairs);

  const std::string temporary = JoinPath(temp_folder, MakeRandomName(7));
  if (!WriteTextFileUtf8(temporary, filled)) return WriteTextFileUtf8(target_path, filled);
  const bool copied = CopyFileReplacing(temporary, target_path);
  RemoveFile(temporary);
  return copied;
}

}  // namespace lumireel
