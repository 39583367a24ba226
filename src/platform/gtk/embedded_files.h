// Files built into the program (generated at build time from the files named
// here; see CMakeLists.txt in this folder).
#pragma once

#include <string_view>

namespace lumireel::platform::gtk::embedded {

// ui/bridge/lumireel-bridge.js: the movie's bridge, placed into the page.
std::string_view BridgeScript();
// ui/bridge/deliver-call.js: the function body that hands a call to the movie.
std::string_view DeliverCallScript();
// The program's icons 130, 136, 137 and 138 as PNG files, drawn at build time.
std::string_view Icon130();
std::string_view Icon136();
std::string_view Icon137();
std::string_view Icon138();

}  // namespace lumireel::platform::gtk::embedded
