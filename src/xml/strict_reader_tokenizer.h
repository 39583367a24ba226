// Internal to the strict reader: cuts a zero-terminated text into tokens.
#pragma once

#include <cstddef>
#include <string_view>

namespace lumireel {

inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Sections kept verbatim (CDATA, PRE, Script, comment, DOCTYPE). Their open
// markers are tried, in that order and without regard to case, before any
// other token; the close marker is searched for exactly.
struct XmlRawMarker {
  const char* open;
  const char* close;
};

enum class XmlTokenKind {
  kEnd,
  kRaw,
  kText,
  kQuoted,
  kShortClose,       // />
  kEndTagOpen,       // </
  kDeclarationOpen,  // <?
  kTagOpen,          // <
  kEquals,
  kTagClose,  // >
};

struct XmlToken {
  XmlTokenKind kind = XmlTokenKind::kEnd;
  const char* start = nullptr;  // first character in the text (a quote for kQuoted)
  std::string_view value;       // kText: the token; kQuoted: between the quotes
  const XmlRawMarker* marker = nullptr;
};

// Walks a text, never past its terminating zero. Whitespace between tokens
// is skipped; the end of the text gives kEnd, again and again.
class XmlTokenizer {
 public:
  explicit XmlTokenizer(const char* text) : cursor_(text) {}

  const char* cursor() const { return cursor_; }
  void MoveTo(const char* position) { cursor_ = position; }

  XmlToken Next();

 private:
  void SkipSpace() {
    while (IsXmlSpace(*cursor_)) ++cursor_;
  }
  XmlToken Advance(XmlToken& token, XmlTokenKind kind, std::size_t length);
  XmlToken Markup(XmlToken& token);
  XmlToken Quoted(XmlToken& token);
  XmlToken Text(XmlToken& token);

  const char* cursor_;
};

}  // namespace lumireel
