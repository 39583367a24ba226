// The movie's file commands and malformed requests through the real program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A value as the movie puts it into a <string> element.
std::string Xml(const std::string& text) { return EncodeMessageText(text); }

std::string Request(const std::string& name, const std::vector<std::string>& strings) {
  std::string xml = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& s : strings) xml += "<string>" + Xml(s) + "</string>";
  return xml + "</arguments></invoke>";
}

std::string Alert(const std::string& title, const std::string& message, int number) {
  return "<invoke name=\"showAlert\" returntype=\"xml\"><arguments><string>" + title +
         "</string><string>" + message + "</string><number>" + std::to_string(number) +
         "</number></arguments></invoke>";
}

std::string ReadFileReply(const std::string& encoded) {
  return "<invoke name=\"ReadFile\" returntype=\"xml\"><string>" + encoded + "</string></invoke>";
}

class FileCommandsE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app_.Sync()) << app_.Transcript(); }

  // Sends the request and returns the lines it caused.
  std::vector<Json> Run(const std::string& request) {
    app_.Invoke(request);
    auto lines = app_.Sync();
    EXPECT_TRUE(lines) << app_.Transcript();
    return lines.value_or(std::vector<Json>{});
  }

  std::string Path(const std::string& relative) const { return (app_.workspace() / relative).string(); }

  std::string Bytes(const std::string& relative) const {
    std::ifstream in(app_.workspace() / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  testing::HeadlessProcess app_;
};

using Lines = std::vector<Json>;

Json CallLine(const std::string& text) { return Json{{"call", text}}; }

Lines Reply(const std::string& encoded) { return Lines{Json{{"reply", ReadFileReply(encoded)}}}; }

TEST_F(FileCommandsE2eTest, MalformedRequestsShowTheirBoxes) {
  struct Case {
    std::string request;
    std::string caption;
    std::string text;
  };
  const Case cases[] = {
      {"<invoke", "XML Loading Error", "Can't recognize ActiveX request"},
      {"<invoke name=\"x\"><other/></invoke>", "XML Arguments Error",
       "Can't get arguments list from ActiveX request"},
      {"<invoke><arguments/></invoke>", "XML Procedure Name Error",
       "Can't get procedure name from ActiveX request"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.request), Lines({Json{{"messagebox",
                                           {{"caption", c.caption},
                                            {"text", c.text},
                                            {"icon", "error"},
                                            {"buttons", "ok"}}}}}))
        << c.request;
  }
}

TEST_F(FileCommandsE2eTest, StringOnlyViewSkipsOtherElements) {
  // The first <number> is not a string argument, so the folder is the path.
  const std::string path = Path("made here");
  EXPECT_EQ(Run("<invoke name=\"MakeDir\" returntype=\"xml\"><arguments><number>5</number><string>" +
                Xml(path) + "</string></arguments></invoke>"),
            Lines{});
  EXPECT_TRUE(fs::is_directory(path));
  // A root that is not `invoke` offers no string arguments.
  EXPECT_EQ(Run("<call name=\"MakeDir\"><arguments><string>" + Xml(Path("not made")) +
                "</string></arguments></call>"),
            Lines{});
  EXPECT_FALSE(fs::exists(Path("not made")));
}

TEST_F(FileCommandsE2eTest, MakeDirAndRmDir) {
  const std::string folder = Path("Tom & Jerry <\"ünïcode\">");
  EXPECT_EQ(Run(Request("MakeDir", {folder})), Lines{});
  EXPECT_TRUE(fs::is_directory(folder));
  const Lines mkdir_error{CallLine(Alert("mkdir_error_h", "mkdir_error", 0))};
  EXPECT_EQ(Run(Request("MakeDir", {folder})), mkdir_error);
  EXPECT_EQ(Run(Request("MakeDir", {Path("a\\b\\c")})), mkdir_error);
  EXPECT_EQ(Run(Request("MakeDir", {})), Lines{});

  fs::create_directories(folder + "/inner/deeper");
  std::ofstream(folder + "/inner/deeper/f.txt") << "x";
  EXPECT_EQ(Run(Request("RmDir", {folder})), Lines{});
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(Run(Request("RmDir", {folder})), Lines{});  // not reported
}

TEST_F(FileCommandsE2eTest, WriteAndReadFiles) {
  const std::string file = Path("it's & <ok>.xml");
  const std::string content = "<album name=\"Été & co\">\nline</album>";
  EXPECT_EQ(Run(Request("WriteFile", {file, content})), Lines{});
  EXPECT_EQ(Bytes("it's & <ok>.xml"), content);
  EXPECT_EQ(Run(Request("ReadFile", {file})),
            Reply("&lt;album name=&quot;Été &amp; co&quot;&gt;\nline&lt;/album&gt;"));

  EXPECT_EQ(Run(Request("ReadFile", {Path("missing.txt")})), Reply(""));
  EXPECT_EQ(Run(Request("ReadFile", {Path("")})), Reply(""));
  EXPECT_EQ(Run(Request("ReadFile", {})), Lines{});

  const Lines write_error{CallLine(Alert("write_file_error_h", "write_file_error", 0))};
  EXPECT_EQ(Run(Request("WriteFile", {Path("no such folder/f.txt"), "x"})), write_error);

  // The relative writer puts the root in front and writes CR LF line ends.
  EXPECT_EQ(Run(Request("WriteLFile", {"notes.txt", "x\ny"})), Lines{});
  EXPECT_EQ(Bytes("notes.txt"), "x\r\ny");
  EXPECT_EQ(Run(Request("WriteFile", {Path("plain.txt"), "x\ny"})), Lines{});
  EXPECT_EQ(Bytes("plain.txt"), "x\ny");  // no terminator byte is written
  EXPECT_EQ(Run(Request("WriteLFile", {"missing/notes.txt", "x"})), write_error);
}

TEST_F(FileCommandsE2eTest, UnlinkCommands) {
  std::ofstream(Path("a & b.txt")) << "x";
  EXPECT_EQ(Run(Request("UnlinkLFile", {"a & b.txt"})), Lines{});
  EXPECT_FALSE(fs::exists(Path("a & b.txt")));
  EXPECT_EQ(Run(Request("UnlinkLFile", {"a & b.txt"})),
            Lines{CallLine(Alert("unlink_file_error_h", "unlink_file_error", 0))});

  std::ofstream(Path("gone.txt")) << "x";
  EXPECT_EQ(Run(Request("UnlinkFile", {Path("gone.txt")})), Lines{});
  EXPECT_FALSE(fs::exists(Path("gone.txt")));
  EXPECT_EQ(Run(Request("UnlinkFile", {Path("gone.txt")})), Lines{});
}

TEST_F(FileCommandsE2eTest, MoveFileCopiesAndAlertsWhenAsked) {
  std::ofstream(Path("src.mp3")) << "music";
  EXPECT_EQ(Run(Request("MoveFile", {Path("src.mp3"), Path("copy.mp3")})), Lines{});
  EXPECT_EQ(Bytes("copy.mp3"), "music");

  std::ofstream(Path("src.mp3")) << "louder";
  EXPECT_EQ(Run(Request("MoveFile", {Path("src.mp3"), Path("copy.mp3"), "copied", "copied_h"})),
            Lines{CallLine(Alert("copied_h", "copied", 1))});
  EXPECT_EQ(Bytes("copy.mp3"), "louder");
  // The alert comes whether or not the copy worked.
  EXPECT_EQ(Run(Request("MoveFile", {Path("nothing"), Path("x/y"), "m", "t"})),
            Lines{CallLine(Alert("t", "m", 1))});
  EXPECT_EQ(Run(Request("MoveFile", {Path("src.mp3")})),
            Lines{CallLine(Alert("Attention", "Some arguments is empty", 1))});
}

TEST_F(FileCommandsE2eTest, PickingCommandsAskAndSendTheChoice) {
  const std::string logo = Path("my logo & co.png");
  app_.Answer({{"files", {logo}}});
  EXPECT_EQ(Run(Request("MoveLogo", {})),
            Lines({Json{{"dialog",
                         {{"kind", "open-file"},
                          {"title", ""},
                          {"filter", "Graphic Formats (*.swf,*.jpg,*.jpeg,*.png)|*.swf; *.jpg; *.jpeg; *.png;|"},
                          {"default_ext", "*.swf,*.jpeg,*.jpg,*.png"}}}},
                   CallLine("<invoke name=\"setFile\" returntype=\"xml\"><arguments><string>" + Xml(logo) +
                            "</string><string>my logo &amp; co.png</string></arguments></invoke>")}));

  app_.Answer({{"files", {Path("song.mp3")}}});
  Lines mp3 = Run(Request("MoveMp3", {}));
  ASSERT_EQ(mp3.size(), 2u);
  EXPECT_EQ(mp3[0]["dialog"]["filter"], "Mp3 Files (*.mp3)|*.mp3|");
  EXPECT_EQ(mp3[1], CallLine("<invoke name=\"setFile\" returntype=\"xml\"><arguments><string>" +
                             Xml(Path("song.mp3")) + "</string></arguments></invoke>"));

  app_.Answer({{"cancel", true}});
  Lines media = Run(Request("MoveMedia", {"*.flv"}));
  ASSERT_EQ(media.size(), 1u) << "a cancelled dialog sends nothing";
  EXPECT_EQ(media[0]["dialog"]["filter"], "*.flv|*.flv|");
  EXPECT_EQ(media[0]["dialog"]["default_ext"], "*.flv");
}

TEST_F(FileCommandsE2eTest, AnAnswerGivenAfterTheDialogOpensIsTaken) {
  app_.Invoke(Request("MoveMp3", {}));
  ASSERT_TRUE(app_.WaitFor([](const Json& line) { return line.contains("dialog"); }));
  app_.Answer({{"files", {"/music/later.mp3"}}});
  auto lines = app_.Sync();
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 1u);
  EXPECT_NE((*lines)[0]["call"].get<std::string>().find("/music/later.mp3"), std::string::npos);
}

TEST_F(FileCommandsE2eTest, HugeRequestIsHandled) {
  const std::string content(10 << 20, 'z');
  EXPECT_EQ(Run(Request("WriteFile", {Path("big.txt"), content})), Lines{});
  EXPECT_EQ(fs::file_size(Path("big.txt")), content.size());
}

}  // namespace
}  // namespace lumireel
