// Page templates of the galleries: a template file is copied to its place in
// a gallery with its placeholders ("{key}") filled in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumireel {

// `text` with & < > " ' replaced by their character references, so that it
// reads as plain text wherever it is put into an HTML page.
[[nodiscard]] std::string EncodeHtmlText(std::string_view text);

// `text` with every "{key}" replaced by its value, for the (key, value)
// pairs taken two at a time from `pairs`, in order (a lone last key is
// ignored). Replaced text is not searched again for the same key.
[[nodiscard]] std::string FillPlaceholders(std::string text, const std::vector<std::string>& pairs);

// Copies the template `template_path` to `target_path` with its placeholders
// filled (FillPlaceholders). The filled text is written to a file with a
// random 7-letter name in `temp_folder`, copied over the target and deleted.
// When the temporary file cannot be written (no such folder) the target is
// written directly, so the page is never lost for want of a scratch folder.
// Values are inserted as given: callers encode them for the page.
//
// Returns true when the target holds the filled text; false when the
// template cannot be read (the target is then left as it was) or the target
// cannot be written.
bool FillTemplateFile(const std::vector<std::string>& pairs, const std::string& template_path,
                      const std::string& target_path, const std::string& temp_folder);

}  // namespace lumireel
