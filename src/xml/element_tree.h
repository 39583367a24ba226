// The element tree: the program's editable model of an XML file.
//
// A file is read into a CXmlDocument with ParseText, nodes are looked up,
// added, changed or removed, and the document is written back with ToXml.
// Every XML file the program writes passes through this tree. Names are
// compared exactly (case matters). The writer adds no line breaks or
// indentation, and a backslash is the parser's escape character, so writers
// that store Windows paths double each backslash first.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumireel {

class CXmlDocument;
class CXmlNode;

enum class XmlNodeKind {
  Element = 0,
  ProcessingInstruction = 1,
  Comment = 2,
  CData = 3,
  Document = 4,
};

// The five predefined references, in this order: & " ' < >.
class XmlEntityTable {
 public:
  struct Entry {
    char character;
    std::string_view reference;
  };

  // The process-wide table, built once.
  static const XmlEntityTable& Default();

  const std::vector<Entry>& entries() const { return entries_; }
  // Replaces each of the table's characters by its reference.
  std::string Encode(std::string_view text) const;
  // Replaces each of the table's references by its character; any other
  // `&` sequence is kept unchanged.
  std::string Decode(std::string_view text) const;

 private:
  XmlEntityTable();
  std::vector<Entry> entries_;
};

// Options and error report of one parse.
struct XmlParseInfo {
  bool trim_value = false;
  bool decode_entities = true;
  const XmlEntityTable* entity_table = &XmlEntityTable::Default();
  char escape_char = '\\';  // 0 switches escaping off
  bool force_parse = false;

  // Set by the first error of the parse; later errors do not overwrite it.
  bool error_occurred = false;
  const char* error_position = nullptr;  // into the parsed text
  int error_code = 0;  // 1 not closed, 2 closing tag missing, 3 mismatch, 4 attribute, 5 too deep
  std::string error_text;
};

struct XmlWriteOptions {
  bool line_breaks = true;  // carried, not used by the writer
  bool encode_entities = true;
  char quote_char = '"';
  const XmlEntityTable* entity_table = &XmlEntityTable::Default();
  int tab_base = 0;  // carried, not used by the writer

  // The process-wide default options that every caller passes.
  static const XmlWriteOptions& Default();
};

class CXmlAttr {
 public:
  CXmlAttr(std::string name, std::string value, CXmlNode* parent)
      : name(std::move(name)), value(std::move(value)), parent(parent) {}

  std::string name;
  std::string value;
  CXmlNode* parent;  // not owned
};

// A node owns its children and attributes; its parent is not owned.
class CXmlNode {
 public:
  explicit CXmlNode(XmlNodeKind kind = XmlNodeKind::Element, CXmlNode* parent = nullptr,
                    CXmlDocument* document = nullptr);
  virtual ~CXmlNode();
  CXmlNode(const CXmlNode&) = delete;
  CXmlNode& operator=(const CXmlNode&) = delete;

  std::string name;   // "#COMMENT", "#CDATA", or the PI target for other kinds
  std::string value;  // element text, comment or CDATA content
  XmlNodeKind kind;
  CXmlNode* parent;        // not owned; the document for top-level nodes
  CXmlDocument* document;  // the document the node belongs to, or null

  // Children and attributes, in document order.
  const std::vector<std::unique_ptr<CXmlNode>>& children() const { return children_; }
  const std::vector<std::unique_ptr<CXmlAttr>>& attributes() const { return attributes_; }

  // Queries: names compared exactly; misses give null.
  size_t ChildCount() const { return children_.size(); }
  CXmlNode* ChildAt(size_t index) const;  // null when out of range
  CXmlNode* FindChild(std::string_view name) const;
  std::vector<CXmlNode*> FindChildren(std::string_view name) const;
  // The first child of kind Element, or null.
  CXmlNode* FirstElementChild() const;
  CXmlAttr* FindAttr(std::string_view name) const;
  const std::string* GetAttrValue(std::string_view name) const;
  const std::string* GetChildValue(std::string_view name) const;
  const std::string* GetChildAttr(std::string_view child_name, std::string_view attr_name) const;
  // Element: the inner texts of the children in order, then the value
  // (entity-encoded when the options ask for it); CData: its content;
  // Document: its children's texts; PI and Comment: empty.
  std::string GetInnerText(const XmlWriteOptions& options = XmlWriteOptions::Default()) const;
  // GetInnerText of FindChild(name), or empty text.
  std::string GetChildText(std::string_view name) const;

  // Changes.
  CXmlNode* AppendChild(std::string_view name, std::string_view text = {});
  // Appends; never replaces an attribute of the same name.
  CXmlAttr* AppendAttr(std::string_view name, std::string_view value);
  bool RemoveChild(CXmlNode* node);
  bool RemoveAttr(CXmlAttr* attr);
  std::unique_ptr<CXmlNode> DetachChild(CXmlNode* node);
  std::unique_ptr<CXmlAttr> DetachAttr(CXmlAttr* attr);
  // Takes ownership of `node` and appends it (setting its parent).
  CXmlNode* AdoptChild(std::unique_ptr<CXmlNode> node);
  void Clear();
  // This node becomes a copy of `other`: name, value, kind, parent and
  // document pointers, attributes; with_children copies the subtree too.
  void CopyFrom(const CXmlNode& other, bool with_children);

  // The node and its subtree as text: no line breaks, no indentation.
  std::string ToXml(const XmlWriteOptions& options = XmlWriteOptions::Default()) const;

 protected:
  friend class XmlTreeParser;
  std::vector<std::unique_ptr<CXmlNode>> children_;
  std::vector<std::unique_ptr<CXmlAttr>> attributes_;
};

class CXmlDocument : public CXmlNode {
 public:
  CXmlDocument();

  // Parses `text` into this (empty) document. Returns the position just after
  // what was parsed, or null on failure; `info` null uses the document's own
  // parse_info. On failure the nodes built so far stay, and the info holds
  // the first error. Nesting deeper than kMaxDepth is an error (code 5).
  const char* ParseText(std::string_view text, XmlParseInfo* info = nullptr);

  // The first top-level Element, or null.
  CXmlNode* RootElement() const { return FirstElementChild(); }

  // Called before ParseText: the root element's children are not kept as
  // nodes but written out (as ToXml with the default options writes them)
  // as soon as each is parsed, so that a long list costs about the size of
  // its text. Queries then see only the children added to the root after the
  // parse; ToXml writes the kept text in front of them. For callers that
  // append to the root and write the document back with the default options.
  void KeepRootChildrenAsText() { root_children_as_text_ = true; }
  // The kept text of `node`'s children when `node` is that root, else null.
  const std::string* ChildrenTextOf(const CXmlNode& node) const {
    return &node == text_root_ ? &text_root_children_ : nullptr;
  }

  XmlParseInfo parse_info;

  static constexpr int kMaxDepth = 256;

 private:
  friend class XmlTreeParser;
  bool root_children_as_text_ = false;
  const CXmlNode* text_root_ = nullptr;  // the root whose children are kept as text
  std::string text_root_children_;
};

}  // namespace lumireel
