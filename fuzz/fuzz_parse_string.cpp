// Fuzz target: the strict reader (XmlReadNode::ParseString), which reads the
// movie's requests and the photo lists, and every query on the tree it
// builds.
//
// Each input is parsed without a tag and with the tag "invoke" (as requests
// are read), and the tree is walked through the public queries. Checked: an
// error other than 0 and 1 gives the empty node; every error code has a
// text; a child's parent is the node it was found under; raw sections carry
// their content and markers. An input that starts with a UTF-16 byte-order
// mark is also read from a file with ParseFile, which converts it first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "support/fuzz_sandbox.h"
#include "xml/strict_reader.h"

namespace {

using lumireel::XmlReadNode;
using lumireel::XmlReadResult;

std::string g_file;  // where UTF-16 inputs are written for ParseFile

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_parse_string: %s\n", what);
  std::abort();
}

// Sums lengths so that the reads cannot be optimised away.
std::size_t Length(const char* text) { return text != nullptr ? std::string_view(text).size() : 0; }

std::size_t Walk(const XmlReadNode& node) {
  std::size_t total = Length(node.GetName()) + (node.IsDeclaration() ? 1 : 0);
  const int attributes = node.CountAttributes();
  for (int i = 0; i < attributes; ++i) {
    const XmlReadNode::AttributePair pair = node.GetAttributePair(i);
    Check(pair.name != nullptr, "an attribute without a name");
    total += Length(pair.value) + (node.IsAttributeSet(pair.name) ? 1 : 0);
    int position = 0;
    total += Length(node.GetAttribute(pair.name, &position));
    Check(position >= 1 && position <= i + 1, "GetAttribute gave a position past the attribute");
  }
  for (int i = 0; i < node.CountText(); ++i) total += Length(node.GetText(i));
  for (int i = 0; i < node.CountRawSections(); ++i) {
    const lumireel::XmlRawSection raw = node.GetRawSection(i);
    Check(raw.content != nullptr && raw.open_marker != nullptr && raw.close_marker != nullptr,
          "a raw section without its content or markers");
    total += Length(raw.content);
  }
  Check(node.GetText(node.CountText()) == nullptr, "a text past the last one");
  Check(node.GetChildNode(-1).IsEmpty() && node.GetChildNode(node.CountChildNodes()).IsEmpty(),
        "a child outside the range");
  const int children = node.CountChildNodes();
  for (int i = 0; i < children; ++i) {
    const XmlReadNode child = node.GetChildNode(i);
    Check(!child.IsEmpty(), "an empty child inside the range");
    Check(child.GetParent().GetName() == node.GetName(), "a child whose parent is another node");
    total += Walk(child);
  }
  if (children > 0) {
    if (const char* name = node.GetChildNode(0).GetName()) {
      total += static_cast<std::size_t>(node.CountChildNodes(name));
      int position = 0;
      Check(!node.GetChildNode(name, &position).IsEmpty() && position >= 1,
            "the first child is not found by its name");
    }
  }
  return total + static_cast<std::size_t>(node.CountContent());
}

void Read(const XmlReadNode& node, const XmlReadResult& result) {
  Check(std::string_view(lumireel::XmlReadErrorText(result.error)) != "Unknown",
        "an error code without a text");
  if (result.error != lumireel::eXmlReadNoError &&
      result.error != lumireel::eXmlReadUnmatchedEndTagWarning) {
    Check(node.IsEmpty(), "an error gave a node");
  }
  static volatile std::size_t sink = 0;
  sink = sink + Walk(node);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  g_file = lumireel::fuzzing::SetUpFuzzTarget(argc, argv, "fuzz_parse_string") + "/input.xml";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* tag : {static_cast<const char*>(nullptr), "invoke"}) {
    XmlReadResult result;
    const XmlReadNode node = XmlReadNode::ParseString(text.c_str(), tag, &result);
    Read(node, result);
  }
  const std::string_view view(text);
  if (view.starts_with("\xFF\xFE") || view.starts_with("\xFE\xFF")) {
    std::ofstream(g_file, std::ios::binary | std::ios::trunc) << text;
    XmlReadResult result;
    const XmlReadNode node = XmlReadNode::ParseFile(g_file, nullptr, &result);
    Read(node, result);
  }
  return 0;
}
