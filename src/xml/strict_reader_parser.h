// Internal to the strict reader: the shared node record behind XmlReadNode
// and the parse that builds a tree of records from a text. Only
// strict_reader*.cpp include this.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/strict_reader.h"

namespace lumireel {

struct XmlReadAttribute {
  std::string name;
  std::string value;
  bool has_value = false;  // false for an attribute written without `=`
};

struct XmlReadRawRecord {
  std::string content;
  const char* open_marker = nullptr;  // constant markers, not owned
  const char* close_marker = nullptr;
};

// Kinds of the entries of XmlReadContent::order.
enum XmlReadContentKind : std::int32_t {
  kXmlReadChild = 0,
  kXmlReadAttribute = 1,
  kXmlReadText = 2,
  kXmlReadRaw = 3,
};

// The content lists of one element, each at its exact length. An element
// that holds nothing has none, so the many leaf elements of a photo list
// stay small.
struct XmlReadContent {
  std::vector<std::shared_ptr<XmlReadRecord>> children;
  std::vector<std::string> texts;
  std::vector<XmlReadRawRecord> raw_sections;
  std::vector<XmlReadAttribute> attributes;
  // One entry per item in document order: index within its list * 4 + kind.
  // Left empty when the element holds one kind of item only, whose list
  // is then in document order itself; this saves an allocation for most
  // elements of a photo list.
  std::vector<std::int32_t> order;
};

// The record a handle shares. A parent holds its children; a child only
// observes its parent, so a child the caller keeps survives its parent.
struct XmlReadRecord {
  std::string name;
  bool has_name = false;  // false for the unnamed root
  bool declaration = false;
  std::weak_ptr<XmlReadRecord> parent;
  std::unique_ptr<XmlReadContent> content;  // null for an element that holds nothing
};

struct XmlStrictParse {
  std::shared_ptr<XmlReadRecord> root;  // null when the parse failed
  XmlReadError error = eXmlReadNoError;
  int line = 0;  // where a failed parse stopped; 0 otherwise
  int column = 0;
};

// Parses a zero-terminated text into an unnamed root. Never reads past the
// terminating zero; nesting is limited to XmlReadNode::kMaxDepth.
// `fold`, when not null, is called for every element completed (see
// XmlReadFold).
XmlStrictParse ParseStrictXml(const char* text, const XmlReadFold* fold = nullptr);

}  // namespace lumireel
