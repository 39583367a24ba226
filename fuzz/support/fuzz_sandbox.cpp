#include "support/fuzz_sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

// Newer than the kernel headers of the build machine may be.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace lumireel::fuzzing {
namespace {

namespace fs = std::filesystem;

// The rewritten command line; libFuzzer reads it after LLVMFuzzerInitialize.
std::vector<std::string>& Arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}
std::vector<char*>& ArgumentPointers() {
  static std::vector<char*> pointers;
  return pointers;
}

// $TMPDIR when set, else /dev/shm when there is one: the targets create and
// delete files for every input, which a memory file system does fastest.
std::string ScratchParent() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') return tmpdir;
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return "/tmp";
}

// The scratch folder cannot be removed from inside the confinement (that
// would write to its parent), so a helper process started before it removes
// the folder once this process has ended, however it ended: it waits for the
// end of a pipe whose writing end only this process holds.
void RemoveWhenDone(const std::string& folder) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;
  const pid_t helper = fork();
  if (helper < 0) return;
  if (helper == 0) {
    signal(SIGINT, SIG_IGN);
    // Only the reading end stays open: the helper must not keep other pipes
    // of the process (the sanitizers' symbolizer, standard output) alive.
    if (ends[0] > 0) close_range(0, static_cast<unsigned>(ends[0]) - 1, 0);
    close_range(static_cast<unsigned>(ends[0]) + 1, ~0u, 0);
    char byte;
    for (;;) {
      const ssize_t got = read(ends[0], &byte, 1);
      if (got == 0 || (got < 0 && errno != EINTR)) break;
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    _exit(0);
  }
  close(ends[0]);  // the writing end stays open until this process ends
}

std::string Absolute(std::string_view path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  return ec ? std::string(path) : absolute.lexically_normal().string();
}

// libFuzzer flags whose value is a path, and whether the process writes there.
struct PathFlag {
  std::string_view prefix;
  bool written;
};
constexpr PathFlag kPathFlags[] = {
    {"-artifact_prefix=", true},
    {"-exact_artifact_path=", true},
    {"-features_dir=", true},
    {"-dict=", false},
};

// The folder that receives files named `path` + something: the path itself
// when it ends with a separator, else its parent.
std::string FolderOfPrefix(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return fs::path(path).parent_path().string();
}

// Rewrites the command line; returns the folders libFuzzer writes to.
std::vector<std::string> AbsolutiseArguments(int* argc, char*** argv) {
  std::vector<std::string>& arguments = Arguments();
  std::vector<std::string> written;
  bool has_artifact_prefix = false;
  bool first_folder_seen = false;
  for (int i = 0; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    if (i == 0) {
      arguments.push_back(arg);
      continue;
    }
    if (!arg.empty() && arg[0] != '-') {
      arg = Absolute(arg);
      std::error_code ec;
      if (!first_folder_seen && fs::is_directory(arg, ec)) {
        first_folder_seen = true;
        written.push_back(arg);
      }
    }
    for (const PathFlag& flag : kPathFlags) {
      if (!std::string_view(arg).starts_with(flag.prefix)) continue;
      const std::string value = arg.substr(flag.prefix.size());
      const bool keeps_separator = !value.empty() && value.back() == '/';
      std::string absolute = Absolute(value);
      if (keeps_separator && absolute.back() != '/') absolute += '/';
      arg = std::string(flag.prefix) + absolute;
      if (flag.prefix == "-artifact_prefix=") has_artifact_prefix = true;
      if (flag.written) {
        written.push_back(flag.prefix == "-features_dir=" ? absolute : FolderOfPrefix(absolute));
      }
    }
    arguments.push_back(arg);
  }
  if (!has_artifact_prefix) {
    std::error_code ec;
    const std::string here = fs::current_path(ec).string();
    arguments.insert(arguments.begin() + 1, "-artifact_prefix=" + here + "/");
    written.push_back(here);
  }
  std::vector<char*>& pointers = ArgumentPointers();
  for (std::string& arg : arguments) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(arguments.size());
  *argv = pointers.data();
  return written;
}

int ThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(tasks);
  }
  return count;
}

bool AllowBeneath(int ruleset, const std::string& path, __u64 access) {
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return false;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = access;
  rule.parent_fd = fd;
  const bool added = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
  close(fd);
  return added;
}

// Confines every kind of write to `folders` (and writing to /dev/null).
void ConfineWrites(const std::vector<std::string>& folders) {
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi < 1) {
    std::fprintf(stderr, "lumireel fuzz: no Landlock here; writes are not confined\n");
    return;
  }
  __u64 file_rights = LANDLOCK_ACCESS_FS_WRITE_FILE;
  if (abi >= 3) file_rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  __u64 rights = file_rights | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                 LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
                 LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
                 LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                 LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;

  landlock_ruleset_attr attributes{};
  attributes.handled_access_fs = rights;
  const int ruleset =
      static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
  if (ruleset < 0) {
    std::perror("lumireel fuzz: landlock_create_ruleset");
    std::exit(1);
  }
  std::string allowed;
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) continue;
    if (!AllowBeneath(ruleset, folder, rights)) {
      std::perror(("lumireel fuzz: landlock_add_rule " + folder).c_str());
      std::exit(1);
    }
    allowed += " " + folder;
  }
  AllowBeneath(ruleset, "/dev/null", file_rights);
  const int threads = ThreadCount();
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
    std::perror("lumireel fuzz: landlock_restrict_self");
    std::exit(1);
  }
  close(ruleset);
  std::fprintf(stderr, "lumireel fuzz: writes confined to%s /dev/null\n", allowed.c_str());
  if (threads > 1) {
    std::fprintf(stderr, "lumireel fuzz: %d threads ran before the confinement; only this one "
                         "and its future threads are confined\n", threads);
  }
}

}  // namespace

std::string SetUpFuzzTarget(int* argc, char*** argv, const char* name) {
  std::vector<std::string> written = AbsolutiseArguments(argc, argv);

  std::string pattern = ScratchParent() + "/lumireel-" + name + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror(("lumireel fuzz: cannot make " + pattern).c_str());
    std::exit(1);
  }
  const std::string scratch = Absolute(pattern);
  RemoveWhenDone(scratch);

  written.push_back(scratch);
  ConfineWrites(written);
  return scratch;
}

}  // namespace lumireel::fuzzing
