// Reads text into the element tree.
//
// The parser works on offsets into a std::string_view and never reads past
// its end; the text may hold NUL bytes and need not be NUL-terminated. Every
// scan moves the position forward, and a failed search for a comment, CDATA
// or processing-instruction end is remembered, so hostile text costs linear
// time. Element nesting is bounded by CXmlDocument::kMaxDepth, which also
// bounds the recursion.
#include <algorithm>
#include <memory>
#include <string>

#include "xml/element_tree.h"

namespace lumireel {

// A set of delimiter characters, tested with one table look-up.
class XmlCharSet {
 public:
  constexpr explicit XmlCharSet(std::string_view chars) {
    for (char c : chars) members_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool Has(char c) const { return members_[static_cast<unsigned char>(c)]; }

 private:
  bool members_[256] = {};
};

class XmlTreeParser {
 public:
  XmlTreeParser(std::string_view text, XmlParseInfo& info) : text_(text), info_(info) {}

  const char* ParseDocument(CXmlDocument& document);

 private:
  static constexpr size_t kFailed = std::string_view::npos;

  // The end markers of the other nodes; each has its own memo of failed
  // searches.
  enum Marker { kPiEnd = 0, kCommentEnd = 1, kCDataEnd = 2, kMarkerCount = 3 };

  size_t ParseElement(CXmlNode& node, size_t pos, int depth);
  size_t ParseContent(CXmlNode& node, size_t pos, int depth);
  size_t ParseOtherNodes(CXmlNode& node, size_t pos, bool* consumed_comment);
  void ParseProcessingInstruction(CXmlNode& node, size_t begin, size_t end);
  // Reads attributes from `pos` up to `limit`. Inside an element (`lenient`
  // false) a name or quoted value that runs out is an error; inside a
  // processing instruction it simply ends at `limit`.
  size_t ParseAttributes(CXmlNode& node, size_t pos, size_t limit, bool lenient);

  // Scanning. Each returns kFailed when nothing is found before `limit`.
  bool IsEscape(size_t pos) const;
  bool StartsWith(size_t pos, std::string_view prefix) const;
  size_t SkipSpace(size_t pos) const;
  size_t FindPlain(size_t pos, size_t limit, const XmlCharSet& set) const;
  size_t FindUnescaped(size_t pos, size_t limit, const XmlCharSet& set) const;
  size_t FindMarker(size_t pos, Marker marker);

  // The stored form of a value or text: trimmed when asked, escape characters
  // dropped, references decoded when asked.
  std::string StoredText(size_t begin, size_t end) const;

  // Records the error unless an earlier one of this parse is already there.
  void Fail(size_t pos, int code, std::string text);

  // Writes out the children parsed so far of the root whose children are
  // kept as text, and destroys them.
  void KeepChildrenAsText(CXmlNode& node);

  std::string_view text_;
  XmlParseInfo& info_;
  CXmlNode* text_root_ = nullptr;
  std::string* kept_text_ = nullptr;
  size_t no_match_from_[kMarkerCount] = {kFailed, kFailed, kFailed};
};

namespace {

constexpr std::string_view kMarkerText[] = {"?>", "-->", "]]>"};

constexpr XmlCharSet kOpen("<");
constexpr XmlCharSet kSpaceOrEquals(" =");
constexpr XmlCharSet kSpaceOrClose(" >");
constexpr XmlCharSet kDoubleQuote("\"");
constexpr XmlCharSet kSingleQuote("'");
constexpr XmlCharSet kPiNameEnd(" ?>");
constexpr XmlCharSet kElementNameEnd(" />\t\n");

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsBlank(std::string_view text) {
  for (char c : text) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsTopLevel(const CXmlNode& node) {
  return node.parent == nullptr || node.parent->kind == XmlNodeKind::Document;
}

}  // namespace

// ---------------------------------------------------------------------------
// Scanning.

bool XmlTreeParser::IsEscape(size_t pos) const {
  return info_.escape_char != 0 && text_[pos] == info_.escape_char;
}

bool XmlTreeParser::StartsWith(size_t pos, std::string_view prefix) const {
  if (pos > text_.size() || text_.size() - pos < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (text_[pos + i] != prefix[i]) return false;
  }
  return true;
}

size_t XmlTreeParser::SkipSpace(size_t pos) const {
  while (pos < text_.size() && IsSpace(text_[pos])) ++pos;
  return pos;
}

size_t XmlTreeParser::FindPlain(size_t pos, size_t limit, const XmlCharSet& set) const {
  for (; pos < limit; ++pos) {
    if (set.Has(text_[pos])) return pos;
  }
  return kFailed;
}

// An escape character makes the character after it ordinary.
size_t XmlTreeParser::FindUnescaped(size_t pos, size_t limit, const XmlCharSet& set) const {
  while (pos < limit) {
    if (IsEscape(pos)) {
      pos += 2;
    } else if (set.Has(text_[pos])) {
      return pos;
    } else {
      ++pos;
    }
  }
  return kFailed;
}

// Escape-aware search for an end marker, letters compared without regard to
// case. Once a search from `m` has failed, a later search that reaches a
// position at or after `m` agrees with that failed search from the first
// non-escape character onwards, so it stops there instead of rescanning the
// rest of the text.
size_t XmlTreeParser::FindMarker(size_t pos, Marker marker) {
  const std::string_view wanted = kMarkerText[marker];
  const size_t start = pos;
  size_t agree_after = kFailed;
  while (pos < text_.size()) {
    if (agree_after == kFailed && pos >= no_match_from_[marker]) {
      agree_after = pos;
      while (agree_after < text_.size() && IsEscape(agree_after)) ++agree_after;
    }
    if (agree_after != kFailed && pos > agree_after) break;
    if (IsEscape(pos)) {
      pos += 2;
      continue;
    }
    if (text_.size() - pos >= wanted.size()) {
      size_t i = 0;
      while (i < wanted.size() && FoldCase(text_[pos + i]) == FoldCase(wanted[i])) ++i;
      if (i == wanted.size()) return pos;
    }
    ++pos;
  }
  if (start < no_match_from_[marker]) no_match_from_[marker] = start;
  return kFailed;
}

std::string XmlTreeParser::StoredText(size_t begin, size_t end) const {
  if (info_.trim_value) {
    while (begin < end && IsSpace(text_[begin])) ++begin;
    while (end > begin && IsSpace(text_[end - 1])) --end;
  }
  std::string unescaped;
  const std::string_view raw = text_.substr(begin, end - begin);
  if (info_.escape_char == 0 || raw.find(info_.escape_char) == std::string_view::npos) {
    unescaped = raw;
  } else {
    unescaped.reserve(raw.size());
    for (size_t pos = 0; pos < raw.size(); ++pos) {
      if (raw[pos] == info_.escape_char && ++pos == raw.size()) break;  // escapes nothing
      unescaped.push_back(raw[pos]);
    }
  }
  if (!info_.decode_entities || unescaped.find('&') == std::string::npos) return unescaped;
  const XmlEntityTable& table =
      info_.entity_table != nullptr ? *info_.entity_table : XmlEntityTable::Default();
  return table.Decode(unescaped);
}

void XmlTreeParser::Fail(size_t pos, int code, std::string text) {
  if (info_.error_occurred) return;
  info_.error_occurred = true;
  info_.error_position = text_.data() + pos;
  info_.error_code = code;
  info_.error_text = std::move(text);
}

// ---------------------------------------------------------------------------
// Other nodes: processing instructions, comments, CDATA sections.

size_t XmlTreeParser::ParseOtherNodes(CXmlNode& node, size_t pos, bool* consumed_comment) {
  *consumed_comment = false;
  for (;;) {
    pos = SkipSpace(pos);
    if (StartsWith(pos, "<?")) {
      size_t end = FindMarker(pos + 2, kPiEnd);
      if (end == kFailed) break;
      ParseProcessingInstruction(node, pos + 2, end);
      pos = end + 2;
      continue;
    }
    const bool comment = StartsWith(pos, "<!--");
    const bool cdata = !comment && StartsWith(pos, "<![CDATA[");
    if (!comment && !cdata) break;
    const size_t begin = pos + (comment ? 4 : 9);
    const size_t end = FindMarker(begin, comment ? kCommentEnd : kCDataEnd);
    if (end == kFailed) break;
    if (node.parent != nullptr) {
      auto other = std::make_unique<CXmlNode>(comment ? XmlNodeKind::Comment : XmlNodeKind::CData,
                                              node.parent, node.document);
      other->name = comment ? "#COMMENT" : "#CDATA";
      other->value = text_.substr(begin, end - begin);  // kept exactly as written
      node.parent->children_.push_back(std::move(other));
    }
    *consumed_comment = true;
    pos = end + 3;
  }
  return pos;
}

// A processing instruction always belongs to the document's top-level list,
// wherever it stands in the text.
void XmlTreeParser::ParseProcessingInstruction(CXmlNode& node, size_t begin, size_t end) {
  if (node.document == nullptr) return;
  CXmlNode& top = *node.document;
  auto pi = std::make_unique<CXmlNode>(XmlNodeKind::ProcessingInstruction, &top, node.document);
  size_t name_end = FindPlain(begin, end, kPiNameEnd);
  if (name_end == kFailed) name_end = end;
  pi->name = text_.substr(begin, name_end - begin);
  ParseAttributes(*pi, name_end, end, /*lenient=*/true);
  top.children_.push_back(std::move(pi));
}

// ---------------------------------------------------------------------------
// Attributes and elements.

size_t XmlTreeParser::ParseAttributes(CXmlNode& node, size_t pos, size_t limit, bool lenient) {
  for (;;) {
    pos = SkipSpace(pos);
    if (pos >= limit || text_[pos] == '>' || text_[pos] == '/') return std::min(pos, limit);
    size_t name_end = FindPlain(pos, limit, kSpaceOrEquals);
    if (name_end == kFailed) {
      if (!lenient) {
        Fail(pos, 4, "<" + node.name + "> attribute has error ");
        return kFailed;
      }
      name_end = limit;
    }
    CXmlAttr* attr = node.AppendAttr(text_.substr(pos, name_end - pos), {});
    pos = SkipSpace(name_end);
    if (pos >= limit || text_[pos] != '=') continue;  // a valueless attribute
    pos = SkipSpace(pos + 1);
    if (pos < limit && (text_[pos] == '"' || text_[pos] == '\'')) {
      const char quote = text_[pos];
      size_t close = FindUnescaped(pos + 1, limit, quote == '"' ? kDoubleQuote : kSingleQuote);
      if (close == kFailed) {
        if (!lenient) {
          Fail(pos, 4, "<" + node.name + "> attribute has error ");
          return kFailed;
        }
        close = limit;
      }
      attr->value = StoredText(pos + 1, close);
      pos = std::min(close + 1, limit);
    } else {
      size_t value_end = FindUnescaped(pos, limit, kSpaceOrClose);
      if (value_end == kFailed) value_end = limit;
      attr->value = StoredText(pos, value_end);
      pos = value_end;
    }
  }
}

// Parses one element starting at or after `pos` into `node` and returns the
// position after it. Returns the position of `</` when an end tag comes
// first, and the position after a comment or CDATA section below the top
// level; in both cases `node` stays unnamed. kFailed on failure.
size_t XmlTreeParser::ParseElement(CXmlNode& node, size_t pos, int depth) {
  size_t open;
  for (;;) {
    open = FindUnescaped(pos, text_.size(), kOpen);
    if (open == kFailed) return kFailed;
    if (StartsWith(open, "</")) return open;
    bool consumed_comment = false;
    size_t after = ParseOtherNodes(node, open, &consumed_comment);
    if (consumed_comment && !IsTopLevel(node)) return after;
    if (after == open) break;
    // Something was consumed; whatever follows may be text or an end tag,
    // so look for the element's `<` again.
    pos = after;
  }
  if (depth > CXmlDocument::kMaxDepth) {
    Fail(open, 5, "Element nesting is too deep.");
    return kFailed;
  }
  size_t name_end = FindPlain(open + 1, text_.size(), kElementNameEnd);
  if (name_end == kFailed) name_end = text_.size();
  node.name = text_.substr(open + 1, name_end - open - 1);

  pos = ParseAttributes(node, name_end, text_.size(), /*lenient=*/false);
  if (pos == kFailed) return kFailed;
  if (pos < text_.size() && text_[pos] == '/') {
    if (StartsWith(pos + 1, ">")) return pos + 2;
    Fail(pos, 1, "Element must be closed.");
    return kFailed;
  }
  if (pos >= text_.size()) {
    Fail(pos, 1, "Element must be closed.");
    return kFailed;
  }
  // At '>': the text up to the first child or end tag is the value.
  size_t text_end = FindUnescaped(pos + 1, text_.size(), kOpen);
  if (text_end == kFailed) {
    Fail(pos, 2, node.name + " must be closed with </" + node.name + ">");
    return kFailed;
  }
  node.value = StoredText(pos + 1, text_end);
  return ParseContent(node, text_end, depth);
}

// The children, texts and end tag of `node`. The element keeps one text:
// the first run that is not blank; a blank run is kept only until one that
// is not blank replaces it.
size_t XmlTreeParser::ParseContent(CXmlNode& node, size_t pos, int depth) {
  for (;;) {
    size_t open = FindUnescaped(pos, text_.size(), kOpen);
    if (open == kFailed) {
      Fail(pos, 2, "it must be closed with </" + node.name + ">");
      return kFailed;
    }
    if (StartsWith(open, "</")) {
      pos = open;  // what a child candidate would return, without building one
    } else {
      auto child = std::make_unique<CXmlNode>(XmlNodeKind::Element, &node, node.document);
      pos = ParseElement(*child, open, depth + 1);
      if (!child->name.empty()) node.children_.push_back(std::move(child));
      if (pos == kFailed) return kFailed;
      if (&node == text_root_) KeepChildrenAsText(node);
    }

    if (StartsWith(pos, "</")) {
      const size_t name_begin = SkipSpace(pos + 2);
      const size_t name_end = FindPlain(name_begin, text_.size(), kSpaceOrClose);
      if (name_end == kFailed) {
        Fail(name_begin, 2, "it must be closed with </" + node.name + ">");
        return kFailed;
      }
      const std::string_view end_name = text_.substr(name_begin, name_end - name_begin);
      pos = name_end + 1;
      // `</name >`: the '>' after the blanks belongs to the end tag, not to
      // the parent's text.
      if (text_[name_end] == ' ') {
        const size_t close = SkipSpace(pos);
        if (StartsWith(close, ">")) pos = close + 1;
      }
      if (end_name == node.name) return pos;
      if (!info_.force_parse) {
        Fail(name_begin, 3,
             "'<" + node.name + "> ... </" + std::string(end_name) + ">' is not wel-formed.");
        return kFailed;
      }
      continue;
    }
    if (!IsBlank(node.value) || StartsWith(pos, "<")) continue;
    const size_t text_end = FindUnescaped(pos, text_.size(), kOpen);
    if (text_end == kFailed) {
      Fail(pos, 2, "it must be closed with </" + node.name + ">");
      return kFailed;
    }
    node.value = StoredText(pos, text_end);
    pos = text_end;
  }
}

void XmlTreeParser::KeepChildrenAsText(CXmlNode& node) {
  for (const auto& child : node.children_) kept_text_->append(child->ToXml());
  node.children_.clear();
}

const char* XmlTreeParser::ParseDocument(CXmlDocument& document) {
  CXmlNode& top = document;
  auto root = std::make_unique<CXmlNode>(XmlNodeKind::Element, &top, &document);
  if (document.root_children_as_text_) {
    text_root_ = root.get();
    kept_text_ = &document.text_root_children_;
    kept_text_->clear();
    kept_text_->reserve(text_.size());
  }
  size_t pos = ParseElement(*root, 0, 1);
  // An unnamed root means the text held no element before an end tag.
  if (pos == kFailed || root->name.empty()) {
    if (kept_text_ != nullptr) std::string().swap(*kept_text_);
    return nullptr;
  }
  CXmlNode& kept = *root;
  if (text_root_ != nullptr) document.text_root_ = text_root_;
  top.children_.push_back(std::move(root));
  bool consumed_comment = false;
  pos = ParseOtherNodes(kept, pos, &consumed_comment);
  return text_.data() + pos;
}

const char* CXmlDocument::ParseText(std::string_view text, XmlParseInfo* info) {
  XmlParseInfo& parse = info != nullptr ? *info : parse_info;
  parse.error_occurred = false;
  parse.error_position = nullptr;
  parse.error_code = 0;
  parse.error_text.clear();
  XmlTreeParser parser(text, parse);
  return parser.ParseDocument(*this);
}

}  // namespace lumireel
