// How the album library reads and writes the XML files it keeps (catalogue,
// photo lists, keyword files).
//
// These files are shared with the movie, which reads them as ordinary XML:
// a backslash in a name or keyword is stored as it is, never doubled. They
// are therefore parsed with the element tree's backslash escape switched
// off, so that a parse followed by ToXml gives back every value unchanged
// and a name such as `C:\` cannot swallow the markup after it.
#pragma once

#include <string>
#include <string_view>

#include "xml/element_tree.h"

namespace lumireel {

// Parses `text` into the empty `document`: the five predefined references
// are decoded and backslashes are ordinary characters. True when the text
// parsed and holds a root element; on false the document may hold a part.
// `whole`, when given, tells whether nothing but comments, processing
// instructions and blanks follows the root (the parser ignores the rest).
[[nodiscard]] bool ParseStoredXml(std::string_view text, CXmlDocument& document,
                                  bool* whole = nullptr);

// ParseStoredXml for a list that is only appended to and written back: the
// root's children are kept as their text rather than as nodes (see
// CXmlDocument::KeepRootChildrenAsText), so a long list costs about its own
// size. ToXml of the document gives what it gives after ParseStoredXml.
[[nodiscard]] bool ParseStoredXmlForAppend(std::string_view text, CXmlDocument& document);

// A file's text summed up in its size and a hash, to tell cheaply whether a
// file still holds the text that was read or written before.
struct TextStamp {
  std::size_t size = 0;
  std::size_t hash = 0;
  bool operator==(const TextStamp&) const = default;
};
[[nodiscard]] TextStamp StampOf(std::string_view text);

// The first top-level element of `document` named exactly `name`, or null.
CXmlNode* FindTopLevelElement(const CXmlDocument& document, std::string_view name);

// True when nothing at all (no file, folder or link) is at `path`: a file
// that is there but cannot be read is not "nothing" and must not be
// replaced by a new one.
[[nodiscard]] bool NothingAt(const std::string& path);

// `text` made well-formed UTF-8 (as the files are written) with every
// character that an XML 1.0 document may not hold (the control characters
// other than tab, line feed and carriage return, and U+FFFE and U+FFFF)
// replaced by U+FFFD, so that a value built from it keeps the file
// well-formed. Other text comes back unchanged.
[[nodiscard]] std::string XmlSafeText(std::string_view text);

}  // namespace lumireel
