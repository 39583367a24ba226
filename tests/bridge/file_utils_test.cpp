#include "bridge/file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/code_page.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

const std::string kFffd(kReplacementCharacter);

TEST(CodePage, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"plain ascii text, long enough for the word loop",
       "plain ascii text, long enough for the word loop"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\x80", kFffd},                                      // stray continuation byte
      {"caf\xE9!", "caf" + kFffd + "!"},                    // a Latin-1 byte
      {std::string("\xE2\x82") + "A", kFffd + "A"},         // truncated, then ASCII
      {"ab\xF0\x9F\x93", "ab" + kFffd},                     // truncated at the end
      {"\xC0\xAF", kFffd + kFffd},                          // overlong
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},              // overlong
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // encoded surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xFF\xFE", kFffd + kFffd},
      {"0123456789abcdef\xC3", "0123456789abcdef" + kFffd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToValidUtf8(c.input), c.expected) << ::testing::PrintToString(c.input);
    std::string in_place = c.input;
    MakeValidUtf8(in_place);
    EXPECT_EQ(in_place, c.expected);
    EXPECT_EQ(IsValidUtf8(c.input), c.input == c.expected);
  }
}

class FileUtils : public ::testing::Test {
 protected:
  std::string At(const std::string& relative) const { return (root_ / relative).string(); }
  void Put(const std::string& relative, const std::string& bytes) const {
    std::ofstream(At(relative), std::ios::binary) << bytes;
  }
  std::string Bytes(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Everything below the temporary folder, as sorted relative paths.
  std::vector<std::string> Tree() const {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      paths.push_back(entry.path().lexically_relative(root_).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  static bool RunningAsRoot() { return ::geteuid() == 0; }

  testing::TempFolder temp_;
  const fs::path root_{temp_.path()};
};

TEST_F(FileUtils, PathsTakeEitherSeparator) {
  EXPECT_EQ(NativePath(R"(C:\a\b c\d.xml)"), "C:/a/b c/d.xml");
  EXPECT_EQ(NativePath("a/b\\c"), "a/b/c");
  EXPECT_EQ(JoinPath("/ws/albums", "1.xml"), "/ws/albums\\1.xml");

  const std::string folder = JoinPath(root_.string(), "Caf\xC3\xA9 & <\"Friends\">");
  ASSERT_TRUE(MakeFolder(folder));
  EXPECT_TRUE(IsFolder(NativePath(folder)));
  const std::string file = JoinPath(folder, "list's \xE2\x82\xAC.xml");
  ASSERT_TRUE(WriteTextFileUtf8(file, "<a/>"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(ReadTextFileUtf8(file), "<a/>");
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(FileExists(file));
}

TEST_F(FileUtils, TextIsStoredAsUtf8AndReadBackWhole) {
  ASSERT_TRUE(WriteTextFileUtf8(At("plain.txt"), "x\ny"));
  EXPECT_EQ(Bytes("plain.txt"), "x\ny");
  ASSERT_TRUE(WriteTextFileCrLf(At("lines.txt"), "x\ny"));
  EXPECT_EQ(Bytes("lines.txt"), "x\r\ny");

  ASSERT_TRUE(WriteTextFileUtf8(At("mixed.txt"), "Z\xC3\xBCrich \xE9t\xE9", 1));
  EXPECT_EQ(Bytes("mixed.txt"), "Z\xC3\xBCrich " + kFffd + "t" + kFffd);
  Put("raw.txt", "\xEF\xBB\xBFok\xFF");
  EXPECT_EQ(ReadTextFileUtf8(At("raw.txt")), "\xEF\xBB\xBFok" + kFffd);

  Put("empty.txt", "");
  EXPECT_EQ(ReadTextFileUtf8(At("empty.txt")), "");
  EXPECT_EQ(ReadTextFileUtf8(At("missing.txt")), std::nullopt);
  EXPECT_EQ(ReadTextFileUtf8(root_.string()), std::nullopt);
  ASSERT_EQ(::mkfifo(At("pipe").c_str(), 0644), 0);
  EXPECT_EQ(ReadTextFileUtf8(At("pipe")), std::nullopt);  // refused, not waited on
  EXPECT_FALSE(FileExists(At("pipe")));

  std::string large;
  for (int i = 0; large.size() < 12 * 1024 * 1024; ++i) {
    large += "<photo id=\"" + std::to_string(i) + "\" title=\"\xC3\xA9t\xC3\xA9\"/>\n";
  }
  ASSERT_TRUE(WriteFileAtomic(At("large.xml"), large));
  EXPECT_EQ(ReadTextFileUtf8(At("large.xml")), large);
}

TEST_F(FileUtils, AtomicWriteReplacesWholeOrNotAtAll) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ASSERT_TRUE(WriteFileAtomic(At("new.xml"), "one"));
  struct stat info;
  ASSERT_EQ(::stat(At("new.xml").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644 & ~mask);

  ASSERT_EQ(::chmod(At("new.xml").c_str(), 0600), 0);
  ASSERT_TRUE(WriteFileAtomic(At("new.xml"), "two"));
  EXPECT_EQ(Bytes("new.xml"), "two");
  ASSERT_EQ(::stat(At("new.xml").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A link is replaced by the new file; what it pointed at is untouched.
  fs::create_symlink("new.xml", At("link.xml"));
  ASSERT_TRUE(WriteFileAtomic(At("link.xml"), "three"));
  EXPECT_FALSE(fs::is_symlink(At("link.xml")));
  EXPECT_EQ(Bytes("link.xml"), "three");
  EXPECT_EQ(Bytes("new.xml"), "two");

  // Failures leave everything as it was and no temporary file behind.
  fs::create_directory(At("folder"));
  Put("folder/inside.txt", "kept");
  EXPECT_FALSE(WriteFileAtomic(At("folder"), "x"));
  EXPECT_FALSE(WriteTextFileUtf8(At("missing/new.xml"), "x"));
  EXPECT_FALSE(WriteTextFileCrLf(At("missing/new.xml"), "x"));
  EXPECT_FALSE(WriteFileAtomic(At("trailing/"), "x"));
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"folder", "folder/inside.txt", "link.xml", "new.xml"}));

  if (!RunningAsRoot()) {
    ASSERT_EQ(::chmod(root_.c_str(), 0555), 0);
    EXPECT_FALSE(WriteFileAtomic(At("new.xml"), "four"));
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
    EXPECT_EQ(Bytes("new.xml"), "three");
  }
}

TEST_F(FileUtils, ConcurrentWritersEachLeaveAWholeFile) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([this, t] {
      const std::string text(100000, static_cast<char>('a' + t));
      for (int i = 0; i < 10; ++i) EXPECT_TRUE(WriteFileAtomic(At("shared.xml"), text));
    });
  }
  for (std::thread& writer : writers) writer.join();
  const std::string result = Bytes("shared.xml");
  ASSERT_EQ(result.size(), 100000u);
  EXPECT_EQ(result, std::string(100000, result[0]));
  EXPECT_EQ(Tree(), std::vector<std::string>{"shared.xml"});
}

TEST_F(FileUtils, CopyFileReplacingKeepsTheOldDestinationOnFailure) {
  Put("a.jpg", "image-a");
  Put("b.jpg", "image-b");
  EXPECT_TRUE(CopyFileReplacing(At("a.jpg"), At("copy.jpg")));
  EXPECT_EQ(Bytes("copy.jpg"), "image-a");
  EXPECT_TRUE(CopyFileReplacing(At("b.jpg"), At("copy.jpg")));
  EXPECT_EQ(Bytes("copy.jpg"), "image-b");
  EXPECT_TRUE(CopyFileReplacing(At("b.jpg"), At("b.jpg")));
  EXPECT_EQ(Bytes("b.jpg"), "image-b");
  EXPECT_FALSE(CopyFileReplacing(At("missing.jpg"), At("copy.jpg")));
  EXPECT_FALSE(CopyFileReplacing(root_.string(), At("copy.jpg")));
  EXPECT_EQ(Bytes("copy.jpg"), "image-b");
  EXPECT_EQ(Tree(), (std::vector<std::string>{"a.jpg", "b.jpg", "copy.jpg"}));
}

// Copies go through the kernel where it can and through a buffer where it
// cannot; either way every byte arrives: a file bigger than one buffer, an
// empty file, and a /proc file whose size says 0 though it holds bytes.
TEST_F(FileUtils, CopiesHoldEveryByteWhicheverWayTheyGo) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  fs::create_directories(At("tree"));
  Put("tree/big.jpg", big);
  Put("tree/empty.jpg", "");
  std::ifstream proc("/proc/self/cmdline", std::ios::binary);
  const std::string cmdline(std::istreambuf_iterator<char>(proc), {});
  ASSERT_FALSE(cmdline.empty());

  const std::pair<std::string, std::string> cases[] = {
      {At("tree/big.jpg"), big}, {At("tree/empty.jpg"), ""}, {"/proc/self/cmdline", cmdline}};
  for (const auto& [source, bytes] : cases) {
    SCOPED_TRACE(source);
    ASSERT_TRUE(CopyFileReplacing(source, At("copy")));
    EXPECT_EQ(Bytes("copy"), bytes);
  }
  ASSERT_EQ(CloneFolder(At("tree"), At("clone")), 0);
  EXPECT_EQ(Bytes("clone/big.jpg"), big);
  EXPECT_EQ(Bytes("clone/empty.jpg"), "");
}

TEST_F(FileUtils, FolderTests) {
  EXPECT_TRUE(MakeFolder(At("a")));
  EXPECT_FALSE(MakeFolder(At("a")));        // exists
  EXPECT_FALSE(MakeFolder(At("x\\y\\z")));  // parent missing
  EXPECT_TRUE(MakeFolder(At("a") + "\\b"));
  EXPECT_TRUE(IsFolderEmpty(At("a\\b")));
  EXPECT_TRUE(IsFolderEmpty(At("missing")));
  Put("a/b/.hidden", "");
  EXPECT_FALSE(IsFolderEmpty(At("a/b")));
  EXPECT_FALSE(IsFolder(At("a/b/.hidden")));
  EXPECT_FALSE(FileExists(At("a")));
  EXPECT_FALSE(RemoveFile(At("a/b")));  // a folder is not a file
  EXPECT_TRUE(IsFolder(At("a/b")));
}

TEST_F(FileUtils, EmptyAndRemoveFolderGoThroughEveryLevel) {
  fs::create_directories(At("album/1/thumbs/deep"));
  fs::create_directories(At("album/empty"));
  Put("album/list.xml", "x");
  Put("album/.keywords", "x");
  Put("album/1/thumbs/deep/p.jpg", "x");
  ASSERT_EQ(::chmod(At("album/1/thumbs").c_str(), 0555), 0);  // a read-only sub-folder

  EXPECT_TRUE(EmptyFolder(At("album") + "\\"));
  if (RunningAsRoot()) {
    EXPECT_EQ(Tree(), std::vector<std::string>{"album"});
  } else {
    // What could not be deleted stays, and the emptying still counts as done.
    EXPECT_EQ(Tree(), (std::vector<std::string>{"album", "album/1", "album/1/thumbs",
                                                "album/1/thumbs/deep"}));
    ASSERT_EQ(::chmod(At("album/1/thumbs").c_str(), 0755), 0);
  }

  fs::create_directories(At("album/2/3"));
  Put("album/2/3/p.jpg", "x");
  EXPECT_TRUE(RemoveFolder(At("album")));
  EXPECT_TRUE(Tree().empty());

  EXPECT_FALSE(EmptyFolder(At("album")));
  EXPECT_FALSE(RemoveFolder(At("album")));
  Put("file", "x");
  EXPECT_FALSE(EmptyFolder(At("file")));
  EXPECT_FALSE(EmptyFolder(""));
}

TEST_F(FileUtils, EmptyFolderNeverFollowsLinks) {
  fs::create_directories(At("outside/sub"));
  Put("outside/photo.jpg", "precious");
  Put("outside/sub/photo.jpg", "precious");
  fs::create_directories(At("album"));
  fs::create_symlink(At("outside"), At("album/folder-link"));
  fs::create_symlink(At("outside/photo.jpg"), At("album/file-link"));
  fs::create_symlink(At("nowhere"), At("album/dangling"));
  fs::create_symlink(At("outside"), At("album-link"));

  EXPECT_FALSE(EmptyFolder(At("album-link")));
  EXPECT_FALSE(EmptyFolder(At("album-link/")));
  EXPECT_FALSE(RemoveFolder(At("album-link")));
  EXPECT_TRUE(RemoveFolder(At("album")));

  EXPECT_EQ(Tree(), (std::vector<std::string>{"album-link", "outside", "outside/photo.jpg",
                                              "outside/sub", "outside/sub/photo.jpg"}));
  EXPECT_EQ(Bytes("outside/sub/photo.jpg"), "precious");
}

TEST_F(FileUtils, EmptyFolderHandlesTreesDeeperThanAnyPath) {
  // 200 levels of 30-letter names: longer than any path can be, and deeper
  // than the open files allowed while it is emptied.
  const std::string name(30, 'd');
  int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < 200; ++level) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int inner = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(inner, 0);
    fd = inner;
  }
  ::close(::openat(fd, "leaf.txt", O_WRONLY | O_CREAT, 0644));
  ::close(fd);

  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 64);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const bool emptied = EmptyFolder(root_.string());
  ::setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_TRUE(emptied);
  EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(FileUtils, CloneFolderCopiesVisibleEntriesAndSkipsLinks) {
  fs::create_directories(At("src/skin/icons"));
  fs::create_directories(At("src/.cache"));
  Put("src/index.html", "<html>");
  Put("src/skin/icons/play.png", std::string("\x89PNG\0\x01", 6));
  Put("src/.hidden", "x");
  Put("src/.cache/c", "x");
  ::chmod(At("src/index.html").c_str(), 0640);
  fs::create_symlink("skin/icons", At("src/icons-link"));

  ASSERT_EQ(CloneFolder(At("src"), At("dst")), 0);
  EXPECT_EQ(Bytes("dst/index.html"), "<html>");
  EXPECT_EQ(Bytes("dst/skin/icons/play.png"), std::string("\x89PNG\0\x01", 6));
  EXPECT_EQ(fs::status(At("dst/index.html")).permissions(), fs::perms(0640));
  EXPECT_FALSE(fs::exists(fs::symlink_status(At("dst/icons-link"))));
  EXPECT_FALSE(fs::exists(At("dst/.hidden")));
  EXPECT_FALSE(fs::exists(At("dst/.cache")));

  // An existing destination: the error for an existing file, nothing copied.
  fs::create_directories(At("taken"));
  EXPECT_EQ(CloneFolder(At("src"), At("taken")), EEXIST);
  EXPECT_TRUE(fs::is_empty(At("taken")));
  EXPECT_EQ(CloneFolder(At("src"), At("missing\\dst")), ENOENT);

  // A source that cannot be read leaves the empty destination.
  EXPECT_EQ(CloneFolder(At("missing"), At("from-missing")), 0);
  EXPECT_TRUE(IsFolder(At("from-missing")) && fs::is_empty(At("from-missing")));

  // Folders left out by name, at any depth: a photo folder's originals.
  fs::create_directories(At("src/1/originals"));
  Put("src/1/originals/1.jpg", "original");
  Put("src/1/photos.xml", "<album/>");
  ASSERT_EQ(CloneFolder(At("src"), At("without"), LinkPolicy::kRefuse, {"originals"}), 0);
  EXPECT_EQ(Bytes("without/1/photos.xml"), "<album/>");
  EXPECT_FALSE(fs::exists(At("without/1/originals")));

  // A destination inside the source is not copied into itself.
  ASSERT_EQ(CloneFolder(At("src\\skin"), At("src\\skin\\backup")), 0);
  EXPECT_EQ(Bytes("src/skin/backup/icons/play.png"), std::string("\x89PNG\0\x01", 6));
  EXPECT_FALSE(fs::exists(At("src/skin/backup/backup")));
}

TEST_F(FileUtils, CloneFolderStopsAtTheFirstFailure) {
  fs::create_directories(At("src/sub"));
  Put("src/sub/a.txt", "x");
  ::mkfifo(At("src/pipe").c_str(), 0644);  // skipped, never opened
  if (!RunningAsRoot()) {
    ASSERT_EQ(::chmod(At("src/sub/a.txt").c_str(), 0), 0);
    EXPECT_EQ(CloneFolder(At("src"), At("dst")), -1);  // the sub-folder's copy failed
    EXPECT_FALSE(fs::exists(At("dst/sub/a.txt")));
    ASSERT_EQ(::chmod(At("src/sub/a.txt").c_str(), 0644), 0);
  }
  EXPECT_EQ(CloneFolder(At("src"), At("dst2")), 0);
  EXPECT_EQ(Bytes("dst2/sub/a.txt"), "x");
  EXPECT_FALSE(fs::exists(At("dst2/pipe")));
}

// Every way the program replaces or copies a file, tried on a link that
// points outside: the link is replaced or skipped, the outside file kept.
TEST_F(FileUtils, LinksAreReplacedOrSkippedNeverWrittenThrough) {
  fs::create_directories(At("outside/folder"));
  fs::create_directories(At("work/tree/sub"));
  Put("outside/secret", "secret");
  Put("work/tree/sub/photo.jpg", "jpeg");
  fs::create_symlink(At("outside/secret"), At("work/tree/photos.xml"));
  fs::create_symlink(At("outside/folder"), At("work/tree/big"));
  fs::create_symlink(At("outside/secret"), At("work/link"));
  struct Case {
    const char* what;
    std::function<bool()> act;
    const char* path;      // where the new regular file must be (or nothing)
    const char* expected;  // its bytes; nullptr: nothing there
  };
  const Case cases[] = {
      {"atomic write", [&] { return WriteFileAtomic(At("work/link"), "new"); }, "work/link", "new"},
      {"text write", [&] { return WriteTextFileUtf8(At("work/tree/photos.xml"), "<p/>"); },
       "work/tree/photos.xml", "<p/>"},
      {"copy over a link",
       [&] { return CopyFileReplacing(At("work/tree/sub/photo.jpg"), At("work/link")); },
       "work/link", "jpeg"},
      {"write through a temporary",
       [&] {
         return WriteThroughTemporary(At("work/tree/big"), [](const std::string& temporary) {
           return static_cast<bool>(std::ofstream(temporary) << "zip");
         });
       },
       "work/tree/big", "zip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(c.act());
    EXPECT_FALSE(fs::is_symlink(At(c.path)));
    EXPECT_EQ(Bytes(c.path), c.expected);
  }
  EXPECT_EQ(Bytes("outside/secret"), "secret");
  EXPECT_TRUE(fs::is_empty(At("outside/folder")));

  // What is published refuses a link as its source.
  fs::create_symlink(At("outside/secret"), At("work/template"));
  EXPECT_EQ(ReadTextFileUtf8(At("work/template")), "secret");
  EXPECT_EQ(ReadTextFileUtf8(At("work/template"), LinkPolicy::kRefuse), std::nullopt);
  EXPECT_FALSE(CopyFileReplacing(At("work/template"), At("work/copy"), LinkPolicy::kRefuse));
  EXPECT_FALSE(fs::exists(At("work/copy")));

  // A folder copy holds only folders and regular files; a source that is a
  // link gives an empty copy when links are refused.
  fs::create_symlink(At("outside"), At("work/tree/sub/outside"));
  ASSERT_EQ(CloneFolder(At("work/tree"), At("copy")), 0);
  for (const auto& entry : fs::recursive_directory_iterator(At("copy"))) {
    EXPECT_TRUE(entry.is_directory() || entry.is_regular_file()) << entry.path();
    EXPECT_FALSE(entry.is_symlink()) << entry.path();
  }
  EXPECT_EQ(Bytes("copy/sub/photo.jpg"), "jpeg");
  fs::create_symlink(At("work/tree"), At("tree-link"));
  EXPECT_EQ(CloneFolder(At("tree-link"), At("copy-refused"), LinkPolicy::kRefuse), 0);
  EXPECT_TRUE(fs::is_empty(At("copy-refused")));
  EXPECT_EQ(CloneFolder(At("tree-link"), At("copy-followed")), 0);
  EXPECT_EQ(Bytes("copy-followed/sub/photo.jpg"), "jpeg");
}

// A tree deeper than a path can be long is copied whole, with few
// descriptors; the copy leaves no temporary file.
TEST_F(FileUtils, CloneFolderCopiesTreesDeeperThanThePathLimit) {
  // 101 bytes a level: 6060 bytes, beyond PATH_MAX, and more levels than
  // the descriptors allowed below.
  constexpr int kDepth = 60;
  const std::string name(100, 'd');
  int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(::mkdirat(fd, "deep", 0777), 0);
  int level = ::openat(fd, "deep", O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(::mkdirat(level, name.c_str(), 0777), 0);
    const int next = ::openat(level, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(level);
    level = next;
  }
  const int file = ::openat(level, "photo.jpg", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, "deep", 4), 4);
  ::close(file);
  ::close(level);
  ::close(fd);

  struct rlimit saved;
  ::getrlimit(RLIMIT_NOFILE, &saved);
  struct rlimit few = saved;
  few.rlim_cur = 32;
  ::setrlimit(RLIMIT_NOFILE, &few);
  const int result = CloneFolder(At("deep"), At("copy"));
  ::setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_EQ(result, 0);

  int depth = 0;
  fd = ::open(At("copy").c_str(), O_RDONLY | O_DIRECTORY);
  while (true) {
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    if (next < 0) break;
    ::close(fd);
    fd = next;
    ++depth;
  }
  char bytes[8] = {};
  const int copied = ::openat(fd, "photo.jpg", O_RDONLY);
  EXPECT_EQ(::read(copied, bytes, sizeof bytes), 4);
  ::close(copied);
  ::close(fd);
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(std::string(bytes), "deep");
  EXPECT_TRUE(EmptyFolder(root_.string()));
}

TEST_F(FileUtils, LeftoversOfInterruptedWritesAreSweptAndNothingElse) {
  fs::create_directories(At("albums/1/photoparts/1/big"));
  fs::create_directories(At("albums/1/.photoparts-copying/1"));
  fs::create_directories(At("outside"));
  Put("outside/.lumireel-1-2-3.tmp", "not ours to sweep");
  fs::create_symlink(At("outside"), At("albums/1/photoparts/1/preview"));
  const char* swept[] = {"albums/1/photoparts/1/.lumireel-9-9-9.tmp",
                         "albums/1/photoparts/1/big/.lumireel-9-0000abcd-x.jpg",
                         "albums/1/.photoparts-copying/1/photos.xml"};
  const char* kept[] = {"albums/1/photoparts/1/photos.xml", "albums/1/photoparts/1/big/1.jpg",
                        "albums/1/photoparts/1/.lumireel-notes", "albums/1/photoparts/1/a.tmp",
                        "outside/.lumireel-1-2-3.tmp"};
  for (const char* path : swept) Put(path, "x");
  for (const char* path : kept) Put(path, "x");
  // Writes begun after the sweep's moment belong to the running program.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  struct timespec moment {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &moment);
  const char* running[] = {"albums/1/photoparts/1/.lumireel-5-5-5.tmp",
                           "albums/2/.photoparts-copying/1/photos.xml"};
  fs::create_directories(At("albums/2/.photoparts-copying/1"));
  for (const char* path : running) Put(path, "x");

  EXPECT_EQ(RemoveLeftovers(At("albums"), moment), 3u);
  for (const char* path : swept) EXPECT_FALSE(fs::exists(At(path))) << path;
  EXPECT_FALSE(fs::exists(At("albums/1/.photoparts-copying")));
  for (const char* path : kept) EXPECT_EQ(Bytes(path), "x") << path;
  for (const char* path : running) EXPECT_EQ(Bytes(path), "x") << path;
}

TEST_F(FileUtils, OneLockPerFileWhateverItsSpelling) {
  std::mutex* const photos = LockFilePath(At("album\\photos.xml")).mutex();
  const std::string relative = fs::relative(root_).string() + "/x/..\\album/./photos.xml";
  EXPECT_EQ(LockFilePath(relative).mutex(), photos);
  EXPECT_NE(LockFilePath(At("album/keywords.xml")).mutex(), photos);
}

}  // namespace
}  // namespace lumireel
