// Local publishing through the real program: Publish goes in as the movie
// sends it, the folder picker and the question boxes are answered like a
// user, and the galleries are built from the shipped templates (copied into
// the test's workspace). Every XML file written is checked with xmllint.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Events = std::vector<std::string>;

constexpr char kCatalogue[] = "quillmaralbumsettings/quillmaralbums.xml";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";
constexpr char kSettings[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?><zel_setting lang=\"";

std::string Entry(const std::string& id, const std::string& children) {
  return "<album id=\"" + id + "\">" + children + "</album>";
}
bool IsMessageBox(const Json& line) { return line.contains("messagebox"); }
bool IsDialog(const Json& line) { return line.contains("dialog"); }

// What a run showed, in order: "picker" for the folder picker, the name of
// each movie function called, "caption|text" for each message box.
Events EventsOf(const std::vector<Json>& lines) {
  Events events;
  for (const Json& line : lines) {
    if (IsDialog(line) && line["dialog"]["title"] == "Select folder to Publish") {
      events.push_back("picker");
    } else if (line.contains("call")) {
      const std::string call = line["call"];
      const size_t name = call.find('"') + 1;
      events.push_back(call.substr(name, call.find('"', name) - name));
    } else if (IsMessageBox(line)) {
      events.push_back(line["messagebox"]["caption"].get<std::string>() + "|" +
                       line["messagebox"]["text"].get<std::string>());
    }
  }
  return events;
}
Events PublishRun(Events boxes = {}) {
  Events events = {"picker", "createProgressBar"};
  events.insert(events.end(), boxes.begin(), boxes.end());
  events.insert(events.end(), {"showAlert", "closeProgressBar"});
  return events;
}

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(app_.Sync());  // start-up lines
    fs::copy(fs::path(LUMIREEL_SOURCE_DIR) / "data/images", At("images"),
             fs::copy_options::recursive);
    Put("images/zel_ui/.git/config", "hidden");  // hidden entries are never copied
    Put("MyAlbums/1/photoparts/.hidden", "hidden");
    Put("MyAlbums/1/photoparts/parts.xml",
        std::string(kDeclaration) + "<parts><part folder=\"1\" name=\"Day one\" /></parts>");
    Put("MyAlbums/1/photoparts/1/photos.xml",
        std::string(kDeclaration) +
            "<album><photo><id>1</id><name>Sea &amp; sky</name><file>1.jpg</file></photo></album>");
    Put("MyAlbums/1/photoparts/1/big/1.jpg", "big");
    Put("MyAlbums/1/logo/logo.png", "png");
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
  void PutCatalogue(const std::string& entries) const {
    Put(kCatalogue,
        std::string(kDeclaration) + "<albums location=\"MyAlbums\">" + entries + "</albums>");
  }
  // The gallery folder as the program names it in its messages.
  std::string Gallery(const std::string& picked, const std::string& kind) const {
    return At(picked).string() + "\\" + kind;
  }
  std::string Question(const std::string& picked, const std::string& kind) const {
    return "Question!|Folder " + Gallery(picked, kind) + " is not empty. Owerwrite files?";
  }

  // Sends Publish as the movie does: the album prefix ends with a backslash,
  // doubled since it is the request's escape character.
  void SendPublish(bool cd, bool web, const std::string& id = "1") {
    const std::string prefix = EncodeMessageText(app_.workspace().string() + "\\\\MyAlbums\\\\");
    app_.Invoke(
        "<invoke name=\"Publish\" returntype=\"xml\"><arguments><string>0</string><string>" +
        std::string(cd ? "1" : "0") + "</string><string>" + (web ? "1" : "0") +
        "</string><string>" + id + "</string><string>" + prefix + "</string></arguments></invoke>");
  }
  // Publishes into `picked`, answering the picker; the lines until the end.
  std::vector<Json> Publish(bool cd, bool web, const std::string& picked,
                            const std::string& id = "1") {
    fs::create_directories(At(picked));
    app_.Answer({{"folder", At(picked).string()}});
    SendPublish(cd, web, id);
    return Finish();
  }
  std::vector<Json> Finish(std::vector<Json> earlier = {}) {
    const auto lines = app_.Sync();
    EXPECT_TRUE(lines) << app_.Transcript();
    if (lines) earlier.insert(earlier.end(), lines->begin(), lines->end());
    return earlier;
  }

  testing::HeadlessProcess app_;
};

TEST_F(PublishTest, BothGalleriesGetTheirLayoutSettingsAndTitle) {
  PutCatalogue(Entry("1",
                     "<name>Tom &amp; &quot;Jerry&quot; &lt;Zo\xC3\xAB&gt;</name>"
                     "<skeen>ocean</skeen><lang>de</lang><color>0x3366CC</color>"
                     "<logo>a&amp;b\".png</logo>"));
  const std::vector<Json> lines = Publish(true, true, "out");
  EXPECT_EQ(EventsOf(lines), PublishRun());
  EXPECT_EQ(lines.at(2)["call"],
            ShowAlertMessage("loc_msg_localpubsucc_h", "loc_msg_localpubsucc", 1));

  // Which gallery holds what; hidden entries, the unused skin and the
  // workspace's own folders are in neither.
  const struct {
    const char* path;
    bool web, cd;
  } layout[] = {
      {"skins/ocean/skin.css", true, true},  {"skins/zelslideshoweffects.swf", true, true},
      {"zel_ui/player.js", true, true},      {"photoparts/1/big/1.jpg", true, true},
      {"logo/logo.png", true, true},         {"index.html", true, true},
      {"zelalbum.swf", true, false},         {"img_pice/favicon.svg", true, false},
      {"quillmarZELA.ico", false, true},     {"quillmarZELA.exe", false, true},
      {"quillmarZELA.hqx", false, true},     {"autorun.inf", false, true},
      {"zel_ui/album-data.js", false, true}, {"zel_ui/.git/config", false, false},
      {"zel_ui/zelshow.xml", true, true},    {"album.zip", true, false},
      {"photoparts/.hidden", false, false},  {"skins/snakeeye/skin.css", false, false},
  };
  for (const auto& entry : layout) {
    EXPECT_EQ(fs::is_regular_file(At(std::string("out/web/") + entry.path)), entry.web)
        << entry.path;
    EXPECT_EQ(fs::is_regular_file(At(std::string("out/cd/") + entry.path)), entry.cd) << entry.path;
  }

  // The name is text in the page; values stay values in the XML files.
  EXPECT_NE(Bytes("out/web/index.html")
                .find("<title>Quillmar Slide Show Album : Tom &amp; &quot;Jerry&quot; "
                      "&lt;Zo\xC3\xAB&gt;</title>"),
            std::string::npos);
  EXPECT_EQ(Bytes("out/cd/index.html"), Bytes("images/cd/index.html"));
  EXPECT_EQ(
      Bytes("out/cd/skins/skins.xml"),
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><skeens><skeen><name>ocean</name><value>ocean"
      "</value><colorchange>1</colorchange><author>Quillmar Inc</author><version>1.0</version>"
      "<license>free</license></skeen></skeens>");
  for (const std::string gallery : {"out/web", "out/cd"}) {
    EXPECT_EQ(Bytes(gallery + "/zel_ui/zelsetting.xml"),
              std::string(kSettings) +
                  "de\" activcolor=\"0x3366CC\" effects=\"3\" skeen=\"ocean\" "
                  "logo=\"a&amp;b&quot;.png\" cskeen=\"0\" ccolor=\"1\"/>");
    int checked = 0;
    for (const auto& file : fs::recursive_directory_iterator(At(gallery))) {
      if (file.path().extension() != ".xml") continue;
      ++checked;
      EXPECT_EQ(std::system(("xmllint --noout '" + file.path().string() + "'").c_str()), 0);
    }
    EXPECT_EQ(checked, 5) << gallery;  // settings, show, skin list, parts, photos
  }
  // Both headings carry the name; only the web gallery offers the ZIP unless
  // the album asks for it.
  const std::string show =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><zel_show name=\"Tom &amp; &quot;Jerry&quot; "
      "&lt;Zo\xC3\xAB&gt;\" seconds=\"5\" transition=\"fade\" bwidth=\"700\" bheight=\"700\" "
      "download=\"";
  EXPECT_EQ(Bytes("out/web/zel_ui/zelshow.xml"), show + "album.zip\"/>");
  EXPECT_EQ(Bytes("out/cd/zel_ui/zelshow.xml"), show + "\"/>");
}

TEST_F(PublishTest, SlideShowSettingsAndDownloadChoiceComeFromTheCatalogue) {
  const struct {
    const char* children;
    const char* show;  // zelshow.xml between the name and the download
    bool zip;          // both galleries offer the ZIP
  } cases[] = {
      {"<seconds>8</seconds><transition>cut</transition><bwidth>2048</bwidth>"
       "<bheight>1536</bheight><download>1</download>",
       "seconds=\"8\" transition=\"cut\" bwidth=\"2048\" bheight=\"1536\"", true},
      {"<download>0</download>", "seconds=\"5\" transition=\"fade\" bwidth=\"700\" bheight=\"700\"",
       false},
  };
  int run = 0;
  for (const auto& c : cases) {
    PutCatalogue(Entry("1", std::string("<name>A</name>") + c.children));
    const std::string picked = "run" + std::to_string(++run);
    EXPECT_EQ(EventsOf(Publish(true, true, picked)), PublishRun());
    for (const std::string& gallery : {picked + "/web", picked + "/cd"}) {
      EXPECT_EQ(Bytes(gallery + "/zel_ui/zelshow.xml"),
                std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><zel_show name=\"A\" ") +
                    c.show + " download=\"" + (c.zip ? "album.zip" : "") + "\"/>")
          << gallery;
      EXPECT_EQ(fs::is_regular_file(At(gallery + "/album.zip")), c.zip) << gallery;
    }
  }
}

TEST_F(PublishTest, CatalogueDefaultsLastEntryAndSkinFallback) {
  const struct {
    std::string id, entries, title, lang, color, skin, logo;
  } cases[] = {
      // No entry for the album (and no album folder): every default.
      {"3", Entry("1", "<name>x</name>"), "Untitled", "en", "0xFF6600", "snakeeye", ""},
      // Entries apply in order, only the children present; "" reads as 0.
      {"5",
       Entry("5", "<name>First</name><skeen>graphite</skeen><lang>fr</lang>") + Entry("", "") +
           Entry("05", "<name>Last</name><color>0x00AA00</color><logo>l.png</logo>"),
       "Last", "fr", "0x00AA00", "graphite", "l.png"},
      {"2", Entry("2", "<name></name><skeen></skeen>"), "Untitled", "en", "0xFF6600", "snakeeye",
       ""},
      {"2", Entry("2", "<skeen>missing</skeen>"), "Untitled", "en", "0xFF6600", "snakeeye", ""},
      {"2", Entry("2", "<skeen>../web</skeen>"), "Untitled", "en", "0xFF6600", "snakeeye", ""},
  };
  // Placeholders other than {title} stay as they are.
  Put("images/web/index.html", "<title>{title}</title>{other}{ title}{}{title");
  int run = 0;
  for (const auto& c : cases) {
    PutCatalogue(c.entries);
    const std::string web = "run" + std::to_string(++run) + "/web";
    EXPECT_EQ(EventsOf(Publish(false, true, "run" + std::to_string(run), c.id)), PublishRun())
        << run;
    EXPECT_EQ(Bytes(web + "/index.html"),
              "<title>Quillmar Slide Show Album : " + c.title + "</title>{other}{ title}{}{title")
        << run;
    EXPECT_EQ(Bytes(web + "/zel_ui/zelsetting.xml"),
              kSettings + c.lang + "\" activcolor=\"" + c.color + "\" effects=\"3\" skeen=\"" +
                  c.skin + "\" logo=\"" + c.logo + "\" cskeen=\"0\" ccolor=\"1\"/>")
        << run;
    EXPECT_NE(Bytes(web + "/skins/skins.xml").find("<value>" + c.skin + "</value>"),
              std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(At(web + "/skins/" + c.skin + "/skin.css"))) << run;
  }
}

TEST_F(PublishTest, OverwriteQuestionAnsweredBothWays) {
  PutCatalogue(Entry("1", "<name>A</name>"));
  Put("out/cd/old.txt", "old");
  Put("out/web/old.txt", "old");
  app_.Answer({{"folder", At("out").string()}});
  SendPublish(true, true);

  // CD first, then web, each with its own question; web is declined.
  std::vector<Json> lines;
  for (const char* answer : {"ok", "cancel"}) {
    auto seen = app_.WaitFor(IsMessageBox);
    ASSERT_TRUE(seen) << app_.Transcript();
    EXPECT_EQ(seen->back()["messagebox"]["icon"], "question");
    EXPECT_EQ(seen->back()["messagebox"]["buttons"], "okcancel");
    lines.insert(lines.end(), seen->begin(), seen->end());
    app_.Answer({{"button", answer}});
  }
  EXPECT_EQ(EventsOf(Finish(lines)), PublishRun({Question("out", "cd"), Question("out", "web")}));
  EXPECT_FALSE(fs::exists(At("out/cd/old.txt")));
  EXPECT_TRUE(fs::is_regular_file(At("out/cd/autorun.inf")));
  EXPECT_EQ(Bytes("out/web/old.txt"), "old");
  EXPECT_FALSE(fs::exists(At("out/web/index.html")));

  // The movie asks where the run put its galleries: the declined web gallery
  // is an empty string. It then has the CD gallery's page opened.
  app_.Invoke(R"(<invoke name="PublishedFolders" returntype="xml"><arguments/></invoke>)");
  const std::string out = EncodeMessageText(At("out").string());
  const std::string cd = EncodeMessageText(At("out/cd").string());
  auto reply = app_.WaitFor([](const Json& line) { return line.contains("reply"); });
  ASSERT_TRUE(reply) << app_.Transcript();
  EXPECT_EQ(reply->back()["reply"], "<invoke name=\"PublishedFolders\" returntype=\"xml\"><string>1</string><string>" +
                                        out + "</string><string>" + cd +
                                        "</string><string></string></invoke>");
  app_.Invoke("<invoke name=\"OpenLocation\" returntype=\"xml\"><arguments><string>" +
              EncodeMessageText(At("out/cd/index.html").string()) + "</string></arguments></invoke>");
  auto opened = app_.WaitFor([](const Json& line) { return line.contains("open"); });
  ASSERT_TRUE(opened) << app_.Transcript();
  EXPECT_EQ(opened->back()["open"], fs::canonical(At("out/cd/index.html")).string());
}

TEST_F(PublishTest, BadCatalogueAndUnusableFoldersAreReportedNeverFatal) {
  // A missing catalogue, then one without a root: each gallery reports it.
  EXPECT_EQ(EventsOf(Publish(true, true, "a")),
            PublishRun({"Error|Can't read XML", "Error|Can't read XML"}));
  Put(kCatalogue, std::string(kDeclaration) + "<!-- no albums -->");
  EXPECT_EQ(EventsOf(Publish(true, false, "b")), PublishRun({"Error|Ca'nt parse XML"}));

  // Nothing can be created in /proc, and a gallery folder that is a file is
  // no folder: both skipped without a word.
  PutCatalogue(Entry("1", "<name>A</name>"));
  app_.Answer({{"folder", "/proc"}});
  SendPublish(true, true);
  EXPECT_EQ(EventsOf(Finish()), PublishRun());
  Put("c/cd", "a file");
  EXPECT_EQ(EventsOf(Publish(true, false, "c")), PublishRun());
  EXPECT_EQ(Bytes("c/cd"), "a file");

  // A web folder that cannot be removed (a link to a folder) is reported as
  // a CD folder would be, and what it points to is kept.
  Put("elsewhere/keep.txt", "keep");
  fs::create_directories(At("d"));
  fs::create_directory_symlink(At("elsewhere"), At("d/web"));
  app_.Answer({{"folder", At("d").string()}});
  SendPublish(false, true);
  auto asked = app_.WaitFor(IsMessageBox);
  ASSERT_TRUE(asked) << app_.Transcript();
  app_.Answer({{"button", "ok"}});
  EXPECT_EQ(EventsOf(Finish(*asked)),
            PublishRun(
                {Question("d", "web"), "Error!|Can't remove folder " + Gallery("d", "web") + " "}));
  EXPECT_EQ(Bytes("elsewhere/keep.txt"), "keep");
}

TEST_F(PublishTest, RunsGoOneAtATimeAndCancelledPickerSendsNothing) {
  PutCatalogue(Entry("1", "<name>A</name>"));
  app_.Answer({{"cancel", true}});
  SendPublish(true, true);
  EXPECT_EQ(EventsOf(Finish()), Events{"picker"});

  // The first run waits at its question while a second Publish arrives: the
  // second run's picker opens only after the first run has ended.
  Put("one/web/old.txt", "old");
  fs::create_directories(At("two"));
  app_.Answer({{"folder", At("one").string()}});
  SendPublish(false, true);
  auto lines = app_.WaitFor(IsMessageBox);
  ASSERT_TRUE(lines) << app_.Transcript();
  SendPublish(false, true);
  app_.Answer({{"button", "ok"}});
  auto more = app_.WaitFor([](const Json& line) { return IsDialog(line); });
  ASSERT_TRUE(more) << app_.Transcript();
  lines->insert(lines->end(), more->begin(), more->end());
  app_.Answer({{"folder", At("two").string()}});
  Events events = PublishRun({Question("one", "web")});
  const Events second = PublishRun();
  events.insert(events.end(), second.begin(), second.end());
  EXPECT_EQ(EventsOf(Finish(*lines)), events);
  EXPECT_TRUE(fs::is_regular_file(At("two/web/index.html")));
}

// Links to a file outside (a stand-in for /etc/passwd) in the album and in
// the templates, as files and as folders: neither gallery holds a link or
// the outside file's bytes.
TEST_F(PublishTest, LinksInTheAlbumOrTemplatesNeverReachAGallery) {
  PutCatalogue(Entry("1", "<name>A</name>"));
  Put("outside/passwd", "root:x:0:0");
  const char* links[] = {"MyAlbums/1/photoparts/1/big/2.jpg",
                         "MyAlbums/1/logo/logo2.png",
                         "images/zel_ui/passwd",
                         "images/skins/web/snakeeye/passwd",
                         "images/web/img_pice/passwd",
                         "images/cd/autorun.inf",
                         "images/web/zelalbum.swf"};
  for (const char* link : links) {
    fs::remove(At(link));
    fs::create_symlink(At("outside/passwd"), At(link));
  }
  fs::create_symlink(At("outside"), At("MyAlbums/1/photoparts/1/outside"));
  fs::create_symlink(At("outside"), At("images/zel_ui/outside"));

  EXPECT_EQ(EventsOf(Publish(true, true, "out")), PublishRun());
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(At("out"))) {
    EXPECT_FALSE(entry.is_symlink()) << entry.path();
    if (!entry.is_regular_file()) continue;
    ++files;
    std::ifstream in(entry.path(), std::ios::binary);
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}), "root:x:0:0") << entry.path();
  }
  EXPECT_GT(files, 10);
  EXPECT_EQ(Bytes("out/web/photoparts/1/big/1.jpg"), "big");
  EXPECT_FALSE(fs::exists(fs::symlink_status(At("out/cd/autorun.inf"))));
  EXPECT_FALSE(fs::exists(At("out/web/publishing-not-finished.txt")));
}

// SIGKILL at random moments of a publication: every file under its own name
// in a gallery is whole, and a gallery without the marker is complete. The
// next start sweeps what interrupted writes left in the album folders.
TEST_F(PublishTest, KilledPublishLeavesNoFileThatLooksWhole) {
  PutCatalogue(Entry("1", "<name>A</name>"));
  constexpr int kPhotos = 30;
  std::mt19937 random(1616);
  std::vector<std::string> photos;
  for (int i = 1; i <= kPhotos; ++i) {
    std::string bytes(300 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    Put("MyAlbums/1/photoparts/1/big/" + std::to_string(i) + ".jpg", bytes);
    photos.push_back(bytes);
  }
  testing::HeadlessProcessOptions options = testing::DefaultHeadlessOptions();
  options.workspace = app_.workspace();
  const std::string prefix = EncodeMessageText(app_.workspace().string() + "\\\\MyAlbums\\\\");
  const std::string publish =
      "<invoke name=\"Publish\" returntype=\"xml\"><arguments><string>0</string><string>1"
      "</string><string>1</string><string>1</string><string>" +
      prefix + "</string></arguments></invoke>";
  constexpr int kRounds = 10;
  for (int round = 0; round <= kRounds; ++round) {
    const std::string picked = "kill" + std::to_string(round);
    fs::create_directories(At(picked));
    {
      testing::HeadlessProcess run(options);
      ASSERT_TRUE(run.Sync());
      run.Answer({{"folder", At(picked).string()}});
      run.Invoke(publish);
      if (round < kRounds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
        ::kill(run.pid(), SIGKILL);
        run.WaitExit();
      } else {
        ASSERT_TRUE(run.Sync(std::chrono::seconds(120))) << run.Transcript();
      }
    }
    for (const char* kind : {"cd", "web"}) {
      SCOPED_TRACE(picked + "/" + kind);
      const std::string gallery = picked + "/" + kind;
      // A folder killed before its marker came holds nothing, or only the
      // marker's own unfinished temporary file: nothing in it passes for a
      // gallery.
      const auto passes_for_gallery = [](const fs::directory_entry& entry) {
        return entry.path().filename().string().rfind(".lumireel-", 0) != 0;
      };
      if (!fs::exists(At(gallery)) ||
          std::none_of(fs::directory_iterator(At(gallery)), fs::directory_iterator(),
                       passes_for_gallery)) {
        continue;
      }
      int whole = 0;
      for (int i = 1; i <= kPhotos; ++i) {
        const std::string photo = gallery + "/photoparts/1/big/" + std::to_string(i) + ".jpg";
        if (!fs::exists(At(photo))) continue;
        EXPECT_EQ(Bytes(photo), photos[i - 1]) << photo;
        ++whole;
      }
      if (fs::exists(At(gallery + "/publishing-not-finished.txt"))) continue;
      EXPECT_EQ(whole, kPhotos);
      EXPECT_TRUE(fs::is_regular_file(
          At(gallery + (kind == std::string("cd") ? "/zel_ui/album-data.js" : "/index.html"))));
    }
  }
  EXPECT_FALSE(fs::exists(At("kill10/cd/publishing-not-finished.txt")));
  EXPECT_FALSE(fs::exists(At("kill10/web/publishing-not-finished.txt")));

  Put("MyAlbums/1/photoparts/1/.lumireel-1-2-3.tmp", "part");
  Put("MyAlbums/1/photoparts/1/big/.lumireel-1-0000abcd-x.jpg", "part");
  Put("MyAlbums/1/.photoparts-copying/1/photos.xml", "part");
  Put("quillmaralbumsettings/.lumireel-4-5-6.tmp", "part");
  {
    testing::HeadlessProcess run(options);
    ASSERT_TRUE(run.Sync());
  }
  for (const char* leftover :
       {"MyAlbums/1/photoparts/1/.lumireel-1-2-3.tmp",
        "MyAlbums/1/photoparts/1/big/.lumireel-1-0000abcd-x.jpg", "MyAlbums/1/.photoparts-copying",
        "quillmaralbumsettings/.lumireel-4-5-6.tmp"}) {
    EXPECT_FALSE(fs::exists(At(leftover))) << leftover;
  }
  EXPECT_EQ(Bytes("MyAlbums/1/photoparts/1/big/1.jpg"), photos[0]);
}

}  // namespace
}  // namespace lumireel
