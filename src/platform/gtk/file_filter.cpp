#include "platform/gtk/file_filter.h"

namespace lumireel::platform::gtk {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits at every `separator`; a trailing separator ends the last part
// instead of starting an empty one.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const std::size_t end = text.find(separator);
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::vector<DialogFilter> ParseFileFilters(std::string_view text) {
  std::vector<DialogFilter> filters;
  const std::vector<std::string_view> parts = Split(text, '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    DialogFilter filter;
    filter.name = std::string(Trim(parts[i]));
    for (std::string_view pattern : Split(parts[i + 1], ';')) {
      pattern = Trim(pattern);
      if (!pattern.empty()) filter.patterns.push_back(DialogGlob(pattern));
    }
    if (filter.patterns.empty()) continue;
    if (filter.name.empty()) filter.name = std::string(Trim(parts[i + 1]));
    filters.push_back(std::move(filter));
  }
  return filters;
}

std::vector<DialogFilter> WithDesktopFilters(std::vector<DialogFilter> filters, bool photos) {
  // The endings of the pictures the program imports (JPEG, PNG, GIF, BMP,
  // WebP, TIFF, HEIF and AVIF).
  static constexpr std::string_view kPictureEndings[] = {
      "*.jpg",  "*.jpeg", "*.jpe", "*.png",  "*.gif",  "*.bmp",
      "*.webp", "*.tif",  "*.tiff", "*.heic", "*.heif", "*.avif"};
  bool shows_all = false;
  for (const DialogFilter& filter : filters) {
    for (const std::string& pattern : filter.patterns) shows_all = shows_all || pattern == "*";
  }
  if (photos) {
    DialogFilter pictures{"All pictures", {}};
    for (std::string_view ending : kPictureEndings) pictures.patterns.push_back(DialogGlob(ending));
    filters.push_back(std::move(pictures));
  }
  if (!shows_all) filters.push_back(DialogFilter{"All files", {"*"}});
  return filters;
}

std::string DialogGlob(std::string_view pattern) {
  if (pattern == "*.*") return "*";
  std::string glob;
  glob.reserve(pattern.size() * 4);
  for (char c : pattern) {
    if (IsAsciiLetter(c)) {
      const char lower = static_cast<char>(c | 0x20);
      const char upper = static_cast<char>(c & ~0x20);
      glob += '[';
      glob += lower;
      glob += upper;
      glob += ']';
    } else if (c == '[') {
      glob += "[[]";
    } else {
      glob += c;
    }
  }
  return glob;
}

}  // namespace lumireel::platform::gtk
