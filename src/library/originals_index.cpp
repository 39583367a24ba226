#include "library/originals_index.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/photo_info.h"

namespace lumireel {
namespace {

// The photo id an original's file name stands for: the name up to its first
// dot; empty when that is no photo id.
std::string IdOfName(std::string_view name) {
  std::string id(name.substr(0, name.find('.')));
  return IsPhotoId(id) ? id : std::string();
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Calls `visit(id, name)` for each original in `originals` as it lists now,
// until it returns false. Names are read straight from the folder, with no
// file looked at for the names that are no original's.
template <typename Visit>
void ForEachOriginal(const std::string& originals, Visit visit) {
  DIR* listing = ::opendir(originals.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    const std::string id = IdOfName(name);
    if (id.empty()) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN) regular = IsRegularFile(originals + "/" + std::string(name));
    if (regular && !visit(id, std::string(name))) break;
  }
  ::closedir(listing);
}

std::optional<std::string> ListAndFind(const std::string& originals, const std::string& id) {
  std::optional<std::string> found;
  ForEachOriginal(originals, [&](const std::string& kept_id, const std::string& name) {
    if (kept_id == id) found = originals + "/" + name;
    return !found;
  });
  return found;
}

// File systems whose change notices report every change made on this
// machine, and where no other machine changes the folder behind them.
bool NoticesAreWhole(const std::string& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return false;
  constexpr std::int64_t kLocal[] = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // xfs
      0x9123683E,  // btrfs
      0x01021994,  // tmpfs
      0x794C7630,  // overlayfs
      0xF2F52010,  // f2fs
  };
  return std::find(std::begin(kLocal), std::end(kLocal),
                   static_cast<std::int64_t>(info.f_type)) != std::end(kLocal);
}

class Index {
 public:
  std::optional<std::string> Find(const std::string& originals, const std::string& id) {
    struct stat folder_info {};
    if (::stat(originals.c_str(), &folder_info) != 0 || !S_ISDIR(folder_info.st_mode)) {
      return std::nullopt;
    }
    const std::lock_guard lock(mu_);
    Folder* folder = Watched(originals, folder_info);
    if (folder == nullptr) return ListAndFind(originals, id);
    folder->used = ++clock_;
    const auto names = folder->names.find(id);
    if (names == folder->names.end()) return std::nullopt;
    const std::string path = originals + "/" + names->second.front();
    // A name the index holds is looked at before it is given out, so that a
    // notice that never came cannot hand out a file that is gone.
    if (IsRegularFile(path)) return path;
    Forget(originals);
    return ListAndFind(originals, id);
  }

 private:
  static constexpr std::size_t kMaxFolders = 64;
  static constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

  struct Folder {
    dev_t device = 0;
    ino_t inode = 0;
    int watch = -1;
    std::uint64_t used = 0;
    std::unordered_map<std::string, std::vector<std::string>> names;  // by id, in listing order
  };

  // The folder's entry, up to date with every notice so far; null when the
  // folder is to be listed instead. REQUIRES: mu_ held.
  Folder* Watched(const std::string& originals, const struct stat& info) {
    if (notices_ == kNotOpened) {
      notices_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (notices_ < 0) notices_ = kUnavailable;
    }
    if (notices_ == kUnavailable) return nullptr;
    Drain();
    auto it = folders_.find(originals);
    // Another folder now stands at this path (the album was renamed, the
    // folder made again): what was kept is about the old one.
    if (it != folders_.end() && (it->second.device != info.st_dev || it->second.inode != info.st_ino)) {
      Forget(originals);
      it = folders_.end();
    }
    if (it != folders_.end()) return &it->second;
    if (!NoticesAreWhole(originals)) return nullptr;
    if (folders_.size() >= kMaxFolders) {
      const auto oldest = std::min_element(folders_.begin(), folders_.end(), [](const auto& a, const auto& b) {
        return a.second.used < b.second.used;
      });
      Forget(std::string(oldest->first));
    }
    // Watched before it is listed: a change made meanwhile is reported and
    // looked at again, which changes nothing when the listing saw it.
    const int watch = ::inotify_add_watch(notices_, originals.c_str(), kEvents);
    if (watch < 0) return nullptr;
    // The same folder under another path (a link, or the path it had before
    // a parent was renamed) shares the watch: the older path is dropped.
    if (const auto shared = paths_.find(watch); shared != paths_.end()) {
      folders_.erase(shared->second);
      paths_.erase(shared);
    }
    Folder folder;
    folder.device = info.st_dev;
    folder.inode = info.st_ino;
    folder.watch = watch;
    ForEachOriginal(originals, [&](const std::string& id, const std::string& name) {
      folder.names[id].push_back(name);
      return true;
    });
    paths_[watch] = originals;
    return &(folders_[originals] = std::move(folder));
  }

  // Applies every notice waiting. REQUIRES: mu_ held.
  void Drain() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(notices_, buffer, sizeof buffer);
      if (got <= 0) break;  // EAGAIN: nothing more waits
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          ForgetAll();
          continue;
        }
        const auto path = paths_.find(event->wd);
        if (path == paths_.end()) continue;
        if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
          Forget(std::string(path->second));
        } else if (event->len > 0) {
          Recheck(path->second, event->name);
        }
      }
    }
  }

  // Looks at one name of a watched folder again. REQUIRES: mu_ held.
  void Recheck(const std::string& originals, std::string_view name) {
    const std::string id = IdOfName(name);
    if (id.empty()) return;
    Folder& folder = folders_[originals];
    std::vector<std::string>& names = folder.names[id];
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    if (IsRegularFile(originals + "/" + std::string(name))) names.emplace_back(name);
    if (names.empty()) folder.names.erase(id);
  }

  // REQUIRES: mu_ held.
  void Forget(const std::string& originals) {
    const auto it = folders_.find(originals);
    if (it == folders_.end()) return;
    ::inotify_rm_watch(notices_, it->second.watch);  // already gone after IN_IGNORED: harmless
    paths_.erase(it->second.watch);
    folders_.erase(it);
  }

  void ForgetAll() {
    while (!folders_.empty()) Forget(std::string(folders_.begin()->first));
  }

  static constexpr int kNotOpened = -2;
  static constexpr int kUnavailable = -1;

  std::mutex mu_;
  int notices_ = kNotOpened;                  // guarded by mu_; the inotify descriptor
  std::map<std::string, Folder> folders_;     // guarded by mu_; by native path
  std::unordered_map<int, std::string> paths_;  // guarded by mu_; watch -> path
  std::uint64_t clock_ = 0;                   // guarded by mu_
};

}  // namespace

std::optional<std::string> FindKeptOriginal(const std::string& originals, const std::string& id) {
  static auto* index = new Index();  // lives as long as the process
  return index->Find(originals, id);
}

}  // namespace lumireel
