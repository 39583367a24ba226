// Album import and keywords through the real program: requests go in as the
// movie would send them, the folder picker is answered like a user, and
// every XML file the commands write is checked with xmllint.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/support/headless_process.h"
#include "imaging/image_codec.h"
#include "imaging/test_images.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr char kCatalogue[] = "quillmaralbumsettings/quillmaralbums.xml";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::string Request(const std::string& name, const std::vector<std::string>& strings) {
  std::string xml = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& s : strings) xml += "<string>" + s + "</string>";
  return xml + "</arguments></invoke>";
}

std::string Call(const std::string& function, const std::string& arguments) {
  return "<invoke name=\"" + function + "\" returntype=\"xml\"><arguments" + arguments +
         "</invoke>";
}

// What xmllint prints for `command` on `path`, without the final line feed;
// nullopt when it fails (for --noout: when the file is not well-formed).
std::optional<std::string> Xmllint(const std::string& command, const fs::path& path) {
  FILE* pipe = popen(("xmllint " + command + " '" + path.string() + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  if (out.ends_with('\n')) out.pop_back();
  return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

class LibraryE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(app_.Sync());  // start-up lines
  }

  fs::path At(const std::string& relative) const { return app_.workspace() / relative; }
  void Put(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(At(relative).parent_path());
    std::ofstream(At(relative), std::ios::binary) << bytes;
  }
  std::string Bytes(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // An album folder as another workspace would hold it.
  void PutAlbumFolder(const std::string& relative) const {
    Put(relative + "/photoparts/parts.xml", "<parts><part id=\"1\"/></parts>");
    Put(relative + "/photoparts/1/photos.xml", "<album></album>");
    Put(relative + "/photoparts/1/big/1.jpg", "big");
    Put(relative + "/logo/logo.png", "png");
    fs::create_directories(At(relative + "/photoparts/keywordsDB"));
    fs::create_directories(At(relative + "/photoparts/sounds"));
  }

  // The movie calls among the lines written before the next sync answer.
  std::vector<std::string> CallsUntilSync() {
    std::vector<std::string> calls;
    for (const Json& line : app_.Sync().value_or(std::vector<Json>{})) {
      if (line.contains("call")) calls.push_back(line["call"]);
    }
    return calls;
  }
  std::vector<std::string> Run(const std::string& request) {
    app_.Invoke(request);
    return CallsUntilSync();
  }

  testing::HeadlessProcess app_;
};

TEST_F(LibraryE2eTest, ImportedAlbumIsRegisteredCopiedAndReloaded) {
  Put(kCatalogue, std::string(kDeclaration) + "<albums location=\"MyAlbums\" />");
  fs::create_directories(At("MyAlbums"));
  PutAlbumFolder("elsewhere/trip");

  // Answered before the request: the picker takes the queued answer.
  app_.Answer({{"folder", At("elsewhere/trip").string()}});
  // A backslash is the request's escape character, so the movie doubles it.
  app_.Invoke(Request("importAlbum", {"Tom &amp; Jerry &lt;2024&gt; \\\\o/"}));
  const auto lines = app_.WaitFor([](const Json& l) { return l.contains("dialog"); });
  ASSERT_TRUE(lines) << app_.Transcript();
  EXPECT_EQ(lines->back()["dialog"]["kind"], "folder");
  EXPECT_EQ(lines->back()["dialog"]["title"], "Select folder to Import");
  EXPECT_EQ(CallsUntilSync(), std::vector<std::string>{Call("reloadContent", "/>")});
  EXPECT_EQ(Xmllint("--xpath 'string(/albums/album[@id=1]/name)'", At(kCatalogue)),
            "Tom & Jerry <2024> \\o/");
  EXPECT_EQ(Bytes("MyAlbums/1/photoparts/1/big/1.jpg"), "big");
  EXPECT_TRUE(fs::is_empty(At("MyAlbums/1/logo")));
  EXPECT_TRUE(fs::is_empty(At("MyAlbums/1/synchronization")));

  // Into a catalogue with albums 1, 2 and 5, answered after the picker opened.
  Put(kCatalogue, std::string(kDeclaration) +
                      "<albums location=\"MyAlbums\"><album id=\"1\"><name>a</name></album>"
                      "<album id=\"2\"><name>b</name></album><album id=\"5\"><name>c</name></album>"
                      "</albums>\r\n");
  app_.Invoke(Request("importAlbum", {"Zo\xC3\xAB"}));
  ASSERT_TRUE(app_.WaitFor([](const Json& l) { return l.contains("dialog"); }));
  app_.Answer({{"folder", At("MyAlbums/1").string()}});
  EXPECT_EQ(CallsUntilSync(), std::vector<std::string>{Call("reloadContent", "/>")});
  EXPECT_EQ(Xmllint("--xpath 'string(/albums/album[last()]/@id)'", At(kCatalogue)), "6");
  EXPECT_EQ(Xmllint("--xpath 'string(/albums/album[@id=6]/name)'", At(kCatalogue)), "Zo\xC3\xAB");
  EXPECT_EQ(Bytes("MyAlbums/6/photoparts/parts.xml"), "<parts><part id=\"1\"/></parts>");
  EXPECT_FALSE(fs::exists(At("MyAlbums/6/logo/logo.png")));
}

TEST_F(LibraryE2eTest, FoldersWithoutTheAlbumShapeAndCancelChangeNothing) {
  const std::string catalogue = std::string(kDeclaration) + "<albums location=\"MyAlbums\" />";
  Put(kCatalogue, catalogue);
  fs::create_directories(At("MyAlbums"));
  const std::string alert =
      Call("showAlert",
           "><string>errorimportalbum_h</string><string>errorimportalbum</string><number>0</number>"
           "</arguments>");
  // Refused for photoparts, then keywordsDB, then sounds, then parts.xml,
  // each part added after the refusal it caused.
  const std::string parts[] = {"photoparts", "photoparts/keywordsDB", "photoparts/sounds", ""};
  fs::create_directories(At("bad"));
  for (const std::string& part : parts) {
    app_.Answer({{"folder", At("bad").string()}});
    EXPECT_EQ(Run(Request("importAlbum", {"x"})), std::vector<std::string>{alert}) << part;
    if (!part.empty()) fs::create_directories(At("bad/" + part));
  }
  app_.Answer({{"cancel", true}});
  EXPECT_TRUE(Run(Request("importAlbum", {"x"})).empty());
  EXPECT_EQ(Bytes(kCatalogue), catalogue);

  // An album folder, but a catalogue that does not parse: nothing at all.
  PutAlbumFolder("good");
  Put(kCatalogue, "<albums");
  app_.Answer({{"folder", At("good").string()}});
  EXPECT_TRUE(Run(Request("importAlbum", {"x"})).empty());
  EXPECT_EQ(Bytes(kCatalogue), "<albums");
  EXPECT_TRUE(fs::is_empty(At("MyAlbums")));
}

TEST_F(LibraryE2eTest, KeywordsAreStoredReadBackReplacedAndRolledOver) {
  fs::create_directories(At("kw"));
  const std::string folder = At("kw").string();
  const auto add = [&](const std::string& keywords, const std::string& p) {
    return Run(Request("AddKeyWords", {keywords, folder, p, "2"}));
  };
  const auto get = [&](const std::string& p) {
    return Run(Request("GetKeyWords", {folder, p, "2"}));
  };
  const auto set_key_words = [](const std::string& keywords) {
    return std::vector<std::string>{
        Call("setKeyWords", "><string>" + keywords + "</string></arguments>")};
  };

  const std::string typed = "fish &amp; chips &lt;b&gt; &quot;Zo\xC3\xAB&quot;";
  EXPECT_TRUE(add(typed, "4").empty());
  EXPECT_EQ(get("4"), set_key_words(typed));
  EXPECT_EQ(Xmllint("--xpath 'string(/keys/s[@p=4])'", At("kw/1.xml")),
            "fish,&,chips,<b>,\"Zo\xC3\xAB\"");
  EXPECT_TRUE(add("sky", "4").empty());
  EXPECT_EQ(get("4"), set_key_words("sky"));

  // The current file grows past the limit: the next entry starts file 2.
  const std::string one = Bytes("kw/1.xml");
  const std::string padding = "<s p=\"9\" a=\"9\" >" + std::string(502400, 'x') + "</s>";
  Put("kw/1.xml", one.substr(0, one.find("</keys>")) + padding + "</keys>");
  EXPECT_TRUE(add("sea sand", "5").empty());
  EXPECT_EQ(Xmllint("--xpath 'string(/db/t[2])'", At("kw/keywordsdb.xml")), "2");
  EXPECT_EQ(Xmllint("--xpath 'string(/keys/s[@p=5])'", At("kw/2.xml")), "sea,sand");
  EXPECT_EQ(get("5"), set_key_words("sea sand"));
  EXPECT_EQ(get("4"), set_key_words("sky"));

  for (const char* file : {"kw/keywordsdb.xml", "kw/1.xml", "kw/2.xml"}) {
    EXPECT_TRUE(Xmllint("--noout", At(file))) << file;
  }
}

// An album folder from elsewhere whose photo list, rendition folder and
// sound are links out of it: the import copies none of them, and what
// later commands write stays inside the workspace.
TEST_F(LibraryE2eTest, ImportedLinksAreSkippedAndLaterWritesNeverFollowOne) {
  Put(kCatalogue, std::string(kDeclaration) + "<albums location=\"MyAlbums\" />");
  fs::create_directories(At("MyAlbums"));
  PutAlbumFolder("elsewhere/trip");
  Put("outside/secret", "secret");
  fs::create_directories(At("outside/folder"));
  fs::remove(At("elsewhere/trip/photoparts/1/photos.xml"));
  fs::create_symlink(At("outside/secret"), At("elsewhere/trip/photoparts/1/photos.xml"));
  Put("elsewhere/trip/photoparts/2/photos.xml", "<album></album>");
  fs::create_symlink(At("outside/folder"), At("elsewhere/trip/photoparts/2/big"));
  fs::create_symlink(At("outside/secret"), At("elsewhere/trip/photoparts/sounds/a.mp3"));
  fs::create_symlink(At("outside"), At("elsewhere/trip/photoparts/keywordsDB/outside"));

  app_.Answer({{"folder", At("elsewhere/trip").string()}});
  app_.Invoke(Request("importAlbum", {"Links"}));
  EXPECT_EQ(CallsUntilSync(), std::vector<std::string>{Call("reloadContent", "/>")});
  ASSERT_EQ(Bytes("MyAlbums/1/photoparts/1/big/1.jpg"), "big");
  for (const auto& entry : fs::recursive_directory_iterator(At("MyAlbums/1"))) {
    EXPECT_FALSE(entry.is_symlink()) << entry.path();
  }

  // Photos added to both parts, and a movie file written over a link.
  ASSERT_TRUE(ImageCodec::Initialise());
  fs::create_directories(At("picked"));
  testing::SaveJpeg(testing::Gradient(64, 48), At("picked/photo.jpg").string());
  for (const char* part : {"1", "2"}) {
    const std::string folder = app_.workspace().string() + "\\MyAlbums\\1\\photoparts\\" + part;
    app_.Answer({{"files", {At("picked/photo.jpg").string()}}});
    app_.Invoke(
        Request("AddPhoto", {folder, "x", "", "180", "180", "700", "700", "", "", "", "reload"}));
    ASSERT_TRUE(app_.Sync(std::chrono::seconds(120))) << app_.Transcript();
  }
  fs::create_symlink(At("outside/secret"), At("MyAlbums/1/notes.xml"));
  app_.Invoke(Request("WriteFile", {At("MyAlbums/1/notes.xml").string(), "&lt;n/&gt;"}));
  ASSERT_TRUE(app_.Sync());

  EXPECT_EQ(Bytes("outside/secret"), "secret");
  EXPECT_TRUE(fs::is_empty(At("outside/folder")));
  EXPECT_FALSE(fs::is_symlink(At("MyAlbums/1/notes.xml")));
  EXPECT_EQ(Bytes("MyAlbums/1/notes.xml"), "<n/>");
  EXPECT_FALSE(fs::is_symlink(At("MyAlbums/1/photoparts/2/big")));
}

}  // namespace
}  // namespace lumireel
