// The strict reader's entry points, error texts and tree queries.

#include "xml/strict_reader.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "xml/strict_reader_parser.h"
#include "xml/strict_reader_tokenizer.h"

namespace lumireel {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool NameIs(const XmlReadRecord& record, std::string_view name) {
  return record.has_name && EqualsNoCase(record.name, name);
}

const XmlReadContent* ContentOf(const std::shared_ptr<XmlReadRecord>& record) {
  return record ? record->content.get() : nullptr;
}

template <typename T>
const T* Item(const std::vector<T>* list, int index) {
  if (list == nullptr || index < 0 || static_cast<std::size_t>(index) >= list->size()) {
    return nullptr;
  }
  return &(*list)[static_cast<std::size_t>(index)];
}

// The first top-level element named `tag`, looking inside declaration
// elements, which hold the rest of the document; null when there is none.
std::shared_ptr<XmlReadRecord> FindTopLevel(const XmlReadRecord& root, std::string_view tag) {
  const XmlReadRecord* list = &root;
  std::size_t i = 0;
  while (list->content && i < list->content->children.size()) {
    const std::shared_ptr<XmlReadRecord>& child = list->content->children[i];
    if (NameIs(*child, tag)) return child;
    if (child->declaration) {
      list = child.get();
      i = 0;
    } else {
      ++i;
    }
  }
  return nullptr;
}

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// UTF-16 after its byte-order mark to UTF-8; a lone surrogate becomes
// U+FFFD and an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  const std::size_t count = bytes.size() / 2;
  auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    return big_endian ? (first << 8 | second) : (second << 8 | first);
  };
  std::string out;
  out.reserve(count + count / 2);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t code = unit(i);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(code, &out);
  }
  return out;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace

const char* XmlReadErrorText(int code) {
  static const char* const kTexts[] = {
      "No error",
      "Warning: Unmatched end tag",
      "Error: No XML data",
      "Error: First token not start tag",
      "Error: Missing start tag name",
      "Error: Missing end tag name",
      "Error: Unmatched quote",
      "Error: Unmatched end tag",
      "Error: Unexpected token found",
      "Error: Invalid tag found",
      "Error: No elements found",
      "Error: File not found",
      "Error: First Tag not found",
  };
  if (code < 0 || code >= static_cast<int>(std::size(kTexts))) return "Unknown";
  return kTexts[code];
}

XmlReadNode XmlReadNode::ParseString(const char* text, const char* tag, XmlReadResult* result) {
  return Parse(text, tag, result, nullptr);
}

XmlReadNode XmlReadNode::Parse(const char* text, const char* tag, XmlReadResult* result,
                               const XmlReadFold* fold) {
  XmlReadResult ignored;
  XmlReadResult& out = result != nullptr ? *result : ignored;
  out = XmlReadResult{};
  if (text == nullptr) {
    out.error = eXmlReadNoElements;
    return XmlReadNode();
  }
  XmlStrictParse parse = ParseStrictXml(text, fold);
  out.error = parse.error;
  out.line = parse.line;
  out.column = parse.column;
  if (!parse.root) return XmlReadNode();
  if (tag == nullptr || *tag == '\0') return XmlReadNode(std::move(parse.root));
  return XmlReadNode(FindTopLevel(*parse.root, tag));
}

XmlReadNode XmlReadNode::ParseFile(const std::string& path, const char* tag,
                                   XmlReadResult* result) {
  return ParseWholeFile(path, tag, result, nullptr);
}

XmlReadNode XmlReadNode::ParseFile(const std::string& path, const char* tag, XmlReadResult* result,
                                   const XmlReadFold& fold) {
  return ParseWholeFile(path, tag, result, &fold);
}

XmlReadNode XmlReadNode::ParseWholeFile(const std::string& path, const char* tag,
                                        XmlReadResult* result, const XmlReadFold* fold) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) {
    if (result != nullptr) *result = XmlReadResult{eXmlReadFileNotFound, 0, 0};
    return XmlReadNode();
  }
  const std::string_view view(bytes);
  if (view.starts_with("\xFF\xFE") || view.starts_with("\xFE\xFF")) {
    bytes = Utf16ToUtf8(view.substr(2), view[0] == '\xFE');
  }
  return Parse(bytes.c_str(), tag, result, fold);
}

XmlReadNode XmlReadNode::ParseFileChecked(const std::string& path, const char* tag) {
  XmlReadResult result;
  XmlReadNode node = ParseFile(path, tag, &result);
  if (result.error == eXmlReadNoError) return node;
  // Standard error, not standard output: the headless host speaks its
  // protocol on standard output, and a stray line there would break it.
  std::fprintf(stderr, "XML Parsing error inside file '%s'.\nError: %s\nAt line %i, column %i.\n",
               path.c_str(), XmlReadErrorText(result.error), result.line, result.column);
  return XmlReadNode();
}

const char* XmlReadNode::GetName() const {
  return record_ && record_->has_name ? record_->name.c_str() : nullptr;
}

int XmlReadNode::CountChildNodes() const {
  const XmlReadContent* content = ContentOf(record_);
  return content ? static_cast<int>(content->children.size()) : 0;
}

int XmlReadNode::CountChildNodes(std::string_view name) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr) return 0;
  int count = 0;
  for (const auto& child : content->children) count += NameIs(*child, name) ? 1 : 0;
  return count;
}

XmlReadNode XmlReadNode::GetChildNode(int index) const {
  const XmlReadContent* content = ContentOf(record_);
  const auto* child = Item(content ? &content->children : nullptr, index);
  return child ? XmlReadNode(*child) : XmlReadNode();
}

XmlReadNode XmlReadNode::GetChildNode(std::string_view name, int* position) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr) return XmlReadNode();
  const int from = position != nullptr && *position > 0 ? *position : 0;
  for (std::size_t i = static_cast<std::size_t>(from); i < content->children.size(); ++i) {
    if (NameIs(*content->children[i], name)) {
      if (position != nullptr) *position = static_cast<int>(i + 1);
      return XmlReadNode(content->children[i]);
    }
  }
  return XmlReadNode();
}

XmlReadNode XmlReadNode::GetChildNode(std::string_view name, int j) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr || j < 0) return XmlReadNode();
  for (const auto& child : content->children) {
    if (NameIs(*child, name) && j-- == 0) return XmlReadNode(child);
  }
  return XmlReadNode();
}

const char* XmlReadNode::GetAttribute(std::string_view name, int* position) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr) return nullptr;
  const int from = position != nullptr && *position > 0 ? *position : 0;
  for (std::size_t i = static_cast<std::size_t>(from); i < content->attributes.size(); ++i) {
    const XmlReadAttribute& attribute = content->attributes[i];
    if (EqualsNoCase(attribute.name, name)) {
      if (position != nullptr) *position = static_cast<int>(i + 1);
      return attribute.has_value ? attribute.value.c_str() : nullptr;
    }
  }
  return nullptr;
}

const char* XmlReadNode::GetAttribute(std::string_view name, int j) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr || j < 0) return nullptr;
  for (const XmlReadAttribute& attribute : content->attributes) {
    if (EqualsNoCase(attribute.name, name) && j-- == 0) {
      return attribute.has_value ? attribute.value.c_str() : nullptr;
    }
  }
  return nullptr;
}

bool XmlReadNode::IsAttributeSet(std::string_view name) const {
  const XmlReadContent* content = ContentOf(record_);
  if (content == nullptr) return false;
  for (const XmlReadAttribute& attribute : content->attributes) {
    if (EqualsNoCase(attribute.name, name)) return true;
  }
  return false;
}

const char* XmlReadNode::GetText(int index) const {
  const XmlReadContent* content = ContentOf(record_);
  const std::string* text = Item(content ? &content->texts : nullptr, index);
  return text ? text->c_str() : nullptr;
}

int XmlReadNode::CountText() const {
  const XmlReadContent* content = ContentOf(record_);
  return content ? static_cast<int>(content->texts.size()) : 0;
}

int XmlReadNode::CountAttributes() const {
  const XmlReadContent* content = ContentOf(record_);
  return content ? static_cast<int>(content->attributes.size()) : 0;
}

int XmlReadNode::CountRawSections() const {
  const XmlReadContent* content = ContentOf(record_);
  return content ? static_cast<int>(content->raw_sections.size()) : 0;
}

XmlRawSection XmlReadNode::GetRawSection(int index) const {
  const XmlReadContent* content = ContentOf(record_);
  const XmlReadRawRecord* raw = Item(content ? &content->raw_sections : nullptr, index);
  if (raw == nullptr) return XmlRawSection{};
  return XmlRawSection{raw->content.c_str(), raw->open_marker, raw->close_marker};
}

XmlReadNode::AttributePair XmlReadNode::GetAttributePair(int index) const {
  const XmlReadContent* content = ContentOf(record_);
  const XmlReadAttribute* attribute = Item(content ? &content->attributes : nullptr, index);
  if (attribute == nullptr) return AttributePair{};
  return AttributePair{attribute->name.c_str(),
                       attribute->has_value ? attribute->value.c_str() : nullptr};
}

bool XmlReadNode::IsDeclaration() const { return record_ && record_->declaration; }

int XmlReadNode::CountContent() const {
  return CountChildNodes() + CountAttributes() + CountText() + CountRawSections();
}

XmlReadNode XmlReadNode::GetParent() const {
  return record_ ? XmlReadNode(record_->parent.lock()) : XmlReadNode();
}

}  // namespace lumireel
