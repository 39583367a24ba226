// The upload manifest, its journal and the album's upload settings: what
// decides which files an upload sends and deletes, and where it goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"
#include "upload/manifest.h"
#include "upload/upload_settings.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

const std::string kSha(64, 'a');
const std::string kOtherSha(64, 'b');

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(UploadManifestTest, ReadsOnlyWellFormedManifestsWithSafePaths) {
  const std::string head = "lumireel-manifest 1\n";
  const struct {
    std::string text;
    bool good;
  } cases[] = {
      {head, true},
      {head + kSha + " 12 index.html\n" + kSha + " 0 photoparts/1/big/Sea & sky.jpg\n", true},
      {"lumireel-manifest 2\n", false},
      {head + kSha + " 12 index.html", false},  // cut off
      {head + kSha.substr(1) + " 12 index.html\n", false},
      {head + "A" + kSha.substr(1) + " 12 index.html\n", false},
      {head + kSha + " -1 index.html\n", false},
      {head + kSha + " 12x index.html\n", false},
      {head + kSha + " 12 ../outside\n", false},
      {head + kSha + " 12 /etc/passwd\n", false},
      {head + kSha + " 12 a//b\n", false},
      {head + kSha + " 12 a/./b\n", false},
      {head + kSha + " 12 a\\b\n", false},
      {head + kSha + " 12 a\tb\n", false},
      {head + kSha + " 12 \n", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseManifest(c.text).has_value(), c.good) << c.text;
  }
  const Manifest manifest = *ParseManifest(cases[1].text);
  EXPECT_EQ(manifest.at("photoparts/1/big/Sea & sky.jpg"), (ManifestEntry{0, kSha}));
  EXPECT_EQ(ManifestText(manifest), cases[1].text);
}

TEST(UploadManifestTest, ScanTakesTheGalleryFilesOnly) {
  testing::TempFolder temp;
  const fs::path gallery = fs::path(temp.path()) / "web";
  Write(gallery / "index.html", "abc");
  Write(gallery / "photoparts/1/big/1.jpg", "");
  Write(gallery / kManifestName, "an older manifest");
  Write(gallery / ".lumireel-x.tmp", "temporary");
  Write(gallery / ".hidden/file", "hidden");
  Write(fs::path(temp.path()) / "outside", "outside");
  fs::create_symlink(fs::path(temp.path()) / "outside", gallery / "link");

  std::string error;
  const std::optional<Manifest> manifest = ScanGallery(gallery.string(), &error);
  ASSERT_TRUE(manifest) << error;
  EXPECT_EQ(manifest->size(), 2u);
  EXPECT_EQ(manifest->at("index.html"),
            (ManifestEntry{3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}));
  EXPECT_EQ(manifest->at("photoparts/1/big/1.jpg").sha256, Sha256OfText(""));
  EXPECT_EQ(ParseManifest(ManifestText(*manifest)), manifest);
  EXPECT_FALSE(ScanGallery((gallery / "missing").string(), &error));
}

TEST(UploadManifestTest, JournalAddsTheChangesOfItsOwnServerOnly) {
  testing::TempFolder temp;
  const std::string gallery = temp.path() + "/web";
  const Manifest server = {{"a.jpg", {1, kSha}}, {"b.jpg", {2, kSha}}};

  UploadJournal journal(gallery, "ftp anna@host:21 /site");
  EXPECT_EQ(journal.Apply(server), server);
  ASSERT_TRUE(journal.RecordPut("a.jpg", {5, kOtherSha}));
  ASSERT_TRUE(journal.RecordRemove("b.jpg"));
  ASSERT_TRUE(journal.RecordPut("c/d.jpg", {3, kSha}));
  const Manifest expected = {{"a.jpg", {5, kOtherSha}}, {"c/d.jpg", {3, kSha}}};
  EXPECT_EQ(journal.Apply(server), expected);

  // A line torn by a kill spoils only itself.
  std::ofstream(gallery + ".lumireel-upload", std::ios::app) << "+ " << kSha << " 9 e.j";
  ASSERT_TRUE(journal.RecordPut("f.jpg", {4, kSha}));
  Manifest with_f = expected;
  with_f["f.jpg"] = {4, kSha};
  EXPECT_EQ(journal.Apply(server), with_f);

  ASSERT_TRUE(journal.RecordTemporary("c/.d.jpg.part"));
  EXPECT_EQ(journal.Temporaries(), std::vector<std::string>{"c/.d.jpg.part"});
  EXPECT_EQ(journal.Apply(server), with_f) << "temporary files are not the gallery's";

  // Another server's upload neither reads nor keeps this journal.
  UploadJournal other(gallery, "sftp anna@host:22 /site");
  EXPECT_EQ(other.Apply(server), server);
  ASSERT_TRUE(other.RecordPut("g.jpg", {1, kSha}));
  EXPECT_EQ(journal.Apply(server), server);
  EXPECT_TRUE(journal.Temporaries().empty());
  other.Clear();
  EXPECT_FALSE(fs::exists(gallery + ".lumireel-upload"));
}

TEST(UploadSettingsTest, ReadsTheAlbumsFtpElement) {
  const auto catalogue = [](const std::string& ftp) {
    return "<albums><album id=\"1\"><name>A</name>" + ftp +
           "</album><album id=\"2\"><ftp host=\"other\" /></album></albums>";
  };
  const struct {
    std::string ftp;
    UploadSettingsStatus status;
    UploadSettings settings;
  } cases[] = {
      {"<ftp />", UploadSettingsStatus::kNotSet, {}},
      {"", UploadSettingsStatus::kNotSet, {}},
      {"<ftp host=\"example.org\" user=\"anna\" folder=\"www//holiday/\" />",
       UploadSettingsStatus::kRead,
       {UploadProtocol::kSftp, "example.org", 22, "anna", "/www/holiday"}},
      {"<ftp protocol=\"ftps\" host=\"10.0.0.1\" port=\"990\" folder=\"/\" />",
       UploadSettingsStatus::kRead, {UploadProtocol::kFtps, "10.0.0.1", 990, "", ""}},
      {"<ftp protocol=\"ftp\" host=\"::1\" />", UploadSettingsStatus::kRead,
       {UploadProtocol::kFtp, "::1", 21, "", ""}},
      {"<ftp protocol=\"http\" host=\"h\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h\" port=\"0\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h\" port=\"70000\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h\" port=\"21a\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h/x\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"user@h\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"-oProxy\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h\" folder=\"www/../etc\" />", UploadSettingsStatus::kInvalid, {}},
      {"<ftp host=\"h\" user=\"Tom &amp; Jerry\" />", UploadSettingsStatus::kRead,
       {UploadProtocol::kSftp, "h", 22, "Tom & Jerry", ""}},
  };
  for (const auto& c : cases) {
    UploadSettings settings;
    EXPECT_EQ(ReadUploadSettings(catalogue(c.ftp), "1", settings), c.status) << c.ftp;
    EXPECT_EQ(settings, c.settings) << c.ftp;
  }
  UploadSettings settings;
  EXPECT_EQ(ReadUploadSettings("<albums", "1", settings), UploadSettingsStatus::kNoCatalogue);
  EXPECT_EQ(TargetName(cases[2].settings), "sftp anna@example.org:22 /www/holiday");
}

}  // namespace
}  // namespace lumireel
