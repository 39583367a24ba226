// The strict reader: turns a text into a read-only tree of elements,
// attributes, text runs and raw sections, and reports where and why parsing
// failed by an error code with a line and a column. It reads the movie's
// invoke requests and photo lists. Names are compared without regard to case
// (ASCII letters) everywhere.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace lumireel {

enum XmlReadError {
  eXmlReadNoError = 0,
  eXmlReadUnmatchedEndTagWarning = 1,
  eXmlReadNoXmlData = 2,
  eXmlReadFirstTokenNotStartTag = 3,
  eXmlReadMissingStartTagName = 4,
  eXmlReadMissingEndTagName = 5,
  eXmlReadUnmatchedQuote = 6,
  eXmlReadUnmatchedEndTag = 7,
  eXmlReadUnexpectedToken = 8,
  eXmlReadInvalidTag = 9,
  eXmlReadNoElements = 10,
  eXmlReadFileNotFound = 11,
  eXmlReadFirstTagNotFound = 12,
};

struct XmlReadResult {
  XmlReadError error = eXmlReadNoError;
  int line = 0;
  int column = 0;
};

// A raw section (CDATA, PRE, Script, comment, DOCTYPE) kept verbatim.
struct XmlRawSection {
  const char* content = nullptr;      // owned by the node
  const char* open_marker = nullptr;  // one of the constant markers
  const char* close_marker = nullptr;
};

// The text of an error code: "No error", "Warning: Unmatched end tag", ...;
// any other value gives "Unknown".
const char* XmlReadErrorText(int code);

struct XmlReadRecord;  // the shared node record
class XmlReadNode;

// Called by a parse for each element as soon as it is complete, with the
// element that holds it (still being parsed: only its name can be asked).
// Returning true drops the element from its holder at once, as if it had
// never been there; the parse goes on, and its errors are the same as
// without the fold. Lets a reader of a long list sum up its entries one at a
// time instead of keeping them all.
using XmlReadFold = std::function<bool(const XmlReadNode& holder, const XmlReadNode& element)>;

// A small handle to a shared node record; copies share the record. A handle
// without a record is the empty node: every query on it answers "nothing".
// Texts returned as `const char*` live as long as the record does; null
// stands for "none". Handles may be used from any thread, one at a time per
// tree.
class XmlReadNode {
 public:
  XmlReadNode() = default;

  // Parses a zero-terminated text. `text` null gives error 10 and the empty
  // node. With a non-empty `tag` the node returned is the first top-level
  // element (looking inside declaration elements) whose name matches it,
  // or the empty node (with the parse's own error code) when none does;
  // without a tag, the unnamed root. Errors other than 0 and 1 give the empty
  // node; an unknown entity reference is error 8 at its position, and
  // nesting deeper than kMaxDepth is error 8 too. `result` may be null.
  static XmlReadNode ParseString(const char* text, const char* tag, XmlReadResult* result);
  // Reads a whole file and parses it; a file that cannot be opened gives
  // error 11 with line and column 0. A UTF-16 file (with a byte-order mark)
  // is converted to UTF-8 first.
  static XmlReadNode ParseFile(const std::string& path, const char* tag, XmlReadResult* result);
  // ParseFile, with `fold` called for every element completed.
  static XmlReadNode ParseFile(const std::string& path, const char* tag, XmlReadResult* result,
                               const XmlReadFold& fold);
  // ParseFile; on any error (the warning included) it writes
  // "XML Parsing error inside file '%s'.\nError: %s\nAt line %i, column %i.\n"
  // to standard error and returns the empty node.
  static XmlReadNode ParseFileChecked(const std::string& path, const char* tag);

  static constexpr int kMaxDepth = 256;

  const char* GetName() const;
  int CountChildNodes() const;
  int CountChildNodes(std::string_view name) const;
  XmlReadNode GetChildNode(int index) const;
  // Scans children from *position (0 when `position` is null) for the first
  // named `name`; on success stores the index after it in *position.
  XmlReadNode GetChildNode(std::string_view name, int* position) const;
  // The j-th (from 0) child named `name`.
  XmlReadNode GetChildNode(std::string_view name, int j) const;
  // Value of the first attribute from *position named `name` (null for a
  // valueless attribute or when there is none); stores the index after it.
  const char* GetAttribute(std::string_view name, int* position) const;
  // Value of the j-th attribute named `name`.
  const char* GetAttribute(std::string_view name, int j = 0) const;
  bool IsAttributeSet(std::string_view name) const;
  const char* GetText(int index) const;
  int CountText() const;
  int CountAttributes() const;
  int CountRawSections() const;
  XmlRawSection GetRawSection(int index) const;
  struct AttributePair {
    const char* name = nullptr;
    const char* value = nullptr;
  };
  AttributePair GetAttributePair(int index) const;
  bool IsDeclaration() const;
  bool IsEmpty() const { return record_ == nullptr; }
  int CountContent() const;
  XmlReadNode GetParent() const;

  // Two handles are equal when they share a record; empty nodes are equal.
  friend bool operator==(const XmlReadNode&, const XmlReadNode&) = default;

 private:
  explicit XmlReadNode(std::shared_ptr<XmlReadRecord> record) : record_(std::move(record)) {}
  static XmlReadNode Parse(const char* text, const char* tag, XmlReadResult* result,
                           const XmlReadFold* fold);
  static XmlReadNode ParseWholeFile(const std::string& path, const char* tag, XmlReadResult* result,
                                    const XmlReadFold* fold);
  friend class XmlStrictParser;
  std::shared_ptr<XmlReadRecord> record_;
};

}  // namespace lumireel
