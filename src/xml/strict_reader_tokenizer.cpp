// The strict reader's tokenizer.

#include "xml/strict_reader_tokenizer.h"

#include <cstring>

namespace lumireel {
namespace {

constexpr XmlRawMarker kRawMarkers[] = {
    {"<![CDATA[", "]]>"}, {"<PRE>", "</PRE>"}, {"<Script>", "</Script>"},
    {"<!--", "-->"},      {"<!DOCTYPE", ">"},
};

// Stops at the first difference, so a zero in `text` ends the comparison.
bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (LowerAscii(*text) != LowerAscii(*prefix)) return false;
  }
  return true;
}

}  // namespace

XmlToken XmlTokenizer::Next() {
  SkipSpace();
  XmlToken token;
  token.start = cursor_;
  const char c = *cursor_;
  if (c == '\0') return token;
  if (c == '<') return Markup(token);
  if (c == '"' || c == '\'') return Quoted(token);
  if (c == '/' && cursor_[1] == '>') return Advance(token, XmlTokenKind::kShortClose, 2);
  if (c == '=') return Advance(token, XmlTokenKind::kEquals, 1);
  if (c == '>') return Advance(token, XmlTokenKind::kTagClose, 1);
  return Text(token);
}

XmlToken XmlTokenizer::Advance(XmlToken& token, XmlTokenKind kind, std::size_t length) {
  token.kind = kind;
  cursor_ += length;
  return token;
}

// Every raw marker opens with `<`, so trying them here is trying them
// first at every token start.
XmlToken XmlTokenizer::Markup(XmlToken& token) {
  for (const XmlRawMarker& marker : kRawMarkers) {
    if (StartsWithNoCase(cursor_, marker.open)) {
      token.marker = &marker;
      return Advance(token, XmlTokenKind::kRaw, std::strlen(marker.open));
    }
  }
  if (cursor_[1] == '/') return Advance(token, XmlTokenKind::kEndTagOpen, 2);
  if (cursor_[1] == '?') return Advance(token, XmlTokenKind::kDeclarationOpen, 2);
  return Advance(token, XmlTokenKind::kTagOpen, 1);
}

// A quote whose partner does not come before the next `<` or the end is
// the first character of ordinary text.
XmlToken XmlTokenizer::Quoted(XmlToken& token) {
  const char quote = *cursor_;
  const char* p = cursor_ + 1;
  while (*p != quote && *p != '<' && *p != '\0') ++p;
  if (*p != quote) return Text(token);
  token.kind = XmlTokenKind::kQuoted;
  token.value = std::string_view(cursor_ + 1, static_cast<std::size_t>(p - cursor_ - 1));
  cursor_ = p + 1;
  SkipSpace();
  return token;
}

// Text runs to whitespace, `<`, `=`, `>` or a `/` followed by `>`. Its
// first character is never one of those, whatever it is.
XmlToken XmlTokenizer::Text(XmlToken& token) {
  const char* p = cursor_ + 1;
  while (*p != '\0' && !IsXmlSpace(*p) && *p != '<' && *p != '=' && *p != '>' &&
         !(*p == '/' && p[1] == '>')) {
    ++p;
  }
  token.kind = XmlTokenKind::kText;
  token.value = std::string_view(cursor_, static_cast<std::size_t>(p - cursor_));
  cursor_ = p;
  return token;
}

}  // namespace lumireel
