#include "bridge/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bridge/code_page.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewFolderMode = 0777;
constexpr std::size_t kCopyBufferSize = 256 * 1024;
constexpr std::size_t kCopyChunk = std::size_t{1} << 30;
constexpr std::size_t kReadGrowth = 64 * 1024;
constexpr int kTemporaryNameAttempts = 16;

// Owns one file descriptor; closes it when dropped.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes the descriptor and reports whether the close succeeded (a failed
  // close can be the first sign of a failed write).
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

UniqueFd OpenAt(int folder_fd, const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(folder_fd, path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return UniqueFd(fd);
}

// Opens a regular file for reading. Pipes and devices are refused before any
// byte is read (O_NONBLOCK keeps the open of a pipe from waiting for a writer).
UniqueFd OpenRegularFile(const std::string& native, struct stat& info, int extra_flags = 0) {
  UniqueFd fd = OpenAt(AT_FDCWD, native.c_str(), O_RDONLY | O_NONBLOCK | extra_flags);
  if (!fd.valid()) return fd;
  if (::fstat(fd.get(), &info) != 0) return UniqueFd();
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return UniqueFd();
  }
  return fd;
}

int NoFollowFlag(LinkPolicy link) { return link == LinkPolicy::kRefuse ? O_NOFOLLOW : 0; }

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadWriteBytes(int from_fd, int to_fd) {
  std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
  while (true) {
    const ssize_t got = ::read(from_fd, buffer.get(), kCopyBufferSize);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(to_fd, buffer.get(), static_cast<std::size_t>(got))) return false;
  }
}

// Copies the rest of `from_fd` to `to_fd` inside the kernel (copy_file_range:
// no byte passes through the program, and file systems that share extents
// share them), and through a buffer where the kernel cannot: between file
// systems it refuses, or from files such as /proc's that say they are empty.
bool CopyBytes(int from_fd, int to_fd) {
  bool copied_any = false;
  while (true) {
    const ssize_t copied = ::copy_file_range(from_fd, nullptr, to_fd, nullptr, kCopyChunk, 0);
    if (copied > 0) {
      copied_any = true;
      continue;
    }
    if (copied == 0 && copied_any) return true;
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
        errno != EOPNOTSUPP && errno != EBADF && errno != EPERM) {
      return false;
    }
    // Both offsets moved by what was copied; the buffer goes on from there.
    return ReadWriteBytes(from_fd, to_fd);
  }
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The names inside the open folder `folder_fd`, without "." and "..".
// Returns 0 when the enumeration ran to its end, else the errno value that
// stopped it (the names found so far are kept).
int ListFolder(int folder_fd, std::vector<std::string>& names) {
  // A descriptor of its own, so that the listing has its own position.
  UniqueFd own = OpenAt(folder_fd, ".", O_RDONLY | O_DIRECTORY);
  if (!own.valid()) return errno;
  UniqueDir dir(::fdopendir(own.get()));
  if (!dir) return errno;
  own.Release();  // the stream now owns the descriptor
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
  }
}

// A folder path as given, tidied so that its last part is the folder itself:
// "a/b/" and "a/b/." both become "a/b". Opening "link/" would otherwise go
// through the link even when links are not to be followed.
std::string FolderPath(const std::string& path) {
  std::string folder = fs::path(NativePath(path)).lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// ---------------------------------------------------------------------------
// Atomic replacement.

std::string TemporaryName() {
  static std::atomic<unsigned long> counter{0};
  const std::size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
  return ".lumireel-" + std::to_string(::getpid()) + "-" + std::to_string(thread) + "-" +
         std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
}

void SyncFolder(const std::string& folder) {
  UniqueFd fd = OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd.valid()) ::fsync(fd.get());
}

// Writes a temporary file beside `path` through `fill`, flushes it to disk and
// renames it over `path`. On any failure the temporary file is removed and the
// old file stays as it was.
bool ReplaceFile(const std::string& path, mode_t new_file_mode,
                 const std::function<bool(int fd)>& fill) {
  const std::string native = NativePath(path);
  if (native.empty() || native.back() == '/') return false;
  // A symbolic link at `path` is replaced by the new file, never written
  // through: the rename puts the file where the link was.
  const fs::path target(native);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return false;
  std::string folder = target.parent_path().string();
  if (folder.empty()) folder = ".";

  struct stat old_info;
  const bool replacing = ::lstat(target.c_str(), &old_info) == 0 && S_ISREG(old_info.st_mode);

  std::string temporary;
  UniqueFd fd;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !fd.valid(); ++attempt) {
    temporary = folder + "/" + TemporaryName();
    fd = OpenAt(AT_FDCWD, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, new_file_mode);
    if (!fd.valid() && errno != EEXIST) return false;
  }
  if (!fd.valid()) return false;

  // A replaced file keeps its permissions; failing to copy them is not worth
  // losing the write for.
  if (replacing) ::fchmod(fd.get(), old_info.st_mode & 07777);

  bool ok = fill(fd.get()) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    return false;
  }
  // Make the rename itself survive a crash.
  SyncFolder(folder);
  return true;
}

// ---------------------------------------------------------------------------
// Emptying folders without following links.

// One folder being emptied. Only the innermost folder's descriptor is held
// open; an outer one is reopened through ".." of the folder below it, and
// recognised by device and inode, so any depth works within a few descriptors.
struct EmptyingFrame {
  UniqueFd fd;
  struct stat identity {};
  std::string name;  // its name inside the outer folder
  std::vector<std::string> entries;
  std::size_t next = 0;
};

UniqueFd OpenFolderNoFollow(int folder_fd, const char* name) {
  return OpenAt(folder_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
}

bool SameIdentity(int fd, const struct stat& identity) {
  struct stat info;
  return fd >= 0 && ::fstat(fd, &info) == 0 && SameFile(info, identity);
}

// Opens the sub-folder `name` of `folder_fd`, as `seen` was when it was
// listed, and records its identity. An invalid handle when it cannot be
// opened or was swapped for something else since it was looked at.
UniqueFd OpenSeenFolder(int folder_fd, const std::string& name, const struct stat& seen,
                        struct stat& identity) {
  UniqueFd fd = OpenFolderNoFollow(folder_fd, name.c_str());
  if (!fd.valid() || ::fstat(fd.get(), &identity) != 0 || !SameFile(identity, seen)) {
    return UniqueFd();
  }
  return fd;
}

// Deletes everything inside the open folder `root`. False when it cannot be
// listed or when the tree was moved while being emptied (a reopened outer
// folder is not the one left), true otherwise.
bool EmptyOpenFolder(UniqueFd root) {
  std::vector<EmptyingFrame> stack(1);
  stack[0].fd = std::move(root);
  if (::fstat(stack[0].fd.get(), &stack[0].identity) != 0) return false;
  if (ListFolder(stack[0].fd.get(), stack[0].entries) != 0) return false;

  while (true) {
    EmptyingFrame& top = stack.back();
    if (top.next < top.entries.size()) {
      const std::string& name = top.entries[top.next++];
      struct stat info;
      if (::fstatat(top.fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISDIR(info.st_mode)) {
        ::unlinkat(top.fd.get(), name.c_str(), 0);  // failures are left in place
        continue;
      }
      EmptyingFrame inner;
      inner.name = name;
      // Skip a sub-folder that cannot be opened, or that was swapped for
      // something else since it was looked at.
      inner.fd = OpenSeenFolder(top.fd.get(), name, info, inner.identity);
      if (!inner.fd.valid()) continue;
      ListFolder(inner.fd.get(), inner.entries);  // what could be listed is emptied
      top.fd.Reset();
      stack.push_back(std::move(inner));
      continue;
    }
    if (stack.size() == 1) return true;

    EmptyingFrame done = std::move(stack.back());
    stack.pop_back();
    EmptyingFrame& outer = stack.back();
    outer.fd = OpenFolderNoFollow(done.fd.get(), "..");
    if (!SameIdentity(outer.fd.get(), outer.identity)) return false;
    done.fd.Reset();
    ::unlinkat(outer.fd.get(), done.name.c_str(), AT_REMOVEDIR);
  }
}

// ---------------------------------------------------------------------------
// Cloning folders.

// Puts the finished file `temporary` of the open folder `folder_fd` in place
// as `name`, failing with EEXIST when `name` exists. File systems without an
// exclusive rename get a hard link and the removal of the temporary name.
int RenameNoReplace(int folder_fd, const char* temporary, const char* name) {
  if (::renameat2(folder_fd, temporary, folder_fd, name, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::linkat(folder_fd, temporary, folder_fd, name, 0) != 0) return errno;
  ::unlinkat(folder_fd, temporary, 0);
  return 0;
}

// Copies the regular file `name` of the open folder `from_fd` to the new file
// `name` of the open folder `to_fd`, which must not exist. The bytes go to a
// temporary name first (see TemporaryName) and take their own name only when
// complete, so an interrupted copy never leaves a short file under the real
// name. A symbolic link, pipe or device is not copied: the result is 0 and
// nothing is made. Returns 0 or the errno value.
int CopyNewFileAt(int from_fd, int to_fd, const std::string& name) {
  UniqueFd in = OpenAt(from_fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  if (!in.valid()) return errno == ELOOP ? 0 : errno;
  struct stat info;
  if (::fstat(in.get(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return 0;
  std::string temporary;
  UniqueFd out;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !out.valid(); ++attempt) {
    temporary = TemporaryName();
    out = OpenAt(to_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, info.st_mode & 0777);
    if (!out.valid() && errno != EEXIST) return errno;
  }
  if (!out.valid()) return EEXIST;
  const timespec times[2] = {info.st_atim, info.st_mtim};
  bool ok = CopyBytes(in.get(), out.get()) && ::futimens(out.get(), times) == 0;
  ok = out.Close() && ok;
  int error = ok ? RenameNoReplace(to_fd, temporary.c_str(), name.c_str()) : errno;
  if (!ok && error == 0) error = EIO;
  if (error != 0) ::unlinkat(to_fd, temporary.c_str(), 0);
  return error;
}

// One folder being cloned: the source folder and its copy. As when emptying,
// only the innermost pair of descriptors is held open and outer ones are
// reopened through "..", so depth is limited neither by path length nor by
// open-file limits.
struct CloneFrame {
  UniqueFd source;
  UniqueFd copy;
  struct stat source_identity {};
  struct stat copy_identity {};
  std::vector<std::string> entries;
  std::size_t next = 0;
  int listing_error = 0;
};

// Copies the entries of the open folder `root.source` into the open, new
// folder `root.copy` (see CloneFolder). A failure in the outermost folder
// gives its errno value, one further down -1.
int CloneOpenFolder(CloneFrame root, const std::vector<std::string>& skipped_folders) {
  std::vector<CloneFrame> stack;
  stack.push_back(std::move(root));
  const struct stat destination_root = stack[0].copy_identity;
  const auto fail = [&stack](int error) { return stack.size() == 1 ? error : -1; };

  while (true) {
    CloneFrame& top = stack.back();
    if (top.next < top.entries.size()) {
      const std::string& name = top.entries[top.next++];
      if (name.front() == '.') continue;
      struct stat info;
      if (::fstatat(top.source.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(errno);
      }
      if (S_ISREG(info.st_mode)) {
        if (const int error = CopyNewFileAt(top.source.get(), top.copy.get(), name); error != 0) {
          return fail(error);
        }
        continue;
      }
      // Links, pipes, sockets and devices are not copied.
      if (!S_ISDIR(info.st_mode) || SameFile(info, destination_root)) continue;
      if (std::find(skipped_folders.begin(), skipped_folders.end(), name) !=
          skipped_folders.end()) {
        continue;
      }
      if (::mkdirat(top.copy.get(), name.c_str(), kNewFolderMode) != 0) return -1;
      CloneFrame inner;
      inner.copy = OpenFolderNoFollow(top.copy.get(), name.c_str());
      if (!inner.copy.valid() || ::fstat(inner.copy.get(), &inner.copy_identity) != 0) return -1;
      // A sub-folder that cannot be opened, or was swapped since it was
      // looked at, stays an empty copy.
      inner.source = OpenSeenFolder(top.source.get(), name, info, inner.source_identity);
      if (!inner.source.valid()) continue;
      inner.listing_error = ListFolder(inner.source.get(), inner.entries);
      top.source.Reset();
      top.copy.Reset();
      stack.push_back(std::move(inner));
      continue;
    }
    if (stack.size() == 1) return top.listing_error;
    if (top.listing_error != 0) return -1;

    CloneFrame done = std::move(stack.back());
    stack.pop_back();
    CloneFrame& outer = stack.back();
    outer.source = OpenFolderNoFollow(done.source.get(), "..");
    outer.copy = OpenFolderNoFollow(done.copy.get(), "..");
    if (!SameIdentity(outer.source.get(), outer.source_identity) ||
        !SameIdentity(outer.copy.get(), outer.copy_identity)) {
      return -1;  // the tree was moved while it was copied
    }
  }
}

// ---------------------------------------------------------------------------
// Sweeping the leftovers of interrupted writes.

constexpr std::string_view kTemporaryPrefix = ".lumireel-";
constexpr std::string_view kCopyingFolderName = ".photoparts-copying";
// The endings of the program's temporary files: replaced files and folder
// copies (".tmp") and pictures on their way to their names.
constexpr std::string_view kTemporarySuffixes[] = {".tmp", ".jpg", ".png", ".gif", ".tif", ".webp"};

bool IsTemporaryFileName(std::string_view name) {
  if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return false;
  for (const std::string_view suffix : kTemporarySuffixes) {
    if (name.size() > kTemporaryPrefix.size() + suffix.size() &&
        name.substr(name.size() - suffix.size()) == suffix) {
      return true;
    }
  }
  return false;
}

struct SweepFrame {
  UniqueFd fd;
  struct stat identity {};
  std::vector<std::string> entries;
  std::size_t next = 0;
};

bool ChangedBefore(const struct stat& info, const struct timespec& moment) {
  return info.st_ctim.tv_sec < moment.tv_sec ||
         (info.st_ctim.tv_sec == moment.tv_sec && info.st_ctim.tv_nsec < moment.tv_nsec);
}

std::size_t SweepOpenFolder(UniqueFd root, const struct timespec& changed_before) {
  std::size_t removed = 0;
  std::vector<SweepFrame> stack(1);
  stack[0].fd = std::move(root);
  if (::fstat(stack[0].fd.get(), &stack[0].identity) != 0) return removed;
  ListFolder(stack[0].fd.get(), stack[0].entries);
  while (true) {
    SweepFrame& top = stack.back();
    if (top.next < top.entries.size()) {
      const std::string& name = top.entries[top.next++];
      struct stat info;
      if (::fstatat(top.fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(info.st_mode)) {
        if (IsTemporaryFileName(name) && ChangedBefore(info, changed_before) &&
            ::unlinkat(top.fd.get(), name.c_str(), 0) == 0) {
          ++removed;
        }
        continue;
      }
      if (!S_ISDIR(info.st_mode)) continue;
      // A folder copy this run is making holds no leftover of its own.
      if (name == kCopyingFolderName && !ChangedBefore(info, changed_before)) continue;
      SweepFrame inner;
      inner.fd = OpenSeenFolder(top.fd.get(), name, info, inner.identity);
      if (!inner.fd.valid()) continue;
      if (name == kCopyingFolderName) {
        EmptyOpenFolder(std::move(inner.fd));
        if (::unlinkat(top.fd.get(), name.c_str(), AT_REMOVEDIR) == 0) ++removed;
        continue;
      }
      ListFolder(inner.fd.get(), inner.entries);
      top.fd.Reset();
      stack.push_back(std::move(inner));
      continue;
    }
    if (stack.size() == 1) return removed;
    SweepFrame done = std::move(stack.back());
    stack.pop_back();
    SweepFrame& outer = stack.back();
    outer.fd = OpenFolderNoFollow(done.fd.get(), "..");
    if (!SameIdentity(outer.fd.get(), outer.identity)) return removed;
  }
}

// ---------------------------------------------------------------------------
// Per-path locks.

struct LockRegistry {
  std::mutex mutex;
  std::unordered_map<std::string, std::unique_ptr<std::mutex>> locks;
};

std::string LockKey(const std::string& path) {
  const fs::path native(NativePath(path));
  std::error_code error;
  fs::path absolute = fs::absolute(native, error);
  if (error) absolute = native;
  return absolute.lexically_normal().string();
}

}  // namespace

std::string NativePath(std::string_view path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined.append(folder).append("\\").append(name);
  return joined;
}

std::optional<std::string> ReadTextFileUtf8(const std::string& path, LinkPolicy link) {
  struct stat info;
  UniqueFd fd = OpenRegularFile(NativePath(path), info, NoFollowFlag(link));
  if (!fd.valid()) return std::nullopt;

  // Read to the end rather than trusting the size: the file may grow.
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  while (true) {
    if (filled == text.size()) text.resize(text.size() + kReadGrowth);
    const ssize_t got = ::read(fd.get(), text.data() + filled, text.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  text.resize(filled);
  MakeValidUtf8(text);
  return text;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes) {
  return ReplaceFile(path, kNewFileMode,
                     [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

bool WriteThroughTemporary(const std::string& path,
                           const std::function<bool(const std::string& temporary)>& write) {
  const std::string native = NativePath(path);
  const fs::path target(native);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return false;
  std::string folder = target.parent_path().string();
  if (folder.empty()) folder = ".";
  const std::string temporary = folder + "/" + TemporaryName();
  bool ok = write(temporary);
  ok = ok && ::rename(temporary.c_str(), native.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

bool WriteTextFileUtf8(const std::string& path, std::string_view text, int /*mode*/) {
  return WriteFileAtomic(path, ToValidUtf8(text));
}

bool WriteTextFileCrLf(const std::string& path, std::string_view text) {
  const std::string utf8 = ToValidUtf8(text);
  std::string lines;
  lines.reserve(utf8.size() + utf8.size() / 16);
  for (const char c : utf8) {
    if (c == '\n') lines.push_back('\r');
    lines.push_back(c);
  }
  return WriteFileAtomic(path, lines);
}

bool CopyFileReplacing(const std::string& source, const std::string& destination,
                       LinkPolicy source_link) {
  struct stat info;
  UniqueFd in = OpenRegularFile(NativePath(source), info, NoFollowFlag(source_link));
  if (!in.valid()) return false;
  return ReplaceFile(destination, info.st_mode & 0777,
                     [&in](int fd) { return CopyBytes(in.get(), fd); });
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(NativePath(path).c_str(), kNewFolderMode) == 0;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return OpenRegularFile(NativePath(path), info).valid();
}

bool RemoveFile(const std::string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(NativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFolderEmpty(const std::string& path) {
  UniqueDir dir(::opendir(NativePath(path).c_str()));
  if (!dir) return true;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") return false;
  }
  return true;
}

bool EmptyFolder(const std::string& path) {
  const std::string folder = FolderPath(path);
  // Emptying the whole file system is never what a request means.
  if (folder.empty() || folder == "/") return false;
  UniqueFd fd = OpenFolderNoFollow(AT_FDCWD, folder.c_str());
  if (!fd.valid()) return false;
  return EmptyOpenFolder(std::move(fd));
}

bool RemoveFolder(const std::string& path) {
  if (!EmptyFolder(path)) return false;
  ::rmdir(FolderPath(path).c_str());
  return true;
}

int CloneFolder(const std::string& source, const std::string& destination, LinkPolicy source_link,
                const std::vector<std::string>& skipped_folders) {
  const std::string from = FolderPath(source);
  const std::string to = FolderPath(destination);
  if (::mkdir(to.c_str(), kNewFolderMode) != 0) return errno;
  CloneFrame root;
  root.copy = OpenFolderNoFollow(AT_FDCWD, to.c_str());
  if (!root.copy.valid() || ::fstat(root.copy.get(), &root.copy_identity) != 0) return errno;
  // The source the caller names may be a link to a folder when the caller
  // allows it; below it, links are never entered.
  const int follow = source_link == LinkPolicy::kFollow ? 0 : O_NOFOLLOW;
  root.source = OpenAt(AT_FDCWD, from.c_str(), O_RDONLY | O_DIRECTORY | follow);
  if (!root.source.valid() || ::fstat(root.source.get(), &root.source_identity) != 0) return 0;
  root.listing_error = ListFolder(root.source.get(), root.entries);
  return CloneOpenFolder(std::move(root), skipped_folders);
}

std::size_t RemoveLeftovers(const std::string& folder, const struct timespec& changed_before) {
  const std::string native = FolderPath(folder);
  if (native.empty() || native == "/") return 0;
  UniqueFd fd = OpenFolderNoFollow(AT_FDCWD, native.c_str());
  return fd.valid() ? SweepOpenFolder(std::move(fd), changed_before) : 0;
}

std::unique_lock<std::mutex> LockFilePath(const std::string& path) {
  // Never destroyed: a worker may still hold a lock while the process exits.
  static LockRegistry* const registry = new LockRegistry;
  const std::string key = LockKey(path);
  std::mutex* lock;
  {
    std::lock_guard<std::mutex> guard(registry->mutex);
    std::unique_ptr<std::mutex>& slot = registry->locks[key];
    if (!slot) slot = std::make_unique<std::mutex>();
    lock = slot.get();
  }
  return std::unique_lock<std::mutex>(*lock);
}

}  // namespace lumireel
