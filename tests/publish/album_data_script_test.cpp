#include "publish/album_data_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

TEST(ScriptStringLiteralTest, EscapesWhatCouldEndTheStringOrTheScript) {
  const struct {
    std::string text, literal;
  } cases[] = {
      {"", "\"\""},
      {"Zo\xC3\xAB & co", "\"Zo\xC3\xAB & co\""},
      {"say \"hi\" \\o/", "\"say \\\"hi\\\" \\\\o/\""},
      {"</script><!--", "\"\\u003c/script>\\u003c!--\""},
      {"a\r\nb\tc", "\"a\\r\\nb\\tc\""},
      {std::string("\x01\x1f\x7f\0", 4), "\"\\u0001\\u001f\\u007f\\u0000\""},
      {"\xE2\x80\xA8|\xE2\x80\xA9|\xE2\x80\xA6", "\"\\u2028|\\u2029|\xE2\x80\xA6\""},
      {"bad \xFF byte", "\"bad \xEF\xBF\xBD byte\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ScriptStringLiteral(c.text), c.literal) << c.literal;
}

TEST(AlbumDataScriptTest, HoldsTheDataFilesOfTheGalleryOnly) {
  testing::TempFolder temp;
  const fs::path gallery = fs::path(temp.path()) / "cd";
  const auto put = [&](const std::string& relative, const std::string& text) {
    fs::create_directories((gallery / relative).parent_path());
    std::ofstream(gallery / relative, std::ios::binary) << text;
  };
  put("zel_ui/zelsetting.xml", "<zel_setting/>");
  put("skins/skins.xml", "<skeens/>");
  put("photoparts/parts.xml", "<parts>\n</parts>");
  put("photoparts/1/photos.xml", "<album/>");
  put("photoparts/keywordsDB/1.xml", "<keys/>");
  put("photoparts/1/big/1.jpg", "jpeg");
  put("photoparts/.trash/old.xml", "<hidden/>");
  put("photoparts/.old.xml", "<hidden/>");
  std::ofstream(fs::path(temp.path()) / "outside.xml") << "<secret/>";
  fs::create_symlink(fs::path(temp.path()) / "outside.xml", gallery / "photoparts/link.xml");
  fs::create_directory_symlink(temp.path(), gallery / "photoparts/2");

  const std::string script = AlbumDataScript(gallery.string());
  EXPECT_TRUE(script.starts_with("// "));
  EXPECT_NE(script.find("window.lumireelGallery = {\"files\": {\n"
                        "\"photoparts/1/photos.xml\": \"\\u003calbum/>\",\n"
                        "\"photoparts/keywordsDB/1.xml\": \"\\u003ckeys/>\",\n"
                        "\"photoparts/parts.xml\": \"\\u003cparts>\\n\\u003c/parts>\",\n"
                        "\"skins/skins.xml\": \"\\u003cskeens/>\",\n"
                        "\"zel_ui/zelsetting.xml\": \"\\u003czel_setting/>\"\n"
                        "}};\n"),
            std::string::npos)
      << script;

  ASSERT_TRUE(WriteAlbumDataScript(gallery.string()));
  std::ifstream written(gallery / "zel_ui/album-data.js", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), script);
  EXPECT_FALSE(WriteAlbumDataScript((fs::path(temp.path()) / "missing").string()));
}

}  // namespace
}  // namespace lumireel
