// The small file utilities the whole program uses: whole-file text reading
// and writing with UTF-8 on disk, folder tests, recursive emptying, removal
// and copying of folders, and one lock per file path.
//
// Paths are the program's own 8-bit paths (UTF-8 here). The program joins
// them with `\`; every function also accepts `/`, since on POSIX both
// separate path parts. Names may hold spaces, `&`, `<`, quotes and non-ASCII
// letters.
//
// None of these functions throws for a file-system failure: failures are
// results. All of them may be called from any thread; the only shared state
// is the lock registry of LockFilePath. Two threads writing one file should
// hold that file's lock so that their rewrites do not interleave.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumireel {

// Whether a symbolic link at the last part of a path that is read or copied
// is followed (the paths the movie names) or refused (what the program
// publishes, which must hold only regular files).
enum class LinkPolicy { kFollow, kRefuse };

// `path` with every `\` turned into `/`.
[[nodiscard]] std::string NativePath(std::string_view path);

// `folder` + "\" + `name`: the form in which the program builds its paths.
[[nodiscard]] std::string JoinPath(std::string_view folder, std::string_view name);

// The whole content of the regular file at `path`, made well-formed UTF-8.
// nullopt when it cannot be opened or read, or is not a regular file (a
// folder, a pipe, a device), and, with LinkPolicy::kRefuse, when `path` is a
// symbolic link. An empty file gives an empty text.
[[nodiscard]] std::optional<std::string> ReadTextFileUtf8(const std::string& path,
                                                          LinkPolicy link = LinkPolicy::kFollow);

// Replaces the file at `path` with `bytes`, atomically: the bytes go to a
// temporary file in the same folder (its name starts with "." so folder
// copies skip it), are flushed to disk, and the temporary file is renamed
// over `path`. Readers see the old file or the new one, never a part.
// Returns false when anything fails (missing folder, no permission, disk
// full, `path` names a folder); the old file is then left whole and no
// temporary file remains. A new file gets mode 0644 less the umask; a
// replaced file keeps its mode. When `path` is a symbolic link the link
// itself is replaced by the new regular file: nothing is written through it.
bool WriteFileAtomic(const std::string& path, std::string_view bytes);

// For writers that make a file by a path of their own (an encoder, an
// archive writer): calls `write` with a temporary path in the folder of
// `path` (a name beginning with ".lumireel-" and ending in ".tmp", which
// folder copies skip and start-up sweeps away), and when it returns true
// renames that file over `path`, so that `path` never holds a part of the
// file. A link at `path` is replaced, not written through. False when
// `write` returns false or the rename fails; the temporary file is then
// removed.
bool WriteThroughTemporary(const std::string& path,
                           const std::function<bool(const std::string& temporary)>& write);

// `text` made well-formed UTF-8 and written with WriteFileAtomic, without a
// byte-order mark or terminator. `mode` is accepted for the callers that pass
// it and has no effect.
bool WriteTextFileUtf8(const std::string& path, std::string_view text, int mode = 2);

// As WriteTextFileUtf8, but every line feed is written as carriage return and
// line feed (the program's text-mode files).
bool WriteTextFileCrLf(const std::string& path, std::string_view text);

// Copies the bytes of the regular file `source` to `destination`, replacing
// an existing destination atomically (as WriteFileAtomic). False when the
// source cannot be read or the destination cannot be written; the old
// destination is then left whole. Copying a file onto itself keeps it.
// With LinkPolicy::kRefuse a source that is a symbolic link is not copied.
bool CopyFileReplacing(const std::string& source, const std::string& destination,
                       LinkPolicy source_link = LinkPolicy::kFollow);

// Creates the folder `path`. True only when this one folder was created:
// an existing folder or a missing parent gives false.
bool MakeFolder(const std::string& path);

// True when `path` names a regular file that can be opened for reading.
[[nodiscard]] bool FileExists(const std::string& path);

// Deletes the file (or symbolic link) `path`. True when it was deleted; a
// folder is not a file and gives false.
bool RemoveFile(const std::string& path);

// True when `path` names an existing folder (or a link to one).
[[nodiscard]] bool IsFolder(const std::string& path);

// True when the folder `path` holds nothing; also true when it cannot be
// enumerated (missing, not a folder, no permission).
[[nodiscard]] bool IsFolderEmpty(const std::string& path);

// Deletes everything inside the folder `path`, sub-folders recursively, and
// keeps the folder. Symbolic links are deleted as entries and never followed,
// so nothing outside the folder is touched. Entries that cannot be deleted
// are left in place without failing. Returns false when the folder cannot be
// enumerated (missing, not a folder, itself a symbolic link, the file-system
// root), or when the tree is moved away while it is being emptied; true
// otherwise. Depth is not limited by the stack or by open-file limits.
bool EmptyFolder(const std::string& path);

// EmptyFolder(path), then, when that returned true, removes the folder itself
// (which fails silently when something inside could not be deleted). The
// result is that of EmptyFolder.
bool RemoveFolder(const std::string& path);

// Creates the folder `destination` and copies into it the entries of the
// folder `source` whose names do not begin with ".": regular files byte for
// byte (with their mode and modification time), folders recursively.
// Symbolic links, pipes, sockets and devices are skipped without a failure,
// so the copy holds only regular files and folders. Each file is written
// under a temporary name beginning with "." and takes its own name only once
// complete. Returns 0 on success; the errno value when `destination` cannot
// be created (EEXIST when it exists: nothing is copied) or a file cannot be
// copied (a copy never overwrites an existing file); -1 when a sub-folder's
// clone fails. Copying stops at the first failure. A source that cannot be
// enumerated gives 0 and leaves the empty destination; so does a source that
// is a symbolic link when `source_link` is LinkPolicy::kRefuse. When the
// destination lies inside the source it is not copied into itself. Depth is
// limited neither by path length nor by open-file limits. Folders named in
// `skipped_folders` are left out wherever they are in the tree.
int CloneFolder(const std::string& source, const std::string& destination,
                LinkPolicy source_link = LinkPolicy::kFollow,
                const std::vector<std::string>& skipped_folders = {});

// Removes, below `folder` and without following links, what interrupted
// writes of the program leave: files named ".lumireel-*" with the endings of
// its temporary files (".tmp", ".jpg" and the other picture endings) and
// folders named ".photoparts-copying" with their content. Only entries whose
// status last changed before `changed_before` are removed: a write begun
// after that moment (by this run, while the sweep goes on) keeps its files.
// Returns how many were removed. REQUIRES: no write of the program that
// began before `changed_before` is still running below `folder`.
std::size_t RemoveLeftovers(const std::string& folder, const struct timespec& changed_before);

// Locks the process-wide mutex of the file `path` and returns the lock.
// Spellings of one path (separators, "." and ".." parts, relative to the
// current folder or absolute) share one mutex; links are not resolved.
// Photo lists, the catalogue and keyword files are rewritten under this lock
// so that an import and an edit never interleave. Not re-entrant: a thread
// that already holds the lock of a path must not ask for it again.
[[nodiscard]] std::unique_lock<std::mutex> LockFilePath(const std::string& path);

}  // namespace lumireel
