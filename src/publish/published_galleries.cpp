#include "publish/published_galleries.h"

namespace lumireel {

void PublishedGalleries::RecordWeb(const std::string& album_id, const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mu_);
  web_[album_id] = folder;
}

std::optional<std::string> PublishedGalleries::Web(const std::string& album_id) const {
  const std::lock_guard<std::mutex> lock(mu_);
  const auto it = web_.find(album_id);
  if (it == web_.end()) return std::nullopt;
  return it->second;
}

void PublishedGalleries::RecordRun(PublishedRun run) {
  const std::lock_guard<std::mutex> lock(mu_);
  last_run_ = std::move(run);
}

std::optional<PublishedRun> PublishedGalleries::LastRun() const {
  const std::lock_guard<std::mutex> lock(mu_);
  return last_run_;
}

}  // namespace lumireel
