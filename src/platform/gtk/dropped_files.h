// Files dropped on the window from another program, held as the answer to
// the next open-file dialog for photos.
//
// The movie imports dropped files by starting an ordinary import, whose
// worker then asks for the photos to import with the open-file dialog; the
// host answers that dialog with the dropped files instead of showing it.
//
// A drag's files are known before it is dropped: the web view asks for the
// drag's data while it moves over the window. Only a drop turns them into an
// answer, and a drag that leaves without dropping leaves nothing behind.
// GTK reports the leave before the drop, so the host tells of a leave only
// once a drop that follows it would have been reported.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lumireel::platform::gtk {

// The local paths of `uris` (a text/uri-list drop), in order: file URIs
// without a host or naming this machine. Others are left out.
std::vector<std::string> LocalFilesOf(const std::vector<std::string>& uris);

class DroppedFiles {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a drop answers the next dialog: long enough for the import it
  // starts to ask, short enough that a drop that started no import does not
  // answer a dialog the user opens much later.
  static constexpr std::chrono::seconds kLifetime{30};

  // The drag `drag` (its identity only; never read) brings `files`. Replaces
  // what another drag brought. Main thread.
  void Offered(const void* drag, std::vector<std::string> files);
  // `drag` was dropped at `now`: its files, known already or offered after,
  // become the answer, in place of one held. Main thread.
  void Dropped(const void* drag, Clock::time_point now);
  // `drag` left the window: unless it was dropped, what it brought is
  // forgotten. Main thread.
  void Left(const void* drag);

  // True while a drop's files are held and not older than kLifetime. Any thread.
  bool Waiting(Clock::time_point now) const;
  // The held files, given once; nullopt when none are held or they are older
  // than kLifetime. Any thread.
  std::optional<std::vector<std::string>> Take(Clock::time_point now);

 private:
  // The drag being followed; main thread only.
  const void* drag_ = nullptr;
  std::vector<std::string> offered_;
  bool has_offer_ = false;
  bool dropped_ = false;
  Clock::time_point dropped_at_;

  void Hold(std::vector<std::string> files, Clock::time_point at);
  void Forget();  // stops following the drag

  mutable std::mutex mu_;
  std::optional<std::vector<std::string>> answer_;  // guarded by mu_; never empty
  Clock::time_point answer_at_;                     // guarded by mu_
};

}  // namespace lumireel::platform::gtk
