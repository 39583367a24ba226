#include "bridge/dispatcher.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "bridge/file_commands.h"
#include "support/fake_platform.h"

namespace lumireel {
namespace {

// Records every command that reaches a handler, with its arguments.
class Recorder : public WindowCommands,
                 public LibraryCommands,
                 public PhotoCommands,
                 public PublishCommands {
 public:
  std::vector<std::string> log;

  void FullSkreenWindow() override { log.push_back("FullSkreenWindow"); }
  void LastSizeWindow() override { log.push_back("LastSizeWindow"); }
  void StartResizeWindow() override { log.push_back("startResizeWindow"); }
  void StopResizeWindow() override { log.push_back("stopResizeWindow"); }
  void StartDragWindow() override { log.push_back("startDragWindow"); }
  void StopDragWindow() override { log.push_back("stopDragWindow"); }
  void CloseWindow() override { log.push_back("CloseWindow"); }
  void HideWindow() override { log.push_back("HideWindow"); }
  void OpenLocation(const std::string& path) override { log.push_back("OpenLocation " + path); }
  void ImportAlbum(const std::string& name) override { log.push_back("importAlbum " + name); }
  void GetKeyWords(const std::string& folder, long p, long a) override {
    log.push_back("GetKeyWords " + folder + " " + std::to_string(p) + " " + std::to_string(a));
  }
  void AddKeyWords(const std::string& k, const std::string& folder, long p, long a) override {
    log.push_back("AddKeyWords " + k + " " + folder + " " + std::to_string(p) + " " +
                  std::to_string(a));
  }
  void AddPhoto(const std::array<OptionalArg, 11>& args) override {
    std::string line = "AddPhoto";
    for (const OptionalArg& a : args) line += " " + a.value_or("(null)");
    log.push_back(line);
  }
  void SaveIMG(const std::array<std::string, 7>& args) override {
    std::string line = "SaveIMG";
    for (const std::string& a : args) line += "|" + a;
    log.push_back(line);
  }
  void SavePreview(const std::array<std::string, 5>& args) override {
    std::string line = "SavePreview";
    for (const std::string& a : args) line += "|" + a;
    log.push_back(line);
  }
  void ApplyAdjustForFolder(const std::array<std::string, 2>& args) override {
    log.push_back("ApplyAdjustForFolder|" + args[0] + "|" + args[1]);
  }
  void SaveIMG_last(const std::array<OptionalArg, 3>& args) override {
    log.push_back("SaveIMG_last " + args[0].value_or("(null)") + " " + args[2].value_or("(null)"));
  }
  void SaveEdit(const std::string& folder, const std::string& id,
                const std::string& document) override {
    log.push_back("SaveEdit|" + folder + "|" + id + "|" + document);
  }
  void RevertPhoto(const std::string& folder, const std::string& id) override {
    log.push_back("RevertPhoto|" + folder + "|" + id);
  }
  void RenderAlbum(const std::string& folder) override { log.push_back("RenderAlbum|" + folder); }
  void CancelRenderAlbum() override { log.push_back("CancelRenderAlbum"); }
  void CancelAddPhoto() override { log.push_back("CancelAddPhoto"); }
  void Publish(const PublishRequest& r) override {
    log.push_back("Publish cd=" + std::to_string(r.cd) + " web=" + std::to_string(r.web) + " " +
                  r.album_id + " " + r.album_prefix);
  }
  void PublishedFolders() override { log.push_back("PublishedFolders"); }
};

std::string Request(const std::string& name, const std::string& arguments) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + arguments +
         "</arguments></invoke>";
}

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() : files_(movie_, dialogs_, "/nonexistent-root"), dispatcher_(dialogs_, files_) {
    dispatcher_.SetWindowCommands(&recorder_);
    dispatcher_.SetLibraryCommands(&recorder_);
    dispatcher_.SetPhotoCommands(&recorder_);
    dispatcher_.SetPublishCommands(&recorder_);
  }

  std::vector<std::string> Dispatch(const std::string& text) {
    recorder_.log.clear();
    dispatcher_.OnFlashCall(text);
    return recorder_.log;
  }

  testing::FakeMovieControl movie_;
  testing::FakeDialogs dialogs_;
  FileCommands files_;
  CommandDispatcher dispatcher_;
  Recorder recorder_;
};

using Log = std::vector<std::string>;

TEST_F(DispatcherTest, NamesMatchExactlyAndWhole) {
  EXPECT_EQ(Dispatch(Request("HideWindow", "")), Log{"HideWindow"});
  EXPECT_EQ(Dispatch(Request("hidewindow", "")), Log{});
  EXPECT_EQ(Dispatch(Request("HideWindowNow", "")), Log{});
  EXPECT_EQ(Dispatch(Request("addphoto", "<string>a</string>")), Log{});
  EXPECT_EQ(Dispatch(Request("reload", "")), Log{});
  EXPECT_EQ(Dispatch(Request("", "")), Log{});
  EXPECT_EQ(Dispatch(Request("CloseEditor", "<string>x</string>")), Log{});
  EXPECT_TRUE(dialogs_.boxes().empty());
  EXPECT_TRUE(movie_.calls().empty());
}

TEST_F(DispatcherTest, WindowCommandsTakeNoArguments) {
  for (const char* name : {"FullSkreenWindow", "LastSizeWindow", "startResizeWindow",
                           "stopResizeWindow", "startDragWindow", "stopDragWindow", "CloseWindow"}) {
    EXPECT_EQ(Dispatch(Request(name, "<string>ignored</string>")), Log{name});
  }
}

TEST_F(DispatcherTest, PublishStartsOnlyWhenAFlagReadsAsOne) {
  auto publish = [&](const std::string& a, const std::string& b, const std::string& c) {
    return Dispatch(Request("Publish", "<string>" + a + "</string><string>" + b +
                                           "</string><string>" + c +
                                           "</string><string>3</string><string>/w/MyAlbums/</string>"));
  };
  EXPECT_EQ(publish("0", "0", "0"), Log{});
  EXPECT_EQ(publish("1", "0", "0"), Log{"Publish cd=0 web=0 3 /w/MyAlbums/"});
  EXPECT_EQ(publish("0", " 1", "0"), Log{"Publish cd=1 web=0 3 /w/MyAlbums/"});
  EXPECT_EQ(publish("0", "1", "1x"), Log{"Publish cd=1 web=1 3 /w/MyAlbums/"});
  EXPECT_EQ(publish("0", "01", "2"), Log{"Publish cd=1 web=0 3 /w/MyAlbums/"});
  EXPECT_EQ(publish("x", "", "-1"), Log{});
}

TEST_F(DispatcherTest, PositionalArgumentsTakeValueOrInnerText) {
  // Keywords keep the encoded form; the folder is decoded; numbers read as integers.
  EXPECT_EQ(Dispatch(Request("AddKeyWords", "<string>fish &amp; chips</string><string>/a &amp; b</string>"
                                            "<number>4</number><string> 2x</string>")),
            Log{"AddKeyWords fish &amp; chips /a & b 4 2"});
  EXPECT_EQ(Dispatch(Request("GetKeyWords", "<string>/k</string><string>7</string><string>9</string>")),
            Log{"GetKeyWords /k 7 9"});
  EXPECT_EQ(Dispatch(Request("importAlbum", "<string>Tom &amp; Jerry</string>")),
            Log{"importAlbum Tom & Jerry"});
  EXPECT_EQ(Dispatch(Request("importAlbum", "")), Log{"importAlbum "});
  EXPECT_EQ(Dispatch(Request("OpenLocation", "<string>/p/Tom &amp; Jerry/web</string>")),
            Log{"OpenLocation /p/Tom & Jerry/web"});
  EXPECT_EQ(Dispatch(Request("PublishedFolders", "")), Log{"PublishedFolders"});
  // The adjustment document stays in its encoded form, paths are decoded.
  EXPECT_EQ(Dispatch(Request("SaveIMG", "<string>/a&amp;b.jpg</string><string>o</string>"
                                        "<string>&lt;x/&gt;</string><string>1</string><string>2</string>"
                                        "<string></string><string>5</string>")),
            Log{"SaveIMG|/a&b.jpg|o|&lt;x/&gt;|1|2||5"});
  EXPECT_EQ(Dispatch(Request("SavePreview", "<string>s</string><string>o</string><string>l</string>"
                                            "<string>9</string><string>&lt;x/&gt;</string>")),
            Log{"SavePreview|s|o|l|9|&lt;x/&gt;"});
  EXPECT_EQ(Dispatch(Request("ApplyAdjustForFolder", "<string>/f/</string><string>&lt;x/&gt;</string>")),
            Log{"ApplyAdjustForFolder|/f/|&lt;x/&gt;"});
}

TEST_F(DispatcherTest, StringOnlyCommandsSeeOnlyStrings) {
  std::string args = "<number>5</number>";
  for (int i = 0; i < 10; ++i) args += "<string>" + std::to_string(i) + "</string>";
  args += "<STRING>reload</STRING>";
  EXPECT_EQ(Dispatch(Request("AddPhoto", args)), Log{"AddPhoto 0 1 2 3 4 5 6 7 8 9 reload"});
  EXPECT_EQ(Dispatch(Request("AddPhoto", "<string/><string>b</string>")),
            Log{"AddPhoto (null) b (null) (null) (null) (null) (null) (null) (null) (null) (null)"});
  EXPECT_EQ(Dispatch(Request("SaveIMG_last", "<string>a</string>")), Log{"SaveIMG_last a (null)"});
  // The strict reader reads the attribute name without regard to case.
  EXPECT_EQ(Dispatch(R"(<invoke NAME="HideWindow"><arguments/></invoke>)"), Log{});
  EXPECT_EQ(Dispatch(R"(<invoke Name="HideWindow" name="x"><arguments/></invoke>)"),
            Log{"HideWindow"});
}

TEST_F(DispatcherTest, MalformedRequestShowsItsBoxAndRunsNothing) {
  EXPECT_EQ(Dispatch("<invoke"), Log{});
  ASSERT_EQ(dialogs_.boxes().size(), 1u);
  EXPECT_EQ(dialogs_.boxes()[0].caption, "XML Loading Error");
}

TEST_F(DispatcherTest, StringOnlyFileCommandsWithoutArgumentsDoNothing) {
  for (const char* name : {"MakeDir", "ReadFile", "WriteFile", "WriteLFile", "UnlinkFile", "RmDir"}) {
    Dispatch(Request(name, ""));
  }
  EXPECT_TRUE(movie_.calls().empty());
  EXPECT_TRUE(movie_.replies().empty());
}

TEST_F(DispatcherTest, BuildVersionIsRecorded) {
  Dispatch(Request("setFlashBuildVersion", "<string>9.1</string>"));
  EXPECT_EQ(dispatcher_.flash_build_version(), "9.1");
}

}  // namespace
}  // namespace lumireel
