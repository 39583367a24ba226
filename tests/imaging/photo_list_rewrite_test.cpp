#include "imaging/photo_list_rewrite.h"

#include <gtest/gtest.h>

#include "library/library_files.h"
#include "library/photo_list.h"

namespace lumireel {
namespace {

class ListRewriteTest : public ::testing::Test {
 protected:
  // Imports photo `id` (preview `width` x 90) as an import job does.
  bool Import(int id, int width) {
    LoadedList loaded;
    if (!LoadList(files_.At("part/photos.xml"), loaded)) return false;
    ImportedPhoto photo;
    photo.id = id;
    photo.preview_width = static_cast<std::uint32_t>(width);
    photo.preview_height = 90;
    return AppendImportedPhotos(files_.At("part"), files_.At("part/photos.xml"), loaded, {photo});
  }
  // The list as a parse and a write give it back: what every append to a
  // list this program wrote must equal.
  std::string Reparsed() const {
    CXmlDocument document;
    EXPECT_TRUE(ParseStoredXmlForAppend(files_.Bytes("part/photos.xml"), document));
    return document.ToXml();
  }

  testing::LibraryFiles files_;
};

// Lists the program wrote take new entries as text; what they hold must be
// what a parse of the list would have given, and any change to a list from
// outside, even to a text of the same length, is read afresh.
TEST_F(ListRewriteTest, KnownListsChangeAsAfterAParseAndChangedListsAreReadAgain) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";
  files_.Put("part/photos.xml", head +
                                    "<album mwidth=\"180\" mheight=\"135\" id=\"1\" ><photo><id>1"
                                    "</id><name>A &amp; B</name><file>1.jpg</file><w>1</w><h>2</h>"
                                    "</photo></album>");
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 1);
  ASSERT_TRUE(Import(2, 120));
  ASSERT_TRUE(Import(3, 130));
  EXPECT_EQ(files_.Bytes("part/photos.xml"), Reparsed());
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 3);
  ASSERT_TRUE(RewritePhotoSize(files_.At("part/photos.xml"), "2", 77, 66));
  ASSERT_TRUE(Import(4, 140));
  const std::string list = files_.Bytes("part/photos.xml");
  EXPECT_EQ(list, Reparsed());
  EXPECT_EQ(list, head +
                      "<album mheight=\"135\" mwidth=\"180\" id=\"1\" ><photo><id>1</id><file>1.jpg"
                      "</file><name>A &amp; B</name><w>1</w><h>2</h></photo><photo><id>2</id><file>"
                      "2.jpg</file><name/><w>77</w><h>66</h></photo><photo><id>3</id><file>3.jpg"
                      "</file><name/><w>130</w><h>90</h></photo><photo><id>4</id><name/><file>4.jpg"
                      "</file><w>140</w><h>90</h></photo></album>");
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 4);
  EXPECT_EQ(ReadPreviewBox(files_.At("part/photos.xml")).width, 180);

  // Changed from outside to a text of the same length: photo 4 is now 9, the
  // box 280 wide; an import keeps the outside change.
  std::string changed = list;
  changed.replace(changed.find("<id>4</id>"), 10, "<id>9</id>");
  changed.replace(changed.find("mwidth=\"180\""), 12, "mwidth=\"280\"");
  files_.Put("part/photos.xml", changed);
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 9);
  EXPECT_EQ(ReadPreviewBox(files_.At("part/photos.xml")).width, 280);
  ASSERT_TRUE(Import(10, 150));
  EXPECT_EQ(files_.Bytes("part/photos.xml"),
            changed.substr(0, changed.size() - 8) +
                "<photo><id>10</id><name/><file>10.jpg</file><w>150</w><h>90</h></photo></album>");
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 10);

  // A list that no longer parses is not appended to as text.
  files_.Put("part/photos.xml", "<album><photo></album>");
  EXPECT_EQ(GetHighestPhotoId(files_.At("part")), 0);
  EXPECT_FALSE(Import(11, 150));
}

// Sizes set many at a time leave the list as one rewrite per photo would:
// every entry of an id (there may be two) gets its size, unknown ids change
// nothing, and what a rewrite drops is dropped.
TEST_F(ListRewriteTest, SizesOfManyPhotosAtOnceMatchOneRewritePerPhoto) {
  const std::string list =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"180\" extra=\"x\"><photo><id>1"
      "</id><file>1.jpg</file><w>1</w><h>2</h><note/></photo><!-- c --><photo><id>2</id><file>"
      "2.jpg</file></photo><photo><id>1</id><file>1b.jpg</file></photo><photo><file>9.jpg"
      "</file></photo></album>";
  const std::map<std::string, PixelSize> sizes = {
      {"1", {180, 120}}, {"2", {60, 120}}, {"7", {10, 10}}};
  files_.Put("part/photos.xml", list);
  for (const auto& [id, size] : sizes) {
    ASSERT_TRUE(RewritePhotoSize(files_.At("part/photos.xml"), id, size.width, size.height));
  }
  const std::string one_by_one = files_.Bytes("part/photos.xml");
  files_.Put("part/photos.xml", list);
  ASSERT_TRUE(RewritePhotoSizes(files_.At("part/photos.xml"), sizes));
  EXPECT_EQ(files_.Bytes("part/photos.xml"), one_by_one);
  EXPECT_NE(one_by_one.find("<file>1b.jpg</file><name/><w>180</w><h>120</h>"), std::string::npos);
  EXPECT_EQ(one_by_one.find("9.jpg"), std::string::npos);

  files_.Put("part/photos.xml", "<album><photo></album>");
  EXPECT_FALSE(RewritePhotoSizes(files_.At("part/photos.xml"), sizes));
  EXPECT_EQ(files_.Bytes("part/photos.xml"), "<album><photo></album>");
}

}  // namespace
}  // namespace lumireel
