// Reading a request from the movie into a command name and its arguments.
//
// A request reads `<invoke name="NAME" returntype="xml"><arguments>...</arguments></invoke>`.
// It is read twice: into the element tree, which gives the positional view
// (every child element of `arguments`, whatever its tag), and with the
// strict reader, which gives the string-only view (only `string` children,
// tag compared without regard to case).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "xml/element_tree.h"
#include "xml/strict_reader.h"

namespace lumireel {

namespace platform {
class Dialogs;
}

// Why a request could not be read; each has its own message box.
enum class RequestError {
  kNone,
  kLoading,        // the text does not parse
  kParsing,        // no root element
  kArguments,      // no `arguments` element
  kProcedureName,  // no `name` attribute
};

class InvokeRequest {
 public:
  InvokeRequest(std::unique_ptr<CXmlDocument> tree, CXmlNode* root, CXmlNode* arguments,
                XmlReadNode strict);

  // The command name as the element tree reads it (attribute `name`, exact).
  const std::string& name() const { return name_; }

  // Positional view. A missing argument gives empty text.
  size_t PositionalCount() const;
  // The argument's value, entity references decoded.
  std::string Value(size_t index) const;
  // The argument's inner text, special characters given back as references.
  std::string InnerText(size_t index) const;
  // Releases the element tree once the positional commands are done with it.
  void ReleaseTree();

  // String-only view. The command name as the strict reader reads it
  // (attribute `name`, attribute name compared without regard to case), or
  // null when there is none.
  const char* StrictName() const;
  size_t StringCount() const { return string_count_; }
  // The first text run of the index-th `string` argument; null when there
  // is no such argument or it has no text.
  const char* StringArg(size_t index) const;

 private:
  std::unique_ptr<CXmlDocument> tree_;
  CXmlNode* arguments_;
  std::string name_;
  XmlReadNode strict_;
  XmlReadNode strict_arguments_;
  size_t string_count_ = 0;
};

struct ReadRequestResult {
  RequestError error = RequestError::kNone;
  std::optional<InvokeRequest> request;
};

// Reads a request text; on error `request` is empty.
ReadRequestResult ReadInvokeRequest(std::string_view text);

// Shows the message box of a malformed request (error icon, OK only, owned
// by the main window). Does nothing for kNone.
void ShowRequestError(platform::Dialogs& dialogs, RequestError error);

// Reads an argument text as the C library's decimal conversion does: leading
// blanks skipped, optional sign, digits up to the first non-digit; 0 when
// there are none. Out-of-range values saturate.
long ReadDecimal(const char* text);
long ReadDecimal(std::string_view text);

}  // namespace lumireel
