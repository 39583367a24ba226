// Tells the requests of the movie's own bridge from those of anything else
// in the page (a frame inside the movie that calls the message handler).
//
// The bridge is placed into the movie's top frame only and greets the host
// before any script of the page runs; the first greeting after a new
// document took the main frame gets a fresh random key, later greetings get
// nothing. Requests must carry that key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumireel::platform::gtk {

class BridgeGate {
 public:
  // A new document took the main frame: the key of the old one is void and
  // the next greeting gets a new key.
  void NewPage();
  // The key for the first greeting since NewPage (or since construction);
  // nullopt for every later greeting.
  std::optional<std::string> Greet();
  // True when `key` is the key handed out for the current document.
  bool Accepts(std::string_view key) const;

 private:
  std::string key_;  // empty: none handed out for this document
  bool greeted_ = false;
};

// 32 hexadecimal digits from the system's random source.
std::string RandomKey();

}  // namespace lumireel::platform::gtk
