#include "library/photo_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "library/stored_xml.h"
#include "library_files.h"

namespace lumireel {
namespace {

class PhotoListTest : public ::testing::Test {
 protected:
  testing::LibraryFiles files_;
};

TEST_F(PhotoListTest, HighestIdIsFoundWhateverTheLetterCase) {
  const struct {
    std::string list;
    int highest;
  } cases[] = {
      {"<album><photo><id>3</id></photo><photo><id>12</id></photo><photo><id>5</id></photo></"
       "album>",
       12},
      {kEmptyPhotoList, 0},
      {"<?xml "
       "version=\"1.0\"?><ALBUM><Photo><ID>9</ID></Photo><photo><name>x</name></photo></ALBUM>",
       9},
      {"<album><photo><id></id></photo><photo><id>-4</id></photo></album>", 0},
      {"<album><photo><id>99999999999</id></photo></album>", 2147483647},
      // Only the photos right inside the first album count, each by its
      // first id.
      {"<album><photo><id>4</id><album><photo><id>50</id></photo></album></photo>"
       "<photo><ID>7</ID><id>80</id></photo></album>",
       7},
      {"<album><photo><id>2</id></photo></album><album><photo><id>9</id></photo></album>", 2},
      {"<?xml version=\"1.0\"?><other><photo><id>6</id></photo></other>"
       "<album><photo><id>5</id></photo></album>",
       5},
      // Lists that do not parse count as empty; the process goes on.
      {"<album><photo><id>3</id><name>&bogus;</name></photo></album>", 0},
      {"<album><photo id=\"3></photo></album>", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    files_.Put("part/photos.xml", c.list);
    EXPECT_EQ(GetHighestPhotoId(files_.At("part")), c.highest) << c.list;
  }
  EXPECT_EQ(GetHighestPhotoId(files_.At("missing")), 0);
}

TEST_F(PhotoListTest, EntriesAreAppendedInTheListsOwnForm) {
  files_.Put(
      "part/photos.xml",
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mheight=\"5\" mwidth=\"6\" id=\"2\">"
      "<photo><id>6</id><file>6.jpg</file><name>Caf\xC3\xA9 &amp; C:\\tmp\\</name><w>1</w>"
      "<h>2</h></photo></album>");
  ASSERT_TRUE(AddPhotoToList(files_.At("part"), 7, "7", 700, 525));
  ASSERT_TRUE(AddPhotoToList(files_.At("part"), 8, "a&b\\c", 1, 1));
  EXPECT_EQ(
      files_.Bytes("part/photos.xml"),
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mheight=\"5\" mwidth=\"6\" id=\"2\" >"
      "<photo><id>6</id><file>6.jpg</file><name>Caf\xC3\xA9 &amp; C:\\tmp\\</name><w>1</w>"
      "<h>2</h></photo><photo><id>7</id><name/><file>7.jpg</file><w>700</w><h>525</h></photo>"
      "<photo><id>8</id><name/><file>a&amp;b\\c.jpg</file><w>1</w><h>1</h></photo></album>");
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 8);

  // A missing list is started; one that does not parse is left as it is.
  files_.MakeFolders("new");
  ASSERT_TRUE(AddPhotoToList(files_.At("new"), 1, "1", 2, 3));
  EXPECT_EQ(files_.Bytes("new/photos.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album><photo><id>1</id><name/><file>1.jpg"
            "</file><w>2</w><h>3</h></photo></album>");
  files_.Put("bad/photos.xml", "<album><photo>");
  EXPECT_FALSE(AddPhotoToList(files_.At("bad"), 1, "1", 2, 3));
  EXPECT_EQ(files_.Bytes("bad/photos.xml"), "<album><photo>");
}

TEST_F(PhotoListTest, LargeListStaysQuick) {
  std::string list = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>";
  for (int id = 1; id <= 20000; ++id) {
    const std::string n = std::to_string(id);
    list +=
        "<photo><id>" + n + "</id><name/><file>" + n + ".jpg</file><w>700</w><h>525</h></photo>";
  }
  files_.Put("part/photos.xml", list + "</album>");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 20000);
  ASSERT_TRUE(AddPhotoToList(files_.At("part"), 20001, "20001", 1, 1));
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 20001);
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(2000) * testing::kTimeLimitFactor);
}

}  // namespace
}  // namespace lumireel
