// Fuzz target: the element tree's parser (CXmlDocument::ParseText) and
// writer (ToXml).
//
// Every input is parsed twice:
// - with the default options (backslash escape on), as requests and
//   adjustment documents are read, for memory safety and bounded depth;
// - as the program reads the XML files it keeps (catalogue, photo lists,
//   keyword files: escape off). Those files are read, changed and written
//   back with ToXml, so what ToXml writes must parse again into the same
//   tree: the same nodes of the same kinds, names and attributes, and the
//   same texts. Only blanks at the start of a text may go: the tree keeps
//   one text per element and the writer puts it after the element's
//   children, and blanks that follow a comment, CDATA section or processing
//   instruction are skipped when read again. A failure prints what differs
//   and both texts, and aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "xml/element_tree.h"

namespace {

using lumireel::CXmlDocument;
using lumireel::XmlParseInfo;

// Parses with the options of the kept files; false, with the parser's
// message in `error`, on failure.
bool ParseKept(CXmlDocument& document, std::string_view text, std::string* error = nullptr) {
  XmlParseInfo info;
  info.escape_char = 0;
  const bool parsed = document.ParseText(text, &info) != nullptr;
  if (!parsed && error != nullptr) *error = info.error_text;
  return parsed;
}

// `text` without the blanks it starts with.
std::string_view Unindented(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string::npos ? std::string_view() : std::string_view(text).substr(start);
}

// What differs between the tree read from a text and the tree read from its
// rewrite, or empty when nothing does.
std::string Difference(const lumireel::CXmlNode& read, const lumireel::CXmlNode& reread) {
  const std::string where = "<" + read.name + ">: ";
  if (read.kind != reread.kind || read.name != reread.name) {
    return where + "became <" + reread.name + ">";
  }
  if (Unindented(read.value) != Unindented(reread.value)) {
    return where + "text \"" + read.value + "\" became \"" + reread.value + "\"";
  }
  const auto& attributes = read.attributes();
  if (attributes.size() != reread.attributes().size()) return where + "attributes added or lost";
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    const lumireel::CXmlAttr& a = *attributes[i];
    const lumireel::CXmlAttr& b = *reread.attributes()[i];
    if (a.name != b.name || a.value != b.value) {
      return where + a.name + "=\"" + a.value + "\" became " + b.name + "=\"" + b.value + "\"";
    }
  }
  if (read.ChildCount() != reread.ChildCount()) return where + "children added or lost";
  for (std::size_t i = 0; i < read.ChildCount(); ++i) {
    std::string difference = Difference(*read.ChildAt(i), *reread.ChildAt(i));
    if (!difference.empty()) return difference;
  }
  return {};
}

[[noreturn]] void Fail(const char* what, const std::string& first, const std::string& second) {
  std::fprintf(stderr, "fuzz_parse_text: %s\n--- written\n", what);
  std::fwrite(first.data(), 1, first.size(), stderr);
  std::fputs("\n--- then\n", stderr);
  std::fwrite(second.data(), 1, second.size(), stderr);
  std::fputs("\n", stderr);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  CXmlDocument request;
  if (request.ParseText(text) != nullptr) (void)request.ToXml();

  CXmlDocument kept;
  if (!ParseKept(kept, text)) return 0;
  const std::string written = kept.ToXml();
  CXmlDocument reread;
  std::string error;
  if (!ParseKept(reread, written, &error)) {
    Fail(("the written text does not parse: " + error).c_str(), written, "");
  }
  const std::string difference = Difference(kept, reread);
  if (!difference.empty()) Fail(difference.c_str(), written, reread.ToXml());
  return 0;
}
