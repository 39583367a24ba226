#include "platform/gtk/movie_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_folder.h"

namespace lumireel::platform::gtk {
namespace {

namespace fs = std::filesystem;

TEST(MovieLocationTest, MovieFilePathTurnsTheProgramsPathIntoAFilePath) {
  EXPECT_EQ(MovieFilePath("/home/ann/Lumireel\\quillmarZEL.snt"),
            "/home/ann/Lumireel/quillmarZEL.snt");
  EXPECT_EQ(MovieFilePath("/a//b/./c\\d"), "/a/b/c/d");
  EXPECT_EQ(MovieFilePath("movie.snt"), (fs::current_path() / "movie.snt").string());
}

TEST(MovieLocationTest, FolderUriEscapesAndEndsWithASlash) {
  EXPECT_EQ(FolderUri("/home/ann/Lumireel"), "file:///home/ann/Lumireel/");
  EXPECT_EQ(FolderUri("/tmp/Tom & Jerry's #1 100%/"),
            "file:///tmp/Tom%20&%20Jerry's%20%231%20100%25/");
  EXPECT_EQ(FolderUri("relative/folder"), "");
  EXPECT_EQ(FolderUri(""), "");
}

class LocalFilePolicyTest : public ::testing::Test {
 protected:
  LocalFilePolicyTest() {
    root_ = fs::path(folder_.path()) / "work space";
    fs::create_directories(root_ / "images");
    fs::create_directories(fs::path(folder_.path()) / "work spaceX");
    fs::create_directories(fs::path(folder_.path()) / "outside");
    std::ofstream(fs::path(folder_.path()) / "outside" / "secret.html") << "x";
    fs::create_symlink(fs::path(folder_.path()) / "outside", root_ / "link");
    root_uri_ = FolderUri(root_.string());
  }

  testing::TempFolder folder_;
  fs::path root_;
  std::string root_uri_;
};

TEST_F(LocalFilePolicyTest, AllowsOnlyLocalFilesAtOrBelowTheRoot) {
  const LocalFilePolicy policy(root_.string());
  const std::string parent_uri = FolderUri(folder_.path());
  const struct {
    std::string uri;
    bool allowed;
  } cases[] = {
      {root_uri_, true},
      {root_uri_ + "images/a.png", true},
      {root_uri_ + "images/not-yet-there/b.png", true},
      {root_uri_ + "gallery.html#slide-3", true},
      {root_uri_ + "gallery.html?x=1", true},
      {"file://localhost" + root_uri_.substr(7) + "a.png", true},
      // Out of the root by a dot-dot, an escaped slash, a look-alike
      // sibling, a link, or another host.
      {root_uri_ + "../outside/secret.html", false},
      {root_uri_ + "images/..%2F..%2Foutside/secret.html", false},
      {parent_uri + "work%20spaceX/a.html", false},
      {root_uri_ + "link/secret.html", false},
      {"file://example.org" + root_uri_.substr(7) + "a.png", false},
      {"file:///etc/passwd", false},
      // Every other scheme.
      {"http://127.0.0.1/a.png", false},
      {"https://example.org/", false},
      {"data:text/html,<p>x</p>", false},
      {"javascript:alert(1)", false},
      {"about:blank", false},
      {"", false},
      {"not a uri", false},
  };
  for (const auto& c : cases) EXPECT_EQ(policy.Allows(c.uri), c.allowed) << c.uri;
}

TEST_F(LocalFilePolicyTest, WorkspaceAddressesNameOnlyFilesBelowTheRoot) {
  const LocalFilePolicy policy(root_.string());
  const std::string images = fs::weakly_canonical(root_ / "images").string();
  const struct {
    std::string uri;
    std::optional<std::string> file;
  } cases[] = {
      {std::string(kWorkspaceUri) + "images/a%20b.png?v=2#top", images + "/a b.png"},
      {std::string(kWorkspaceUri) + "link/secret.html", std::nullopt},
      {std::string(kWorkspaceUri) + "../outside/secret.html", std::nullopt},
      {std::string(kWorkspaceUri) + "images/..%2F..%2Foutside/secret.html", std::nullopt},
      {root_uri_ + "images/a.png", std::nullopt},  // a file: address is no workspace address
      {"lumireel://elsewhere/images/a.png", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(policy.WorkspaceFile(c.uri), c.file) << c.uri;
  EXPECT_EQ(LocalFilePolicy().WorkspaceFile(std::string(kWorkspaceUri) + "a.png"), std::nullopt);
}

TEST_F(LocalFilePolicyTest, APolicyWithoutARootAllowsNothing) {
  EXPECT_FALSE(LocalFilePolicy().Allows(root_uri_ + "a.png"));
  EXPECT_FALSE(LocalFilePolicy("relative").Allows(root_uri_ + "a.png"));
}

TEST_F(LocalFilePolicyTest, ARootReachedThroughALinkStillContainsItsFiles) {
  const fs::path alias = fs::path(folder_.path()) / "alias";
  fs::create_symlink(root_, alias);
  const LocalFilePolicy policy(alias.string());
  EXPECT_TRUE(policy.Allows(FolderUri(alias.string()) + "images/a.png"));
  EXPECT_TRUE(policy.Allows(root_uri_ + "images/a.png"));
  EXPECT_FALSE(policy.Allows(FolderUri(alias.string()) + "link/secret.html"));
}

}  // namespace
}  // namespace lumireel::platform::gtk
