// The filter texts of the open-file dialog, read as GTK file filters.
//
// The program describes the filters of an open-file dialog as one text of
// "Description|pattern; pattern|Description|pattern|" pairs; the patterns
// match without regard to case ("*.jpg" also shows PHOTO.JPG), and "*.*"
// shows every file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumireel::platform::gtk {

struct DialogFilter {
  std::string name;
  // GTK glob patterns (see DialogGlob), never empty.
  std::vector<std::string> patterns;
};

// The filters of `text`, in order. A description without a pattern text
// after it, or whose pattern text holds no pattern, gives no filter; blanks
// around descriptions and patterns are dropped.
std::vector<DialogFilter> ParseFileFilters(std::string_view text);

// `filters` followed by what a desktop dialog offers besides: "All pictures"
// (every picture ending the program reads) when `photos` is set, and "All
// files" unless one of `filters` already shows every file.
std::vector<DialogFilter> WithDesktopFilters(std::vector<DialogFilter> filters, bool photos);

// The GTK glob that shows what `pattern` shows in the program's dialogs:
// ASCII letters match in either case, "[" is literal, and "*.*" matches
// every name (also one without a dot).
std::string DialogGlob(std::string_view pattern);

}  // namespace lumireel::platform::gtk
