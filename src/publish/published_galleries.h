// The web galleries published in this run of the program, by album, so that
// an upload asked for right after publishing finds the gallery the user just
// picked a folder for. Safe from any thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace lumireel {

class PublishedGalleries {
 public:
  // Records that the web gallery of `album_id` was built, whole, in `folder`.
  void RecordWeb(const std::string& album_id, const std::string& folder);
  // The folder of the album's last web gallery; nullopt when none was built.
  [[nodiscard]] std::optional<std::string> Web(const std::string& album_id) const;

 private:
  mutable std::mutex mu_;
  std::map<std::string, std::string> web_;  // GUARDED_BY(mu_)
};

}  // namespace lumireel
