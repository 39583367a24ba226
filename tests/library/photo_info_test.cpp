#include "library/photo_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>
#include <vector>
#include <sstream>

#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

class PhotoInfoTest : public ::testing::Test {
 protected:
  std::string At(const std::string& relative) const { return folder_ + "/" + relative; }
  void Put(const std::string& relative, const std::string& text) const {
    fs::create_directories(fs::path(At(relative)).parent_path());
    std::ofstream(At(relative), std::ios::binary) << text;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  testing::TempFolder temp_;
  const std::string folder_ = temp_.path();
};

// Once a folder's originals were looked up, every later change to the
// folder shows in the next answer: files added, renamed, removed or replaced
// by what is no original, the originals folder made again, and the photo
// folder renamed with another made in its place.
TEST_F(PhotoInfoTest, OriginalsFoundFollowEveryChangeOfTheFolder) {
  const std::string part = At("part");
  const auto original = [&](const std::string& id) {
    const std::optional<std::string> found = FindOriginal(part, id);
    return found ? fs::path(*found).filename().string() : std::string("-");
  };
  const auto in = [&](const std::string& name) { return part + "/originals/" + name; };
  Put("part/originals/1.jpg", "x");
  Put("part/originals/2.heic", "x");
  Put("part/originals/notes.txt", "x");
  ASSERT_EQ(original("1"), "1.jpg");

  const struct {
    const char* change;
    std::function<void()> make;
    std::vector<std::pair<std::string, std::string>> expected;  // id -> file name or "-"
  } steps[] = {
      {"added", [&] { Put("part/originals/3.png", "x"); }, {{"3", "3.png"}, {"1", "1.jpg"}}},
      {"renamed", [&] { fs::rename(in("3.png"), in("4.png")); }, {{"3", "-"}, {"4", "4.png"}}},
      {"removed", [&] { fs::remove(in("4.png")); }, {{"4", "-"}, {"2", "2.heic"}}},
      {"no file", [&] {
         fs::remove(in("2.heic"));
         fs::create_directory(in("2.heic"));
         fs::create_symlink(in("1.jpg"), in("5.jpg"));
       }, {{"2", "-"}, {"5", "-"}}},
      {"made again", [&] {
         fs::rename(part + "/originals", part + "/old");
         Put("part/originals/6", "x");
       }, {{"1", "-"}, {"6", "6"}}},
      {"folder renamed", [&] {
         fs::rename(part, At("moved"));
         Put("part/originals/7.jpg", "x");
       }, {{"6", "-"}, {"7", "7.jpg"}}},
  };
  for (const auto& step : steps) {
    step.make();
    for (const auto& [id, name] : step.expected) EXPECT_EQ(original(id), name) << step.change;
  }
  EXPECT_EQ(fs::path(*FindOriginal(At("moved"), "6")).filename(), "6");
}

TEST_F(PhotoInfoTest, FactsReplaceTheirIdAndDuplicatesNeedAKeptOriginal) {
  PhotoFacts first;
  first.original = "a \"b\" & <c>.jpg";
  first.sha256 = "aa";
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{1, first}, {2, first}}));
  EXPECT_EQ(Read("photoinfo.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>"
            "<photo id=\"1\" original=\"a &quot;b&quot; &amp; &lt;c&gt;.jpg\" sha256=\"aa\" />"
            "<photo id=\"2\" original=\"a &quot;b&quot; &amp; &lt;c&gt;.jpg\" sha256=\"aa\" "
            "duplicate_of=\"1\" /></photos>");

  // Photo 1 still has its original, photo 2 was removed; a new photo 2 of
  // the same digest is a duplicate of 1, and its entry replaces the old one.
  Put("originals/1.jpg", "x");
  PhotoFacts second;
  second.sha256 = "aa";
  second.width = 3;
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{2, second}}));
  EXPECT_EQ(Read("photoinfo.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>"
            "<photo id=\"1\" original=\"a &quot;b&quot; &amp; &lt;c&gt;.jpg\" sha256=\"aa\" />"
            "<photo id=\"2\" width=\"3\" sha256=\"aa\" duplicate_of=\"1\" /></photos>");
  EXPECT_EQ(FindOriginal(folder_, "1"), fs::path(At("originals/1.jpg")).string());
  EXPECT_EQ(FindOriginal(folder_, "2"), std::nullopt);
  EXPECT_EQ(FindOriginal(folder_, "../1"), std::nullopt);

  // A facts file that does not parse is never replaced.
  Put("photoinfo.xml", "<photos><photo id=\"1\"");
  EXPECT_FALSE(RecordPhotoFacts(folder_, {{3, second}}));
  EXPECT_EQ(Read("photoinfo.xml"), "<photos><photo id=\"1\"");
}

// Facts added to a file as the program wrote it are appended to its text;
// a file changed since, even to a text of the same length, is read again.
TEST_F(PhotoInfoTest, AddedFactsFollowWhatTheFileHoldsNow) {
  const auto facts = [](std::string digest) {
    PhotoFacts f;
    f.sha256 = std::move(digest);
    return f;
  };
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>";
  Put("originals/1.jpg", "x");
  Put("originals/5.png", "x");
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{1, facts("aa")}, {5, facts("bb")}}));
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{2, facts("aa")}}));
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{3, facts("cc")}, {4, facts("cc")}}));
  EXPECT_EQ(Read("photoinfo.xml"),
            head + "<photo id=\"1\" sha256=\"aa\" /><photo id=\"5\" sha256=\"bb\" />"
                   "<photo id=\"2\" sha256=\"aa\" duplicate_of=\"1\" />"
                   "<photo id=\"3\" sha256=\"cc\" />"
                   "<photo id=\"4\" sha256=\"cc\" duplicate_of=\"3\" /></photos>");

  // Changed behind the program's back: photo 5's digest is now "dd".
  std::string changed = Read("photoinfo.xml");
  changed.replace(changed.find("bb"), 2, "dd");
  Put("photoinfo.xml", changed);
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{6, facts("dd")}, {7, facts("bb")}}));
  const std::string now = Read("photoinfo.xml");
  EXPECT_NE(now.find("<photo id=\"6\" sha256=\"dd\" duplicate_of=\"5\" />"), std::string::npos)
      << now;
  EXPECT_NE(now.find("<photo id=\"7\" sha256=\"bb\" /></photos>"), std::string::npos) << now;

  // Replaced by another file altogether.
  Put("photoinfo.xml", head + "<photo id=\"9\" sha256=\"ee\" /></photos>");
  Put("originals/9", "x");
  ASSERT_TRUE(RecordPhotoFacts(folder_, {{10, facts("ee")}}));
  EXPECT_EQ(Read("photoinfo.xml"), head + "<photo id=\"9\" sha256=\"ee\" />"
                                          "<photo id=\"10\" sha256=\"ee\" duplicate_of=\"9\" />"
                                          "</photos>");
}

TEST_F(PhotoInfoTest, OriginalsAreLeftOutUnlessTheSettingsIncludeThem) {
  using Folders = std::vector<std::string>;
  EXPECT_EQ(FoldersLeftOut(folder_, /*gallery=*/false), Folders{"originals"});
  EXPECT_EQ(FoldersLeftOut(folder_, /*gallery=*/true), (Folders{"edits", "originals"}));
  Put("lumireel-movie.xml", "<movie lang=\"de\" originals=\"1\" />");
  EXPECT_EQ(FoldersLeftOut(folder_, /*gallery=*/false), Folders{});
  EXPECT_EQ(FoldersLeftOut(folder_, /*gallery=*/true), Folders{"edits"});
  Put("lumireel-movie.xml", "<movie originals=\"yes\" />");
  EXPECT_EQ(FoldersLeftOut(folder_, /*gallery=*/true), (Folders{"edits", "originals"}));
}

}  // namespace
}  // namespace lumireel
