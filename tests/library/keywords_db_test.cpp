#include "library/keywords_db.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/movie_messages.h"
#include "library_files.h"
#include "support/fake_platform.h"

namespace lumireel {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::string List(const std::string& ts) {
  return std::string(kDeclaration) + "<db>" + ts + "\r\n</db>";
}
std::string Keys(const std::string& entries) {
  return std::string(kDeclaration) + "<keys>" + entries + "\r\n</keys>";
}

class KeywordsTest : public ::testing::Test {
 protected:
  void Add(const std::string& inner_text, long p, long a) {
    HandleKeywords(movie_, inner_text, files_.At("kw"), p, a, KeywordMode::kAdd);
  }
  // The setKeyWords calls sent by one GetKeyWords.
  std::vector<std::string> Get(long p, long a) {
    const size_t before = movie_.calls().size();
    HandleKeywords(movie_, "", files_.At("kw"), p, a, KeywordMode::kGet);
    const std::vector<std::string> calls = movie_.calls();
    return {calls.begin() + static_cast<long>(before), calls.end()};
  }
  std::string Bytes(const std::string& name) const { return files_.Bytes("kw/" + name); }

  testing::FakeMovieControl movie_;
  testing::LibraryFiles files_;
};

TEST_F(KeywordsTest, FirstEntryStartsTheDatabaseAndReadsBack) {
  files_.MakeFolders("kw");
  Add("sea sand", 4, 2);
  EXPECT_EQ(Bytes("keywordsdb.xml"), List("<t>1</t>"));
  EXPECT_EQ(Bytes("1.xml"), Keys("<s p=\"4\" a=\"2\" >sea,sand</s>"));
  EXPECT_EQ(Get(4, 2), std::vector<std::string>{SetKeyWordsMessage("sea sand")});

  // Another a is another photo: it gets an empty entry and nothing is sent.
  EXPECT_TRUE(Get(4, 3).empty());
  EXPECT_EQ(Bytes("1.xml"), Keys("<s p=\"4\" a=\"2\" >sea,sand</s><s p=\"4\" a=\"3\" />"));

  // A photo that has an entry gets its keywords replaced.
  Add("sky", 4, 2);
  EXPECT_EQ(Bytes("1.xml"), Keys("<s p=\"4\" a=\"2\" >sky</s><s p=\"4\" a=\"3\" />"));
  EXPECT_EQ(Get(4, 2), std::vector<std::string>{SetKeyWordsMessage("sky")});
}

TEST_F(KeywordsTest, KeywordsComeBackExactlyAsTheMovieSentThem) {
  files_.MakeFolders("kw");
  const std::string inner_texts[] = {
      "fish &amp; chips",
      "&lt;b&gt; &quot;q&quot; &apos;s&apos;",
      "Zo\xC3\xAB \xE6\x9D\xB1\xE4\xBA\xAC",
      "C:\\dir\\ a\\",
      "&amp;lt; &amp;amp;",
      "",
  };
  long p = 1;
  for (const std::string& text : inner_texts) Add(text, p++, 1);
  p = 1;
  for (const std::string& text : inner_texts) {
    EXPECT_EQ(Get(p++, 1), std::vector<std::string>{SetKeyWordsMessage(text)}) << text;
  }
}

TEST_F(KeywordsTest, NewEntriesGoToTheCurrentFileUntilItIsOverTheLimit) {
  const std::string one = Keys("<s p=\"1\" a=\"1\" >one</s>");
  files_.Put("kw/1.xml", one);
  files_.Put("kw/2.xml", Keys(""));
  files_.Put("kw/keywordsdb.xml", List("<t>1</t><t>2</t>"));
  Add("two", 2, 1);
  EXPECT_EQ(Bytes("2.xml"), Keys("<s p=\"2\" a=\"1\" >two</s>"));

  // At exactly the limit the file still takes an entry.
  const std::string head = std::string(kDeclaration) + "<keys><s p=\"9\" a=\"9\" >";
  const std::string tail = "</s>\r\n</keys>";
  const std::string full =
      head + std::string(kKeywordFileLimit - head.size() - tail.size(), 'x') + tail;
  files_.Put("kw/2.xml", full);
  Add("three", 3, 1);
  EXPECT_EQ(Bytes("2.xml").size(),
            kKeywordFileLimit + std::string("<s p=\"3\" a=\"1\" >three</s>").size());

  // Over the limit: a new file, numbered above the highest listed one and
  // above a stray file that is already there, which stays untouched.
  files_.Put("kw/3.xml", "stray");
  const std::string over = Bytes("2.xml");
  Add("four", 4, 1);
  EXPECT_EQ(Bytes("2.xml"), over);
  EXPECT_EQ(Bytes("3.xml"), "stray");
  EXPECT_EQ(Bytes("4.xml"), Keys("<s p=\"4\" a=\"1\" >four</s>"));
  EXPECT_EQ(Bytes("keywordsdb.xml"), List("<t>1</t><t>2</t><t>4</t>"));
  EXPECT_EQ(Bytes("1.xml"), one);
  EXPECT_EQ(Get(4, 1), std::vector<std::string>{SetKeyWordsMessage("four")});
  EXPECT_EQ(Get(1, 1), std::vector<std::string>{SetKeyWordsMessage("one")});
}

TEST_F(KeywordsTest, ListedFilesThatAreMissingAreMadeWhenNeeded) {
  files_.Put("kw/keywordsdb.xml", List("<t>1</t><t>2</t>"));
  Add("a b", 1, 1);  // neither file is there; the entry goes to the current one
  EXPECT_FALSE(files_.Exists("kw/1.xml"));
  EXPECT_EQ(Bytes("2.xml"), Keys("<s p=\"1\" a=\"1\" >a,b</s>"));

  // A list naming no file gets file 1, so that its entries are found again.
  files_.Put("kw/keywordsdb.xml", List("<t></t>"));
  Add("c", 2, 2);
  EXPECT_EQ(Bytes("keywordsdb.xml"), List("<t/><t>1</t>"));
  EXPECT_EQ(Get(2, 2), std::vector<std::string>{SetKeyWordsMessage("c")});
}

TEST_F(KeywordsTest, UnreadableDatabaseChangesNothing) {
  const struct {
    std::string list;
    std::string file;
  } cases[] = {
      {"<db><t>1</t>", Keys("")},                       // list does not parse
      {"<other><t>1</t></other>", Keys("")},            // list without db
      {List("<t>1</t>"), "<keys><s p=\"1\" a=\"1\">"},  // keyword file does not parse
      {List("<t>1</t>"), "<db></db>"},                  // keyword file without keys
  };
  for (const auto& c : cases) {
    files_.Put("kw/keywordsdb.xml", c.list);
    files_.Put("kw/1.xml", c.file);
    Add("x", 1, 1);
    EXPECT_TRUE(Get(1, 1).empty());
    EXPECT_EQ(Bytes("keywordsdb.xml"), c.list);
    EXPECT_EQ(Bytes("1.xml"), c.file);
  }
  HandleKeywords(movie_, "x", "", 1, 1, KeywordMode::kAdd);  // no folder: nothing at all
  EXPECT_TRUE(movie_.calls().empty());
}

}  // namespace
}  // namespace lumireel
