#include "xml/strict_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/time_limit.h"

namespace lumireel {
namespace {

XmlReadNode Parse(const std::string& text, XmlReadResult* result, const char* tag = nullptr) {
  return XmlReadNode::ParseString(text.c_str(), tag, result);
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out.append(piece);
  return out;
}

TEST(StrictReaderTest, FindsInvokeRequestByTagWithNamesInAnyCase) {
  XmlReadNode invoke = XmlReadNode::ParseString(
      "<invoke name=\"GetFile\" returntype=\"xml\"><arguments><string>a.txt</string>"
      "<number>5</number><STRING>b &amp; c</STRING></arguments></invoke>",
      "INVOKE", nullptr);
  EXPECT_STREQ(invoke.GetName(), "invoke");
  EXPECT_STREQ(invoke.GetAttribute("NAME"), "GetFile");
  XmlReadNode arguments = invoke.GetChildNode("Arguments", 0);
  ASSERT_EQ(arguments.CountChildNodes("string"), 2);
  EXPECT_STREQ(arguments.GetChildNode("string", 0).GetText(0), "a.txt");
  EXPECT_STREQ(arguments.GetChildNode("string", 1).GetText(0), "b & c");
}

TEST(StrictReaderTest, TagSearchEntersDeclarationsAndAnswersNothingWhenMissing) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><albums><album id=\"1\"/></albums>";
  XmlReadResult result;
  EXPECT_STREQ(Parse(text, &result, "albums").GetChildNode(0).GetAttribute("id"), "1");

  XmlReadNode declaration = Parse(text, &result).GetChildNode(0);
  EXPECT_TRUE(declaration.IsDeclaration());
  EXPECT_EQ(declaration.CountAttributes(), 2);
  EXPECT_STREQ(declaration.GetAttribute("version"), "1.0");
  EXPECT_STREQ(Parse("<?xml version=1.0?><a/>", &result).GetChildNode(0).GetAttribute("version"),
               "1.0");

  EXPECT_TRUE(Parse("<call name=\"x\"><arguments/></call>", &result, "invoke").IsEmpty());
  EXPECT_EQ(result.error, eXmlReadNoError);
  EXPECT_STREQ(Parse("<a/><b/>", &result, "b").GetName(), "b");
}

TEST(StrictReaderTest, TextRuns) {
  struct Case {
    const char* text;
    const char* first_run;
  };
  const Case kCases[] = {
      {"<a>x &amp; y<b/></a>", "x &amp; y"},  // before a child: as written
      {"<a>x &amp; y</a>", "x & y"},          // before the end tag: decoded
      {"<a>&lt;&gt;&amp;&apos;&quot;</a>", "<>&'\""},
      {"<a>  one  two \r\n\t </a>", "one  two"},
      {"<a>t = 'q' <!-- c --></a>", "t = 'q'"},
      {"<a>say \"hi</a>", "say \"hi"},  // a quote with no partner is ordinary text
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    XmlReadResult result;
    XmlReadNode a = Parse(c.text, &result, "a");
    EXPECT_EQ(result.error, eXmlReadNoError);
    EXPECT_STREQ(a.GetText(0), c.first_run);
  }
  XmlReadNode a = XmlReadNode::ParseString("<a>one<b/>two</a>", "a", nullptr);
  EXPECT_STREQ(a.GetText(1), "two");
  EXPECT_EQ(a.CountContent(), 3);
}

TEST(StrictReaderTest, AttributesWithoutValuesAreNull) {
  XmlReadResult result;
  XmlReadNode a = Parse("<a b c=1 D e='x&lt;y' b=\"2\" f/>", &result, "a");
  ASSERT_EQ(a.CountAttributes(), 6);
  EXPECT_TRUE(a.IsAttributeSet("d"));
  EXPECT_EQ(a.GetAttribute("d"), nullptr);
  EXPECT_STREQ(a.GetAttribute("B", 1), "2");
  EXPECT_STREQ(a.GetAttribute("e"), "x<y");
  EXPECT_STREQ(a.GetAttributePair(5).name, "f");

  int position = 0;
  EXPECT_EQ(a.GetAttribute("b", &position), nullptr);
  EXPECT_EQ(position, 1);
  EXPECT_STREQ(a.GetAttribute("b", &position), "2");
  EXPECT_EQ(position, 5);
  EXPECT_EQ(a.GetAttribute("b", &position), nullptr);
  EXPECT_EQ(position, 5);

  EXPECT_TRUE(Parse("<a b>", &result, "a").IsAttributeSet("b"));
}

TEST(StrictReaderTest, WalksSameNamedChildren) {
  XmlReadResult result;
  XmlReadNode album = Parse("<album><photo>1</photo><x/><PHOTO>2</PHOTO><photo>3</photo></album>",
                            &result, "album");
  std::vector<std::string> seen;
  int position = 0;
  for (XmlReadNode photo = album.GetChildNode("photo", &position); !photo.IsEmpty();
       photo = album.GetChildNode("photo", &position)) {
    seen.emplace_back(photo.GetText(0));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(position, 4);
  EXPECT_EQ(album.CountChildNodes("Photo"), 3);
  EXPECT_STREQ(album.GetChildNode("photo", 2).GetText(0), "3");
  EXPECT_TRUE(album.GetChildNode(4).IsEmpty());
}

TEST(StrictReaderTest, RawSections) {
  XmlReadResult result;
  XmlReadNode a = Parse("<a><![CDATA[<x>]]></a>", &result, "a");
  EXPECT_EQ(a.CountText(), 0);
  ASSERT_EQ(a.CountRawSections(), 1);
  EXPECT_STREQ(a.GetRawSection(0).content, "<x>");
  EXPECT_STREQ(a.GetRawSection(0).close_marker, "]]>");

  XmlReadNode root = Parse("<!DOCTYPE html><b><pre><i></PRE><!--c--></b>", &result);
  EXPECT_STREQ(root.GetRawSection(0).content, " html");
  XmlReadNode b = root.GetChildNode(0);
  EXPECT_EQ(b.CountChildNodes(), 0);
  EXPECT_STREQ(b.GetRawSection(0).content, "<i>");
  EXPECT_STREQ(b.GetRawSection(1).content, "c");
}

TEST(StrictReaderTest, NullTextEmptyTextAndTheEmptyNode) {
  XmlReadResult result{eXmlReadUnexpectedToken, 5, 5};
  const XmlReadNode empty = XmlReadNode::ParseString(nullptr, nullptr, &result);
  EXPECT_EQ(result.error, eXmlReadNoElements);
  EXPECT_EQ(result.line, 0);
  for (const char* text : {"", " \r\n\t"}) {
    XmlReadNode root = XmlReadNode::ParseString(text, nullptr, &result);
    EXPECT_EQ(result.error, eXmlReadNoError);
    EXPECT_FALSE(root.IsEmpty());
    EXPECT_EQ(root.GetName(), nullptr);
    EXPECT_EQ(root.CountContent(), 0);
  }

  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.GetName(), nullptr);
  EXPECT_EQ(empty.CountChildNodes("a") + empty.CountText() + empty.CountContent(), 0);
  EXPECT_TRUE(empty.GetChildNode("a", nullptr).GetChildNode(0).GetParent().IsEmpty());
  EXPECT_EQ(empty.GetAttribute("a"), nullptr);
  EXPECT_EQ(empty.GetText(0), nullptr);
  EXPECT_EQ(empty.GetRawSection(0).open_marker, nullptr);
  EXPECT_EQ(empty.GetAttributePair(0).name, nullptr);
}

TEST(StrictReaderTest, ChildOutlivesItsParent) {
  XmlReadNode b;
  {
    XmlReadNode root = XmlReadNode::ParseString("<a><b x='1'><c/></b></a>", nullptr, nullptr);
    b = root.GetChildNode(0).GetChildNode(0);
    EXPECT_STREQ(b.GetParent().GetName(), "a");
  }
  EXPECT_STREQ(b.GetAttribute("x"), "1");
  EXPECT_TRUE(b.GetParent().IsEmpty());
  EXPECT_STREQ(b.GetChildNode(0).GetParent().GetName(), "b");
}

TEST(StrictReaderTest, EndTags) {
  struct Case {
    const char* text;
    XmlReadError error;
    int children_of_first;  // -1 when the parse fails
  };
  const Case kCases[] = {
      {"<a></A >", eXmlReadNoError, 0},
      {"<a></b></a>", eXmlReadUnmatchedEndTagWarning, 0},
      {"<a></b><c/></a>", eXmlReadUnmatchedEndTagWarning, 1},
      {"<r><a><b></r>", eXmlReadUnmatchedEndTagWarning, 1},  // closes a and b too
      {"<a><?pi x?></a>", eXmlReadUnmatchedEndTagWarning, 1},
      {"<ab></a>", eXmlReadUnmatchedEndTagWarning, 0},
      {"<a>unclosed<b>", eXmlReadNoError, 1},
      {"</a>", eXmlReadUnmatchedEndTag, -1},
      {"<a/></a>", eXmlReadUnmatchedEndTag, -1},
      {"<?xml?><a/></b>", eXmlReadUnmatchedEndTag, -1},
      {"<a></>", eXmlReadMissingEndTagName, -1},
      {"<a></a b>", eXmlReadMissingEndTagName, -1},
      {"<a></a", eXmlReadMissingEndTagName, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    XmlReadResult result;
    XmlReadNode root = Parse(c.text, &result);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(root.IsEmpty(), c.children_of_first < 0);
    if (c.children_of_first >= 0) {
      EXPECT_EQ(root.GetChildNode(0).CountChildNodes(), c.children_of_first);
    }
  }
  XmlReadResult result;
  XmlReadNode r = Parse("<r><a><b></r><c/>", &result);
  EXPECT_EQ(r.CountChildNodes(), 2);  // <c/> follows r, not b
}

TEST(StrictReaderTest, ErrorsGiveTheirPositionAndTheEmptyNode) {
  struct Case {
    const char* text;
    XmlReadError error;
    int line;
    int column;
  };
  const Case kCases[] = {
      {"<a>&foo;</a>", eXmlReadUnexpectedToken, 1, 4},
      {"<a>\n  x & y</a>", eXmlReadUnexpectedToken, 2, 5},
      {"<a b=\"&#65;\"/>", eXmlReadUnexpectedToken, 1, 7},
      {"<a>\n<>", eXmlReadMissingStartTagName, 2, 3},
      {"<a>\n</a x>", eXmlReadMissingEndTagName, 2, 6},
      {"<a>>", eXmlReadUnexpectedToken, 1, 5},
      {"<a>\n\n<!-- never closed", eXmlReadUnmatchedEndTag, 3, 5},
      {"</a>", eXmlReadUnmatchedEndTag, 1, 5},
      {"<a b=\"x<y\">", eXmlReadUnexpectedToken, 1, 9},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    XmlReadResult result;
    EXPECT_TRUE(Parse(c.text, &result, "a").IsEmpty());
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.line, c.line);
    EXPECT_EQ(result.column, c.column);
  }
}

TEST(StrictReaderTest, ErrorTexts) {
  std::string all;
  for (int code = -1; code <= 13; ++code) all += std::string(XmlReadErrorText(code)) + "|";
  EXPECT_EQ(all,
            "Unknown|No error|Warning: Unmatched end tag|Error: No XML data|"
            "Error: First token not start tag|Error: Missing start tag name|"
            "Error: Missing end tag name|Error: Unmatched quote|Error: Unmatched end tag|"
            "Error: Unexpected token found|Error: Invalid tag found|Error: No elements found|"
            "Error: File not found|Error: First Tag not found|Unknown|");
}

class StrictReaderFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("strict_reader_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(StrictReaderFileTest, MissingFileAndUtf16Files) {
  XmlReadResult result{eXmlReadNoError, 4, 4};
  EXPECT_TRUE(XmlReadNode::ParseFile((dir_ / "none.xml").string(), "a", &result).IsEmpty());
  EXPECT_EQ(result.error, eXmlReadFileNotFound);
  EXPECT_EQ(result.line + result.column, 0);

  const std::u16string text = u"<a t=\"\u00e9\U0001F600\"/>";
  for (bool big_endian : {false, true}) {
    std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
      const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
      bytes += big_endian ? std::string{high, low} : std::string{low, high};
    }
    XmlReadNode a = XmlReadNode::ParseFile(Write("u16.xml", bytes), "a", &result);
    EXPECT_EQ(result.error, eXmlReadNoError);
    EXPECT_STREQ(a.GetAttribute("t"), "\xC3\xA9\xF0\x9F\x98\x80");
  }
}

TEST_F(StrictReaderFileTest, CheckedParseReportsOnStandardError) {
  const std::string good = Write("good.xml", "<album><photo/></album>");
  EXPECT_EQ(XmlReadNode::ParseFileChecked(good, "album").CountChildNodes(), 1);

  const std::string bad = Write("bad.xml", "<album>\n<>");
  ::testing::internal::CaptureStderr();
  XmlReadNode node = XmlReadNode::ParseFileChecked(bad, "album");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "XML Parsing error inside file '" + bad +
                "'.\nError: Error: Missing start tag name\nAt line 2, column 3.\n");
  EXPECT_TRUE(node.IsEmpty());

  const std::string warned = Write("warned.xml", "<album></photo></album>");
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(XmlReadNode::ParseFileChecked(warned, "album").IsEmpty());
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Warning: Unmatched end tag"),
            std::string::npos);
}

TEST(StrictReaderTest, NestingIsLimited) {
  XmlReadResult result;
  const int limit = XmlReadNode::kMaxDepth;
  EXPECT_FALSE(Parse(Repeat("<e>", limit), &result).IsEmpty());
  EXPECT_EQ(result.error, eXmlReadNoError);
  EXPECT_TRUE(Parse(Repeat("<e>", limit + 1), &result).IsEmpty());
  EXPECT_EQ(result.error, eXmlReadUnexpectedToken);
  EXPECT_EQ(result.column, limit * 3 + 1);
  EXPECT_TRUE(Parse(Repeat("<e>", 100000) + Repeat("</e>", 100000), &result).IsEmpty());
  EXPECT_EQ(result.error, eXmlReadUnexpectedToken);
  EXPECT_TRUE(Parse(Repeat("<?x?>", 100000), &result).IsEmpty());
}

TEST(StrictReaderTest, HostileInputsEndCleanly) {
  struct Case {
    std::string text;
    XmlReadError error;
  };
  const std::vector<Case> kCases = {
      {"<a b=\"unterminated", eXmlReadUnexpectedToken},
      {"<a b", eXmlReadUnexpectedToken},
      {"<a b=", eXmlReadUnexpectedToken},
      {"<", eXmlReadMissingStartTagName},
      {"<a><!-- open", eXmlReadUnmatchedEndTag},
      {"<a><![CDATA[ open", eXmlReadUnmatchedEndTag},
      {"<a><Script>", eXmlReadUnmatchedEndTag},
      {"<a>'" + Repeat("\"'x ", 100000), eXmlReadNoError},
      {"<a>" + Repeat("</b>", 500000), eXmlReadUnmatchedEndTagWarning},
      {"<a>" + Repeat("word &amp; ", 1000000) + "</a>", eXmlReadNoError},
      {"<a>" + Repeat("<p/>", 1000000), eXmlReadNoError},  // a long list grows in big steps
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    XmlReadResult result;
    Parse(c.text, &result);
    EXPECT_EQ(result.error, c.error);
  }
  std::mt19937 random(7);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random() % 255 + 1);
  XmlReadResult result;
  Parse(noise, &result);
  Parse(Repeat("<a x='1' y>&lt;\"", 60000), &result);
}

TEST(StrictReaderTest, LongListsParseQuickly) {
  std::string list = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>";
  for (int id = 1; id <= 20000; ++id) {
    const std::string n = std::to_string(id);
    list +=
        "<photo><id>" + n + "</id><name/><file>" + n + ".jpg</file><w>180</w><h>135</h></photo>";
  }
  list += "</album>\r\n";
  const auto start = std::chrono::steady_clock::now();
  XmlReadResult result;
  XmlReadNode album = Parse(list, &result, "album");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(album.CountChildNodes("photo"), 20000);
  EXPECT_STREQ(album.GetChildNode(19999).GetChildNode("id", 0).GetText(0), "20000");
  // Tens of milliseconds in a release build; the bound only catches work
  // that grows with the square of the size.
  EXPECT_LT(elapsed, std::chrono::seconds(2) * testing::kTimeLimitFactor);
}

}  // namespace
}  // namespace lumireel
