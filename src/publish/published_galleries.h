// The web galleries published in this run of the program, by album, so that
// an upload asked for right after publishing finds the gallery the user just
// picked a folder for. Safe from any thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace lumireel {

// What the last Publish run made: the folder the user picked and each
// gallery built whole in it (empty when it was not asked for, was skipped or
// stopped at an error).
struct PublishedRun {
  std::string album_id;
  std::string picked;
  std::string cd;
  std::string web;
  bool operator==(const PublishedRun&) const = default;
};

class PublishedGalleries {
 public:
  // Records that the web gallery of `album_id` was built, whole, in `folder`.
  void RecordWeb(const std::string& album_id, const std::string& folder);
  // The folder of the album's last web gallery; nullopt when none was built.
  [[nodiscard]] std::optional<std::string> Web(const std::string& album_id) const;

  // Records the run that ended last, for the movie's message that says
  // where the galleries are.
  void RecordRun(PublishedRun run);
  [[nodiscard]] std::optional<PublishedRun> LastRun() const;

 private:
  mutable std::mutex mu_;
  std::map<std::string, std::string> web_;  // GUARDED_BY(mu_)
  std::optional<PublishedRun> last_run_;     // GUARDED_BY(mu_)
};

}  // namespace lumireel
