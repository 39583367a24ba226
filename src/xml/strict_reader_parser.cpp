// The strict reader's recursive element parser.

#include "xml/strict_reader_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "xml/strict_reader_tokenizer.h"

namespace lumireel {
namespace {

constexpr std::size_t kListBlock = 50;
constexpr std::size_t kOrderBlock = 150;

struct Entity {
  std::string_view reference;
  char character;
};
constexpr Entity kEntities[] = {
    {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'},
};

// Lists grow in whole blocks: one block at a time while short, then by at
// least half their size so that long lists are not copied over and over.
template <typename T>
void ReserveBlock(std::vector<T>& list, std::size_t block) {
  if (list.size() < list.capacity()) return;
  std::size_t grow = block;
  if (list.capacity() >= 2 * block) grow = (list.capacity() / 2 + block - 1) / block * block;
  list.reserve(list.capacity() + grow);
}

template <typename T>
void AddItem(XmlReadContent& content, std::vector<T>& list, T item, XmlReadContentKind kind) {
  ReserveBlock(list, kListBlock);
  ReserveBlock(content.order, kOrderBlock);
  content.order.push_back(static_cast<std::int32_t>(list.size() * 4) + kind);
  list.push_back(std::move(item));
}

template <typename T>
void MoveExactly(std::vector<T>& from, std::vector<T>& to) {
  to.reserve(from.size());
  std::move(from.begin(), from.end(), std::back_inserter(to));
  from.clear();
}

// Hands the lists built for a complete element over to its record, each at
// its exact length, and leaves the building lists empty for the next element
// at that depth.
void Complete(XmlReadRecord& element, XmlReadContent& building) {
  if (building.order.empty()) return;
  auto content = std::make_unique<XmlReadContent>();
  const int kinds = !building.children.empty() + !building.texts.empty() +
                    !building.raw_sections.empty() + !building.attributes.empty();
  MoveExactly(building.children, content->children);
  MoveExactly(building.texts, content->texts);
  MoveExactly(building.raw_sections, content->raw_sections);
  MoveExactly(building.attributes, content->attributes);
  if (kinds > 1) {
    MoveExactly(building.order, content->order);
  } else {
    building.order.clear();
  }
  element.content = std::move(content);
}

// Whether an end tag whose name starts at `tag` closes `element`: the name
// matches without regard to case and the end-tag name ends right there.
bool EndTagNames(const XmlReadRecord& element, const char* tag) {
  if (!element.has_name) return false;
  const std::string& name = element.name;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (LowerAscii(tag[i]) != LowerAscii(name[i])) return false;
  }
  const char next = tag[name.size()];
  return IsXmlSpace(next) || next == '/' || next == '<' || next == '=' || next == '>';
}

void DropTrailingQuestionMark(std::string_view& text) {
  if (!text.empty() && text.back() == '?') text.remove_suffix(1);
}

}  // namespace

// One parse of one text: the unnamed root's content, each element's content
// parsed recursively.
class XmlStrictParser {
 public:
  XmlStrictParser(const char* text, const XmlReadFold* fold)
      : text_(text),
        fold_(fold),
        end_(text + std::strlen(text)),
        tokens_(text),
        building_(XmlReadNode::kMaxDepth + 1) {}

  XmlStrictParse Run() {
    auto root = std::make_shared<XmlReadRecord>();
    XmlStrictParse parse;
    const bool ok = ParseContent(root, 0);
    parse.error = error_;
    if (!ok) {
      ComputePosition(&parse.line, &parse.column);
      return parse;
    }
    Complete(*root, building_[0]);
    parse.root = std::move(root);
    return parse;
  }

 private:
  enum class TagEnd { kFailed, kOutside, kComplete };

  bool Fail(XmlReadError error, const char* at) {
    error_ = error;
    error_at_ = at;
    return false;
  }

  bool FailAtCursor(XmlReadError error) { return Fail(error, tokens_.cursor()); }

  // Line and column both start at 1; a line feed starts a new line.
  void ComputePosition(int* line, int* column) const {
    *line = 1;
    *column = 1;
    for (const char* p = text_; p < error_at_; ++p) {
      if (*p == '\n') {
        ++*line;
        *column = 1;
      } else {
        ++*column;
      }
    }
  }

  // Replaces the five predefined references; any other `&` fails the parse
  // at that `&`.
  bool Decode(std::string_view in, std::string* out) {
    out->clear();
    out->reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
      const std::size_t amp = in.find('&', i);
      if (amp == std::string_view::npos) {
        out->append(in.substr(i));
        break;
      }
      out->append(in.substr(i, amp - i));
      const Entity* found = nullptr;
      for (const Entity& entity : kEntities) {
        if (in.substr(amp).starts_with(entity.reference)) found = &entity;
      }
      if (found == nullptr) return Fail(eXmlReadUnexpectedToken, in.data() + amp);
      out->push_back(found->character);
      i = amp + found->reference.size();
    }
    return true;
  }

  void AddAttribute(XmlReadContent& items, std::string_view name, std::string* value) {
    XmlReadAttribute attribute;
    attribute.name.assign(name);
    if (value != nullptr) {
      attribute.value = std::move(*value);
      attribute.has_value = true;
    }
    AddItem(items, items.attributes, std::move(attribute), kXmlReadAttribute);
  }

  // The pending text run from `start` up to `stop`, trailing whitespace cut;
  // decoded only when an end tag follows it.
  bool StoreText(XmlReadContent& items, const char* start, const char* stop, bool decode) {
    if (start == nullptr) return true;
    while (stop > start && IsXmlSpace(stop[-1])) --stop;
    const std::string_view run(start, static_cast<std::size_t>(stop - start));
    std::string text;
    if (!decode) {
      text.assign(run);
    } else if (!Decode(run, &text)) {
      return false;
    }
    AddItem(items, items.texts, std::move(text), kXmlReadText);
    return true;
  }

  // Attributes, from just after the element's name to its `>` or `/>`.
  TagEnd ParseTag(const XmlReadRecord& element, XmlReadContent& items) {
    enum class Expect { kName, kEquals, kValue } expect = Expect::kName;
    std::string_view name;
    for (;;) {
      const XmlToken token = tokens_.Next();
      const XmlTokenKind kind = token.kind;
      if (expect == Expect::kName) {
        if (kind == XmlTokenKind::kText) {
          name = token.value;
          expect = Expect::kEquals;
          continue;
        }
        if (kind == XmlTokenKind::kTagClose) return TagEnd::kOutside;
        if (kind == XmlTokenKind::kShortClose) return TagEnd::kComplete;
      } else if (expect == Expect::kEquals) {
        if (kind == XmlTokenKind::kText) {
          AddAttribute(items, name, nullptr);
          name = token.value;
          continue;
        }
        if (kind == XmlTokenKind::kTagClose || kind == XmlTokenKind::kShortClose) {
          // The `?` of a declaration's closing `?>`.
          if (element.declaration) DropTrailingQuestionMark(name);
          if (!name.empty()) AddAttribute(items, name, nullptr);
          return kind == XmlTokenKind::kTagClose ? TagEnd::kOutside : TagEnd::kComplete;
        }
        if (kind == XmlTokenKind::kEquals) {
          expect = Expect::kValue;
          continue;
        }
      } else if (kind == XmlTokenKind::kText || kind == XmlTokenKind::kQuoted) {
        std::string_view raw_value = token.value;
        if (element.declaration) DropTrailingQuestionMark(raw_value);
        std::string value;
        if (!Decode(raw_value, &value)) return TagEnd::kFailed;
        AddAttribute(items, name, &value);
        expect = Expect::kName;
        continue;
      }
      FailAtCursor(eXmlReadUnexpectedToken);
      return TagEnd::kFailed;
    }
  }

  bool ParseElement(const std::shared_ptr<XmlReadRecord>& element, int depth) {
    const TagEnd end = ParseTag(*element, building_[static_cast<std::size_t>(depth)]);
    if (end == TagEnd::kFailed) return false;
    if (end == TagEnd::kOutside && !ParseContent(element, depth)) return false;
    Complete(*element, building_[static_cast<std::size_t>(depth)]);
    return true;
  }

  bool ParseChild(const std::shared_ptr<XmlReadRecord>& parent, XmlReadContent& items, int depth,
                  const XmlToken& open) {
    const XmlToken name = tokens_.Next();
    if (name.kind != XmlTokenKind::kText) return FailAtCursor(eXmlReadMissingStartTagName);
    if (depth >= XmlReadNode::kMaxDepth) return Fail(eXmlReadUnexpectedToken, open.start);
    auto child = std::make_shared<XmlReadRecord>();
    child->name.assign(name.value);
    child->has_name = true;
    child->declaration = open.kind == XmlTokenKind::kDeclarationOpen;
    child->parent = parent;
    AddItem(items, items.children, child, kXmlReadChild);

    const int ordinary = child->declaration ? 0 : 1;
    open_.push_back(child.get());
    open_ordinary_ += ordinary;
    const bool ok = ParseElement(child, depth + 1);
    open_.pop_back();
    open_ordinary_ -= ordinary;
    // The child's items went to the lists of the next depth, so its own
    // entries are still the last ones of its holder's lists.
    if (ok && fold_ != nullptr && (*fold_)(XmlReadNode(parent), XmlReadNode(child))) {
      items.children.pop_back();
      items.order.pop_back();
    }
    return ok;
  }

  // Reads the rest of an end tag met in `element`'s content and sets
  // *complete when it ends the element. An end tag that names an enclosing
  // element closes everything up to it, with the warning. One that names no
  // open element is skipped with the warning, except at the top level of
  // the document, where it fails the parse.
  bool ReadEndTag(const XmlReadRecord& element, bool* complete) {
    const XmlToken name = tokens_.Next();
    if (name.kind != XmlTokenKind::kText) return FailAtCursor(eXmlReadMissingEndTagName);
    if (tokens_.Next().kind != XmlTokenKind::kTagClose) {
      return FailAtCursor(eXmlReadMissingEndTagName);
    }
    *complete = true;
    if (EndTagNames(element, name.start)) return true;
    for (const XmlReadRecord* open : open_) {
      if (EndTagNames(*open, name.start)) {
        error_ = eXmlReadUnmatchedEndTagWarning;
        unmatched_end_tag_ = name.start;
        return true;
      }
    }
    if (open_ordinary_ == 0) return FailAtCursor(eXmlReadUnmatchedEndTag);
    error_ = eXmlReadUnmatchedEndTagWarning;
    *complete = false;
    return true;
  }

  bool ReadRawSection(XmlReadContent& items, const XmlRawMarker& marker) {
    const char* from = tokens_.cursor();
    const std::string_view rest(from, static_cast<std::size_t>(end_ - from));
    const std::size_t at = rest.find(marker.close);
    if (at == std::string_view::npos) return Fail(eXmlReadUnmatchedEndTag, from);
    XmlReadRawRecord raw{std::string(rest.substr(0, at)), marker.open, marker.close};
    AddItem(items, items.raw_sections, std::move(raw), kXmlReadRaw);
    tokens_.MoveTo(from + at + std::strlen(marker.close));
    return true;
  }

  // The content of `element`, after its start tag, up to its end tag or the
  // end of the text (an unclosed element is accepted).
  bool ParseContent(const std::shared_ptr<XmlReadRecord>& element, int depth) {
    XmlReadContent& items = building_[static_cast<std::size_t>(depth)];
    const char* pending = nullptr;
    for (;;) {
      const XmlToken token = tokens_.Next();
      switch (token.kind) {
        case XmlTokenKind::kText:
        case XmlTokenKind::kQuoted:
        case XmlTokenKind::kEquals:
          if (pending == nullptr) pending = token.start;
          break;
        case XmlTokenKind::kTagOpen:
        case XmlTokenKind::kDeclarationOpen:
          StoreText(items, pending, token.start, false);
          pending = nullptr;
          if (!ParseChild(element, items, depth, token)) return false;
          if (unmatched_end_tag_ != nullptr) {
            if (depth == 0) return FailAtCursor(eXmlReadUnmatchedEndTag);
            if (EndTagNames(*element, unmatched_end_tag_)) unmatched_end_tag_ = nullptr;
            return true;
          }
          break;
        case XmlTokenKind::kEndTagOpen: {
          if (!StoreText(items, pending, token.start, true)) return false;
          pending = nullptr;
          bool complete = false;
          if (!ReadEndTag(*element, &complete)) return false;
          if (complete) return true;
          break;
        }
        case XmlTokenKind::kRaw:
          StoreText(items, pending, token.start, false);
          pending = nullptr;
          if (!ReadRawSection(items, *token.marker)) return false;
          break;
        case XmlTokenKind::kTagClose:
        case XmlTokenKind::kShortClose:
          return FailAtCursor(eXmlReadUnexpectedToken);
        case XmlTokenKind::kEnd:
          return true;
      }
    }
  }

  const char* text_;
  const XmlReadFold* fold_;  // may be null
  const char* end_;          // the terminating zero
  XmlTokenizer tokens_;
  XmlReadError error_ = eXmlReadNoError;
  const char* error_at_ = nullptr;
  // Name of an end tag that closes an enclosing element, while unwinding.
  const char* unmatched_end_tag_ = nullptr;
  // The lists of the element open at each depth, reused from one element
  // to the next so that short lists cost no allocation while they grow.
  std::vector<XmlReadContent> building_;
  std::vector<const XmlReadRecord*> open_;  // open elements, outermost first
  int open_ordinary_ = 0;                   // how many of them are not declarations
};

XmlStrictParse ParseStrictXml(const char* text, const XmlReadFold* fold) {
  return XmlStrictParser(text, fold).Run();
}

}  // namespace lumireel
