#include "publish/album_zip.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// Every entry of the archive at `path` with its bytes; empty when it does
// not open.
std::map<std::string, std::string> ReadArchive(const fs::path& path) {
  std::map<std::string, std::string> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    std::string bytes(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) continue;
    zip_fread(file, bytes.data(), bytes.size());
    zip_fclose(file);
    entries[stat.name] = bytes;
  }
  zip_close(archive);
  return entries;
}

TEST(AlbumZipTest, HoldsEveryBigImageOfTheGalleryAndNothingElse) {
  testing::TempFolder temp;
  const fs::path gallery = fs::path(temp.path()) / "web";
  const fs::path parts = gallery / "photoparts";
  Put(parts / "1/big/1.jpg", "one");
  Put(parts / "1/big/2.jpg", std::string(70000, 'x'));
  Put(parts / "12/big/1.jpg", "twelve");
  Put(parts / "1/big/.hidden.jpg", "dot file");
  Put(parts / "1/preview/1.jpg", "preview");
  Put(parts / "sounds/big/a.jpg", "not a part");
  Put(parts / ".3/big/1.jpg", "dot part");
  Put(fs::path(temp.path()) / "outside.jpg", "outside");
  fs::create_symlink(fs::path(temp.path()) / "outside.jpg", parts / "1/big/link.jpg");
  fs::create_directories(parts / "4");
  fs::create_directory_symlink(parts / "12/big", parts / "4/big");

  ASSERT_TRUE(WriteAlbumZip(gallery.string()));
  const std::map<std::string, std::string> expected = {
      {"1/1.jpg", "one"}, {"1/2.jpg", std::string(70000, 'x')}, {"12/1.jpg", "twelve"}};
  EXPECT_EQ(ReadArchive(gallery / kAlbumZipFile), expected);

  // A second publication replaces the archive whole.
  fs::remove(parts / "1/big/2.jpg");
  ASSERT_TRUE(WriteAlbumZip(gallery.string()));
  EXPECT_EQ(ReadArchive(gallery / kAlbumZipFile).size(), 2u);
}

TEST(AlbumZipTest, FailuresLeaveNoArchive) {
  testing::TempFolder temp;
  const fs::path folder(temp.path());
  Put(folder / "a.jpg", "a");

  // No big image at all: nothing to offer.
  EXPECT_FALSE(WriteAlbumZip((folder / "empty").string()));
  EXPECT_FALSE(fs::exists(folder / "empty" / kAlbumZipFile));
  // A source that vanished, and a target folder that does not exist.
  EXPECT_FALSE(WriteZipArchive((folder / "x.zip").string(),
                               {{"a.jpg", (folder / "a.jpg").string()},
                                {"b.jpg", (folder / "missing.jpg").string()}}));
  EXPECT_FALSE(WriteZipArchive((folder / "no/x.zip").string(),
                               {{"a.jpg", (folder / "a.jpg").string()}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace lumireel
