#include "library/album_registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "library_files.h"

namespace lumireel {
namespace {

constexpr char kCatalogue[] = "quillmaralbumsettings/quillmaralbums.xml";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

// The entry of a new album without the closing tag of the root.
std::string Entry(int id, const std::string& encoded_name) {
  return "<album id=\"" + std::to_string(id) + "\"><name>" + encoded_name +
         "</name><pwidth>180</pwidth><pheight>180</pheight><bwidth>700</bwidth><bheight>700"
         "</bheight><skeen>snakeeye</skeen><lang>en</lang><color>0xCC00FF</color><logo /><ftp />"
         "</album>";
}

bool XmllintAccepts(const std::string& path) {
  return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

class AlbumRegistryTest : public ::testing::Test {
 protected:
  std::string Root() const { return files_.At("ws"); }
  void PutCatalogue(const std::string& text) const {
    files_.Put("ws/" + std::string(kCatalogue), text);
  }
  std::string Catalogue() const { return files_.Bytes("ws/" + std::string(kCatalogue)); }

  testing::LibraryFiles files_;
};

TEST_F(AlbumRegistryTest, EntryTakesThePlaceOfTheRootsEnd) {
  const std::string d = kDeclaration;
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {d + "<albums location=\"x\" />",
       d + "<albums location=\"x\">" + Entry(1, "Holiday") + "</albums>"},
      {d + "<albums/>\r\n", d + "<albums>" + Entry(1, "Holiday") + "</albums>\r\n"},
      {d + "<albums></albums>", d + "<albums>" + Entry(1, "Holiday") + "</albums>"},
      {"<albums><album id=\"1\"/><album id=\"2\"/><album id=\"5\"/></albums>",
       "<albums><album id=\"1\"/><album id=\"2\"/><album id=\"5\"/>" + Entry(6, "Holiday") +
           "</albums>"},
      // An album with an empty id counts 0, and its own " />" tags stay as they are.
      {"<albums><album id=\"\"><logo /></album></albums >",
       "<albums><album id=\"\"><logo /></album>" + Entry(1, "Holiday") + "</albums>"},
  };
  for (const auto& c : cases) {
    PutCatalogue(c.before);
    EXPECT_TRUE(RegisterAlbum("Holiday", files_.At("nowhere"), Root())) << c.before;
    EXPECT_EQ(Catalogue(), c.after);
  }
}

TEST_F(AlbumRegistryTest, NewAlbumsOwnFolderAsSourceIsNeitherMadeNorCopied) {
  PutCatalogue("<albums location=\"x\" />");
  ASSERT_TRUE(RegisterAlbum("Again", Root() + "\\MyAlbums\\1\\", Root()));
  EXPECT_FALSE(files_.Exists("ws/MyAlbums/1"));
  EXPECT_NE(Catalogue().find(Entry(1, "Again")), std::string::npos);
}

TEST_F(AlbumRegistryTest, NamesReadBackExactlyAsGiven) {
  PutCatalogue(std::string(kDeclaration) + "<albums location=\"MyAlbums\" />");
  const std::vector<std::string> names = {"Tom & Jerry <2024>",
                                          "\"quoted\" 'single' a>b",
                                          "Zo\xC3\xAB \xE6\x9D\xB1\xE4\xBA\xAC",
                                          "C:\\photos\\",
                                          "a\\",
                                          "&amp; stays &amp;",
                                          "",
                                          "  "};
  for (const std::string& name : names) ASSERT_TRUE(RegisterAlbum(name, files_.At("src"), Root()));
  EXPECT_TRUE(RegisterAlbum("tab\tbell\x07", files_.At("src"), Root()));

  CXmlDocument catalogue;
  ASSERT_TRUE(ParseCatalogue(Catalogue(), catalogue));
  const std::vector<CXmlNode*> albums = catalogue.RootElement()->FindChildren("album");
  ASSERT_EQ(albums.size(), names.size() + 1);
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(*albums[i]->GetAttrValue("id"), std::to_string(i + 1));
    EXPECT_EQ(*albums[i]->GetChildValue("name"), names[i]);
  }
  EXPECT_EQ(*albums.back()->GetChildValue("name"), "tab\tbell\xEF\xBF\xBD");
  EXPECT_TRUE(XmllintAccepts(files_.At("ws/" + std::string(kCatalogue))));
}

TEST_F(AlbumRegistryTest, CatalogueThatCannotBeEditedIsLeftAloneAndNothingIsMade) {
  const std::string cases[] = {
      "",
      "not xml <<<",
      "<albums><album id=\"1\">",
      "<catalogue></catalogue>",
      "<albums><album id=\"2147483647\"/></albums>",
      "<albums></albums>\n</albums>",  // a stray end tag after the root
  };
  ASSERT_FALSE(RegisterAlbum("Holiday", files_.At("src"), Root()));  // no catalogue at all
  for (const std::string& text : cases) {
    PutCatalogue(text);
    EXPECT_FALSE(RegisterAlbum("Holiday", files_.At("src"), Root())) << text;
    EXPECT_EQ(Catalogue(), text);
  }
  EXPECT_FALSE(files_.Exists("ws/MyAlbums"));
}

TEST_F(AlbumRegistryTest, PhotopartsAreCopiedWholeOverWhatAnInterruptedImportLeft) {
  PutCatalogue("<albums location=\"x\" />");
  files_.Put("src/photoparts/parts.xml", "<parts/>");
  files_.Put("src/photoparts/1/photos.xml", "<album/>");
  // What an import killed while copying left in the folder of album 1.
  files_.Put("ws/MyAlbums/1/.photoparts-copying/parts.xml", "<par");
  ASSERT_TRUE(RegisterAlbum("One", files_.At("src"), Root()));
  EXPECT_EQ(files_.Bytes("ws/MyAlbums/1/photoparts/parts.xml"), "<parts/>");
  EXPECT_EQ(files_.Bytes("ws/MyAlbums/1/photoparts/1/photos.xml"), "<album/>");
  EXPECT_FALSE(files_.Exists("ws/MyAlbums/1/.photoparts-copying"));

  // An album folder that already has photoparts keeps them, and no part
  // copy is left beside them.
  files_.Put("ws/MyAlbums/2/photoparts/parts.xml", "<kept/>");
  ASSERT_TRUE(RegisterAlbum("Two", files_.At("src"), Root()));
  EXPECT_EQ(files_.Bytes("ws/MyAlbums/2/photoparts/parts.xml"), "<kept/>");
  EXPECT_FALSE(files_.Exists("ws/MyAlbums/2/photoparts/1"));
  EXPECT_FALSE(files_.Exists("ws/MyAlbums/2/.photoparts-copying"));
}

TEST_F(AlbumRegistryTest, LargeCatalogueStaysQuick) {
  std::string text = "<albums location=\"MyAlbums\">";
  for (int id = 1; id <= 10000; ++id) text += Entry(id, "Album " + std::to_string(id));
  PutCatalogue(text + "</albums>");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RegisterAlbum("Last", files_.At("src"), Root()));
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1000) * testing::kTimeLimitFactor);
  EXPECT_TRUE(Catalogue().ends_with(Entry(10001, "Last") + "</albums>"));
}

}  // namespace
}  // namespace lumireel
