// The element tree's nodes, queries, changes and writer. The parser lives in
// element_tree_parser.cpp.
#include "xml/element_tree.h"

#include <algorithm>
#include <utility>

namespace lumireel {

namespace {

const XmlEntityTable& TableOr(const XmlEntityTable* table) {
  return table != nullptr ? *table : XmlEntityTable::Default();
}

// Appends `text` to `out`, each of the table's characters replaced by its
// reference.
void AppendEncoded(std::string& out, std::string_view text, const XmlEntityTable& table) {
  for (char c : text) {
    auto entry = std::find_if(table.entries().begin(), table.entries().end(),
                              [c](const XmlEntityTable::Entry& e) { return e.character == c; });
    if (entry != table.entries().end()) {
      out.append(entry->reference);
    } else {
      out.push_back(c);
    }
  }
}

void AppendText(std::string& out, std::string_view text, const XmlWriteOptions& options) {
  if (options.encode_entities) {
    AppendEncoded(out, text, TableOr(options.entity_table));
  } else {
    out.append(text);
  }
}

// Each attribute is written followed by one space: ` x="1" y="2" `.
void AppendAttributes(std::string& out, const CXmlNode& node, const XmlWriteOptions& options) {
  if (node.attributes().empty()) return;
  out.push_back(' ');
  for (const auto& attr : node.attributes()) {
    out.append(attr->name);
    out.push_back('=');
    out.push_back(options.quote_char);
    AppendText(out, attr->value, options);
    out.push_back(options.quote_char);
    out.push_back(' ');
  }
}

// The text of the children that a document keeps as text (see
// CXmlDocument::KeepRootChildrenAsText), or null.
const std::string* ChildrenText(const CXmlNode& node) {
  return node.document != nullptr ? node.document->ChildrenTextOf(node) : nullptr;
}

bool WritesEndTag(const CXmlNode& node) {
  const std::string* kept = ChildrenText(node);
  return !node.children().empty() || !node.value.empty() || (kept != nullptr && !kept->empty());
}

// Writes everything of `node` that comes before its children.
void AppendOpening(std::string& out, const CXmlNode& node, const XmlWriteOptions& options) {
  switch (node.kind) {
    case XmlNodeKind::Element:
      out.push_back('<');
      out.append(node.name);
      AppendAttributes(out, node, options);
      out.append(WritesEndTag(node) ? ">" : "/>");
      if (const std::string* kept = ChildrenText(node)) out.append(*kept);
      break;
    case XmlNodeKind::ProcessingInstruction:
      out.append("<?");
      out.append(node.name);
      AppendAttributes(out, node, options);
      out.append("?>");
      break;
    case XmlNodeKind::Comment:
      out.append("<!--").append(node.value).append("-->");
      break;
    case XmlNodeKind::CData:
      out.append("<![CDATA[").append(node.value).append("]]>");
      break;
    case XmlNodeKind::Document:
      break;
  }
}

// Writes everything of `node` that comes after its children.
void AppendClosing(std::string& out, const CXmlNode& node, const XmlWriteOptions& options) {
  if (node.kind != XmlNodeKind::Element || !WritesEndTag(node)) return;
  AppendText(out, node.value, options);
  out.append("</").append(node.name).push_back('>');
}

// Only elements and the document write their children.
bool WritesChildren(const CXmlNode& node) {
  return node.kind == XmlNodeKind::Element || node.kind == XmlNodeKind::Document;
}

void AppendInnerText(std::string& out, const CXmlNode& node, const XmlWriteOptions& options) {
  switch (node.kind) {
    case XmlNodeKind::Element:
      // Children always use the default options; only the node's own value
      // follows the caller's.
      for (const auto& child : node.children()) {
        AppendInnerText(out, *child, XmlWriteOptions::Default());
      }
      AppendText(out, node.value, options);
      break;
    case XmlNodeKind::CData:
      out.append(node.value);
      break;
    case XmlNodeKind::Document:
      for (const auto& child : node.children()) AppendInnerText(out, *child, options);
      break;
    case XmlNodeKind::ProcessingInstruction:
    case XmlNodeKind::Comment:
      break;
  }
}

template <typename T>
auto FindOwned(std::vector<std::unique_ptr<T>>& items, const T* item) {
  return std::find_if(items.begin(), items.end(),
                      [item](const std::unique_ptr<T>& owned) { return owned.get() == item; });
}

}  // namespace

// ---------------------------------------------------------------------------
// Entity table and write options.

XmlEntityTable::XmlEntityTable()
    : entries_{{'&', "&amp;"}, {'"', "&quot;"}, {'\'', "&apos;"}, {'<', "&lt;"}, {'>', "&gt;"}} {}

const XmlEntityTable& XmlEntityTable::Default() {
  static const XmlEntityTable table;
  return table;
}

std::string XmlEntityTable::Encode(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  AppendEncoded(out, text, *this);
  return out;
}

std::string XmlEntityTable::Decode(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) amp = text.size();
    out.append(text.substr(pos, amp - pos));
    if (amp == text.size()) break;
    std::string_view rest = text.substr(amp);
    auto entry = std::find_if(entries_.begin(), entries_.end(), [rest](const Entry& e) {
      return rest.substr(0, e.reference.size()) == e.reference;
    });
    if (entry != entries_.end()) {
      out.push_back(entry->character);
      pos = amp + entry->reference.size();
    } else {
      out.push_back('&');  // not one of ours: kept as written
      pos = amp + 1;
    }
  }
  return out;
}

const XmlWriteOptions& XmlWriteOptions::Default() {
  static const XmlWriteOptions options;
  return options;
}

// ---------------------------------------------------------------------------
// Nodes.

CXmlNode::CXmlNode(XmlNodeKind kind, CXmlNode* parent, CXmlDocument* document)
    : kind(kind), parent(parent), document(document) {}

// Destroys the subtree without recursion, so a deep tree built by code cannot
// exhaust the stack.
CXmlNode::~CXmlNode() {
  std::vector<std::unique_ptr<CXmlNode>> pending = std::move(children_);
  while (!pending.empty()) {
    std::unique_ptr<CXmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children_) pending.push_back(std::move(child));
    node->children_.clear();
  }
}

CXmlNode* CXmlNode::ChildAt(size_t index) const {
  return index < children_.size() ? children_[index].get() : nullptr;
}

CXmlNode* CXmlNode::FindChild(std::string_view name) const {
  for (const auto& child : children_) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

std::vector<CXmlNode*> CXmlNode::FindChildren(std::string_view name) const {
  std::vector<CXmlNode*> found;
  for (const auto& child : children_) {
    if (child->name == name) found.push_back(child.get());
  }
  return found;
}

CXmlNode* CXmlNode::FirstElementChild() const {
  for (const auto& child : children_) {
    if (child->kind == XmlNodeKind::Element) return child.get();
  }
  return nullptr;
}

CXmlAttr* CXmlNode::FindAttr(std::string_view name) const {
  for (const auto& attr : attributes_) {
    if (attr->name == name) return attr.get();
  }
  return nullptr;
}

const std::string* CXmlNode::GetAttrValue(std::string_view name) const {
  const CXmlAttr* attr = FindAttr(name);
  return attr != nullptr ? &attr->value : nullptr;
}

const std::string* CXmlNode::GetChildValue(std::string_view name) const {
  const CXmlNode* child = FindChild(name);
  return child != nullptr ? &child->value : nullptr;
}

const std::string* CXmlNode::GetChildAttr(std::string_view child_name,
                                          std::string_view attr_name) const {
  const CXmlNode* child = FindChild(child_name);
  return child != nullptr ? child->GetAttrValue(attr_name) : nullptr;
}

std::string CXmlNode::GetInnerText(const XmlWriteOptions& options) const {
  std::string out;
  AppendInnerText(out, *this, options);
  return out;
}

std::string CXmlNode::GetChildText(std::string_view name) const {
  const CXmlNode* child = FindChild(name);
  return child != nullptr ? child->GetInnerText() : std::string();
}

CXmlNode* CXmlNode::AppendChild(std::string_view name, std::string_view text) {
  auto child = std::make_unique<CXmlNode>(XmlNodeKind::Element, this, document);
  child->name = name;
  child->value = text;
  children_.push_back(std::move(child));
  return children_.back().get();
}

CXmlAttr* CXmlNode::AppendAttr(std::string_view name, std::string_view value) {
  attributes_.push_back(std::make_unique<CXmlAttr>(std::string(name), std::string(value), this));
  return attributes_.back().get();
}

bool CXmlNode::RemoveChild(CXmlNode* node) { return DetachChild(node) != nullptr; }

bool CXmlNode::RemoveAttr(CXmlAttr* attr) { return DetachAttr(attr) != nullptr; }

// A detached item no longer points at this node, so it cannot reach it after
// this node is destroyed.
std::unique_ptr<CXmlNode> CXmlNode::DetachChild(CXmlNode* node) {
  auto it = FindOwned(children_, node);
  if (node == nullptr || it == children_.end()) return nullptr;
  std::unique_ptr<CXmlNode> detached = std::move(*it);
  children_.erase(it);
  detached->parent = nullptr;
  return detached;
}

std::unique_ptr<CXmlAttr> CXmlNode::DetachAttr(CXmlAttr* attr) {
  auto it = FindOwned(attributes_, attr);
  if (attr == nullptr || it == attributes_.end()) return nullptr;
  std::unique_ptr<CXmlAttr> detached = std::move(*it);
  attributes_.erase(it);
  detached->parent = nullptr;
  return detached;
}

// The adopted subtree joins this node's document, so no node keeps pointing
// at a document it no longer belongs to.
CXmlNode* CXmlNode::AdoptChild(std::unique_ptr<CXmlNode> node) {
  if (node == nullptr) return nullptr;
  node->parent = this;
  std::vector<CXmlNode*> pending{node.get()};
  while (!pending.empty()) {
    CXmlNode* current = pending.back();
    pending.pop_back();
    current->document = document;
    for (const auto& child : current->children_) pending.push_back(child.get());
  }
  children_.push_back(std::move(node));
  return children_.back().get();
}

void CXmlNode::Clear() {
  children_.clear();
  attributes_.clear();
}

// The copies are built before this node's own lists are replaced, so copying
// from one of this node's descendants is safe.
void CXmlNode::CopyFrom(const CXmlNode& other, bool with_children) {
  if (&other == this) return;
  std::vector<std::unique_ptr<CXmlAttr>> attributes;
  for (const auto& attr : other.attributes_) {
    attributes.push_back(std::make_unique<CXmlAttr>(attr->name, attr->value, this));
  }
  std::vector<std::unique_ptr<CXmlNode>> children;
  if (with_children) {
    for (const auto& child : other.children_) {
      auto copy = std::make_unique<CXmlNode>();
      copy->CopyFrom(*child, true);
      copy->parent = this;
      children.push_back(std::move(copy));
    }
  }
  name = other.name;
  value = other.value;
  kind = other.kind;
  parent = other.parent;
  document = other.document;
  attributes_ = std::move(attributes);
  children_ = std::move(children);
}

// Written with an explicit stack rather than recursion, so the depth of a
// tree built by code is limited only by memory.
std::string CXmlNode::ToXml(const XmlWriteOptions& options) const {
  std::string out;
  // A document that keeps its root's children as text is written at about
  // that size; reserving it spares copies of a long list while it grows.
  const CXmlNode* root = kind == XmlNodeKind::Document ? FirstElementChild() : this;
  if (const std::string* kept = root != nullptr ? ChildrenText(*root) : nullptr) {
    out.reserve(kept->size() + kept->size() / 16 + 65536);
  }
  struct Frame {
    const CXmlNode* node;
    size_t next_child;
  };
  std::vector<Frame> stack{{this, 0}};
  AppendOpening(out, *this, options);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const CXmlNode& node = *frame.node;
    if (WritesChildren(node) && frame.next_child < node.children_.size()) {
      const CXmlNode& child = *node.children_[frame.next_child++];
      AppendOpening(out, child, options);
      stack.push_back({&child, 0});  // invalidates `frame`
      continue;
    }
    AppendClosing(out, node, options);
    stack.pop_back();
  }
  return out;
}

CXmlDocument::CXmlDocument() : CXmlNode(XmlNodeKind::Document, nullptr, this) {}

}  // namespace lumireel
