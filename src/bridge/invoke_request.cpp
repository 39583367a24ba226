#include "bridge/invoke_request.h"

#include <cctype>
#include <climits>

#include "platform/dialogs.h"

namespace lumireel {
namespace {

bool EqualsNoCase(const char* a, std::string_view b) {
  if (a == nullptr) return false;
  size_t i = 0;
  for (; i < b.size(); ++i) {
    if (a[i] == '\0') return false;
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return a[i] == '\0';
}

}  // namespace

InvokeRequest::InvokeRequest(std::unique_ptr<CXmlDocument> tree, CXmlNode* root,
                             CXmlNode* arguments, XmlReadNode strict)
    : tree_(std::move(tree)), arguments_(arguments), strict_(std::move(strict)) {
  if (const std::string* name = root->GetAttrValue("name")) name_ = *name;
  // The string-only view belongs to the `invoke` element only: a request
  // whose root has another name offers no string arguments.
  if (EqualsNoCase(strict_.GetName(), "invoke")) {
    strict_arguments_ = strict_.GetChildNode("arguments", 0);
    string_count_ = static_cast<size_t>(strict_arguments_.CountChildNodes("string"));
  }
}

size_t InvokeRequest::PositionalCount() const {
  if (arguments_ == nullptr) return 0;
  size_t count = 0;
  for (const auto& child : arguments_->children()) {
    if (child->kind == XmlNodeKind::Element) ++count;
  }
  return count;
}

namespace {
const CXmlNode* PositionalAt(const CXmlNode* arguments, size_t index) {
  if (arguments == nullptr) return nullptr;
  for (const auto& child : arguments->children()) {
    if (child->kind != XmlNodeKind::Element) continue;
    if (index == 0) return child.get();
    --index;
  }
  return nullptr;
}
}  // namespace

std::string InvokeRequest::Value(size_t index) const {
  const CXmlNode* node = PositionalAt(arguments_, index);
  return node != nullptr ? node->value : std::string();
}

std::string InvokeRequest::InnerText(size_t index) const {
  const CXmlNode* node = PositionalAt(arguments_, index);
  return node != nullptr ? node->GetInnerText() : std::string();
}

void InvokeRequest::ReleaseTree() {
  arguments_ = nullptr;
  tree_.reset();
}

const char* InvokeRequest::StrictName() const { return strict_.GetAttribute("name", 0); }

const char* InvokeRequest::StringArg(size_t index) const {
  if (index >= string_count_) return nullptr;
  return strict_arguments_.GetChildNode("string", static_cast<int>(index)).GetText(0);
}

ReadRequestResult ReadInvokeRequest(std::string_view text) {
  ReadRequestResult result;
  // The strict reader needs a terminated text; a NUL inside ends it there.
  std::string terminated(text);
  XmlReadNode strict = XmlReadNode::ParseString(terminated.c_str(), "invoke", nullptr);

  auto tree = std::make_unique<CXmlDocument>();
  if (tree->ParseText(text) == nullptr) {
    result.error = RequestError::kLoading;
    return result;
  }
  CXmlNode* root = tree->RootElement();
  if (root == nullptr) {
    result.error = RequestError::kParsing;
    return result;
  }
  CXmlNode* arguments = root->FindChild("arguments");
  if (arguments == nullptr || arguments->kind != XmlNodeKind::Element) {
    result.error = RequestError::kArguments;
    return result;
  }
  if (root->FindAttr("name") == nullptr) {
    result.error = RequestError::kProcedureName;
    return result;
  }
  result.request.emplace(std::move(tree), root, arguments, std::move(strict));
  return result;
}

void ShowRequestError(platform::Dialogs& dialogs, RequestError error) {
  platform::MessageBoxRequest box;
  box.icon = platform::MessageIcon::kError;
  box.buttons = platform::MessageButtons::kOk;
  switch (error) {
    case RequestError::kNone:
      return;
    case RequestError::kLoading:
      box.caption = "XML Loading Error";
      box.text = "Can't recognize ActiveX request";
      break;
    case RequestError::kParsing:
      box.caption = "XML Parsing Error";
      box.text = "Can't get root element from ActiveX request";
      break;
    case RequestError::kArguments:
      box.caption = "XML Arguments Error";
      box.text = "Can't get arguments list from ActiveX request";
      break;
    case RequestError::kProcedureName:
      box.caption = "XML Procedure Name Error";
      box.text = "Can't get procedure name from ActiveX request";
      break;
  }
  dialogs.ShowMessageBox(box);
}

long ReadDecimal(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' ||
         *text == '\v') {
    ++text;
  }
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    int digit = *text - '0';
    if (!negative) {
      value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    } else {
      value = value < (LONG_MIN + digit) / 10 ? LONG_MIN : value * 10 - digit;
    }
  }
  return value;
}

long ReadDecimal(std::string_view text) { return ReadDecimal(std::string(text).c_str()); }

}  // namespace lumireel
