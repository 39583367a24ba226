#include "platform/gtk/dropped_files.h"

#include <glib.h>

#include <memory>
#include <utility>

namespace lumireel::platform::gtk {
namespace {

// What GLib hands over to be freed with g_free (glib_handles.h needs GTK).
struct Freed {
  void operator()(char* text) const { g_free(text); }
};
using GText = std::unique_ptr<char, Freed>;

}  // namespace

std::vector<std::string> LocalFilesOf(const std::vector<std::string>& uris) {
  std::vector<std::string> files;
  for (const std::string& uri : uris) {
    char* host = nullptr;
    GText path(g_filename_from_uri(uri.c_str(), &host, nullptr));
    GText host_name(host);
    if (!path) continue;
    // A file manager names a file of this machine without a host, or with
    // "localhost" or the machine's own name; another host's file is not ours.
    if (host_name && g_ascii_strcasecmp(host_name.get(), "localhost") != 0 &&
        g_ascii_strcasecmp(host_name.get(), g_get_host_name()) != 0) {
      continue;
    }
    files.emplace_back(path.get());
  }
  return files;
}

void DroppedFiles::Offered(const void* drag, std::vector<std::string> files) {
  if (drag != drag_) {
    drag_ = drag;
    dropped_ = false;
  }
  if (dropped_) {
    // The data came only after the drop.
    Hold(std::move(files), dropped_at_);
    Forget();
    return;
  }
  offered_ = std::move(files);
  has_offer_ = true;
}

void DroppedFiles::Dropped(const void* drag, Clock::time_point now) {
  if (drag == drag_ && has_offer_) {
    Hold(std::move(offered_), now);
    Forget();
    return;
  }
  drag_ = drag;
  offered_.clear();
  has_offer_ = false;
  dropped_ = true;
  dropped_at_ = now;
}

void DroppedFiles::Left(const void* drag) {
  // A drop whose data is still on its way is not left.
  if (drag == drag_ && !dropped_) Forget();
}

void DroppedFiles::Forget() {
  drag_ = nullptr;
  offered_.clear();
  has_offer_ = false;
  dropped_ = false;
}

void DroppedFiles::Hold(std::vector<std::string> files, Clock::time_point at) {
  std::lock_guard lock(mu_);
  // A drop of nothing the program can open answers nothing: the dialog shows.
  if (files.empty()) {
    answer_.reset();
    return;
  }
  answer_ = std::move(files);
  answer_at_ = at;
}

bool DroppedFiles::Waiting(Clock::time_point now) const {
  std::lock_guard lock(mu_);
  return answer_.has_value() && now - answer_at_ <= kLifetime;
}

std::optional<std::vector<std::string>> DroppedFiles::Take(Clock::time_point now) {
  std::lock_guard lock(mu_);
  std::optional<std::vector<std::string>> answer = std::move(answer_);
  answer_.reset();
  if (answer && now - answer_at_ > kLifetime) return std::nullopt;
  return answer;
}

}  // namespace lumireel::platform::gtk
