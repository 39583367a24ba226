#include "platform/headless/headless_protocol.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace lumireel::platform::headless {
namespace {

TEST(HeadlessProtocolTest, OutputLinesKeepTheirKeysInOrder) {
  MessageBoxRequest box{"Cap", "Sure?", MessageIcon::kQuestion, MessageButtons::kOkCancel, true};
  OpenFileRequest files{"Add", "Images|*.jpg", "jpg", "*.*", /*multiple=*/true, true};
  OpenFileRequest file{"One", "All|*.*", "", "", /*multiple=*/false, true};
  WindowPlacement window{{1, 2, 3, 4}, ShowState::kMinimized, "T", {5, 6, 7, 8}};
  const std::pair<std::string, std::string> cases[] = {
      {MovieLine("m.snt"), R"({"movie":"m.snt"})"},
      {CallLine("<invoke/>"), R"({"call":"<invoke/>"})"},
      {ReplyLine(""), R"({"reply":""})"},
      {ControlKeyLine(13), R"({"control_key":13})"},
      {ExitLine(-1), R"({"exit":-1})"},
      {ErrorLine("bad"), R"({"error":"bad"})"},
      {WindowLine(window), R"({"window":{"x":1,"y":2,"w":3,"h":4,"state":"minimized","title":"T",)"
                           R"("control":{"x":5,"y":6,"w":7,"h":8}}})"},
      {MessageBoxLine(box),
       R"({"messagebox":{"caption":"Cap","text":"Sure?","icon":"question","buttons":"okcancel"}})"},
      {OpenFileDialogLine(files),
       R"({"dialog":{"kind":"open-files","title":"Add","filter":"Images|*.jpg","default_ext":"jpg"}})"},
      {OpenFileDialogLine(file),
       R"({"dialog":{"kind":"open-file","title":"One","filter":"All|*.*","default_ext":""}})"},
      {FolderDialogLine({"Where", "/tmp"}),
       R"({"dialog":{"kind":"folder","title":"Where","filter":"","default_ext":""}})"},
      {SyncedLine(R"({"b":1,"a":[2,"x"]})"), R"({"synced":{"b":1,"a":[2,"x"]}})"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(line, expected);
}

TEST(HeadlessProtocolTest, InvalidUtf8IsReplacedNotThrown) {
  const std::string bad =
      "a\xff"
      "b\xc3";
  for (const std::string& line :
       {CallLine(bad), ReplyLine(bad), MovieLine(bad), ErrorLine(bad),
        MessageBoxLine({bad, bad, MessageIcon::kError, MessageButtons::kOk, true}),
        WindowLine({{}, ShowState::kNormal, bad, {}})}) {
    auto parsed = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << line;
    EXPECT_NE(line.find("a\xef\xbf\xbd"
                        "b"),
              std::string::npos)
        << line;
  }
}

TEST(HeadlessProtocolTest, RefusesBadLinesWithOneLineReason) {
  const char* bad[] = {
      "not json",
      "[1,2]",
      R"("text")",
      "{}",
      R"({"invoke":"a","close":true})",
      R"({"frobnicate":1})",
      R"({"invoke":12})",
      R"({"fscommand":["only one"]})",
      R"({"fscommand":["a",2]})",
      R"({"cursor":[1]})",
      R"({"cursor":[1.5,2]})",
      R"({"cursor":[1,99999999999]})",
      R"({"key":"Tab"})",
      R"({"close":false})",
      R"({"answer":"ok"})",
      R"({"answer":{"button":"maybe"}})",
      R"({"answer":{"files":["a",3]}})",
      R"({"answer":{"folder":"a","cancel":true}})",
      R"({"answer":{"cancel":false}})",
      "{\"invoke\":\"a\xff\"}",
  };
  for (const char* line : bad) {
    const InputLine parsed = ParseInputLine(line);
    const auto* refused = std::get_if<BadInput>(&parsed);
    ASSERT_NE(refused, nullptr) << line;
    EXPECT_FALSE(refused->error.empty()) << line;
    EXPECT_EQ(refused->error.find('\n'), std::string::npos) << line;
  }
}

TEST(HeadlessProtocolTest, DeepNestingIsRefusedBeforeParsing) {
  // Deep enough to overflow the stack of a recursive parser or printer.
  std::string deep =
      R"({"sync":)" + std::string(1'000'000, '[') + std::string(1'000'000, ']') + "}";
  EXPECT_TRUE(std::holds_alternative<BadInput>(ParseInputLine(deep)));
  // Brackets inside strings do not count.
  std::string text = R"({"invoke":")" + std::string(1000, '[') + R"("})";
  EXPECT_TRUE(std::holds_alternative<InvokeInput>(ParseInputLine(text)));
  std::string nested = R"({"sync":)" + std::string(kMaxInputDepth - 1, '[') +
                       std::string(kMaxInputDepth - 1, ']') + "}";
  EXPECT_TRUE(std::holds_alternative<SyncInput>(ParseInputLine(nested)));
}

}  // namespace
}  // namespace lumireel::platform::headless
