#include "bridge/movie_messages.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace lumireel {
namespace {

TEST(MovieMessages, EveryOutgoingMessageHasItsExactText) {
  struct Case {
    std::string built;
    std::string expected;
  };
  const Case cases[] = {
      {SetGlobPathMessage("/home/u/work"),
       R"(<invoke name="setGlobPath" returntype="xml"><arguments><string>/home/u/work</string></arguments></invoke>)"},
      {ShowAlertMessage("mkdir_error_h", "mkdir_error", 0),
       R"(<invoke name="showAlert" returntype="xml"><arguments><string>mkdir_error_h</string><string>mkdir_error</string><number>0</number></arguments></invoke>)"},
      {ReloadContentMessage(), R"(<invoke name="reloadContent" returntype="xml"><arguments/></invoke>)"},
      {ReloadPreviewMessage(), R"(<invoke name="reloadPreview" returntype="xml"><arguments/></invoke>)"},
      {ReloadBigImgMessage(), R"(<invoke name="reloadBigImg" returntype="xml"><arguments/></invoke>)"},
      {CreateProgressBarMessage("loc_publish_lbl"),
       R"(<invoke name="createProgressBar" returntype="xml"><arguments><string>loc_publish_lbl</string></arguments></invoke>)"},
      {CreateProgressBarMessage("loc_convertimg"),
       R"(<invoke name="createProgressBar" returntype="xml"><arguments><string>loc_convertimg</string></arguments></invoke>)"},
      {ShowProgressMessage(250, 21),
       R"(<invoke name="showProgress" returntype="xml"><arguments><number>250</number><number>21</number></arguments></invoke>)"},
      {CloseProgressBarMessage(), R"(<invoke name="closeProgressBar" returntype="xml"><arguments/></invoke>)"},
      {SetKeyWordsMessage("sea sand"),
       R"(<invoke name="setKeyWords" returntype="xml"><arguments><string>sea sand</string></arguments></invoke>)"},
      {SetFileMessage("/pics/logo.png", "logo.png"),
       R"(<invoke name="setFile" returntype="xml"><arguments><string>/pics/logo.png</string><string>logo.png</string></arguments></invoke>)"},
      {SetFileMessage("/music/a.mp3"),
       R"(<invoke name="setFile" returntype="xml"><arguments><string>/music/a.mp3</string></arguments></invoke>)"},
      {ReadFileReply("<a/>"), R"(<invoke name="ReadFile" returntype="xml"><string>&lt;a/&gt;</string></invoke>)"},
      {ReadFileReply(""), R"(<invoke name="ReadFile" returntype="xml"><string></string></invoke>)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(MovieMessages, ValuesAreEncodedButKeywordsGoBackAsSent) {
  EXPECT_EQ(SetGlobPathMessage("/tmp/Tom & Jerry <2>"),
            R"(<invoke name="setGlobPath" returntype="xml"><arguments><string>/tmp/Tom &amp; Jerry &lt;2&gt;</string></arguments></invoke>)");
  EXPECT_EQ(SetFileMessage("/a/it's \"x\".png", "it's \"x\".png"),
            R"(<invoke name="setFile" returntype="xml"><arguments><string>/a/it&apos;s &quot;x&quot;.png</string><string>it&apos;s &quot;x&quot;.png</string></arguments></invoke>)");
  // Keywords arrive in the movie's encoded form and must not be encoded twice.
  EXPECT_EQ(SetKeyWordsMessage("fish &amp; chips"),
            R"(<invoke name="setKeyWords" returntype="xml"><arguments><string>fish &amp; chips</string></arguments></invoke>)");
}

TEST(MovieMessages, SendAlertWritesASignedNumber) {
  testing::FakeMovieControl movie;
  SendAlert(movie, "Attention", "Some arguments is empty", 1);
  SendAlert(movie, "t_h", "t", -1);
  ASSERT_EQ(movie.calls().size(), 2u);
  EXPECT_EQ(movie.calls()[0],
            R"(<invoke name="showAlert" returntype="xml"><arguments><string>Attention</string><string>Some arguments is empty</string><number>1</number></arguments></invoke>)");
  EXPECT_NE(movie.calls()[1].find("<number>-1</number>"), std::string::npos);

  ReplyToMovie(movie, ReadFileReply("x"));
  EXPECT_EQ(movie.replies(), std::vector<std::string>{ReadFileReply("x")});
}

}  // namespace
}  // namespace lumireel
