#include "xml/element_tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "support/time_limit.h"

namespace lumireel {
namespace {

struct Parsed {
  std::unique_ptr<CXmlDocument> doc = std::make_unique<CXmlDocument>();
  XmlParseInfo info;
  const char* end = nullptr;
};

Parsed Parse(std::string_view text, bool force_parse = false) {
  Parsed p;
  p.info.force_parse = force_parse;
  p.end = p.doc->ParseText(text, &p.info);
  return p;
}

TEST(ElementTreeTest, RoundTripsThroughTheWriter) {
  const struct {
    std::string_view in, out;
  } cases[] = {
      {"<a x=\"1\" y='2'/>", "<a x=\"1\" y=\"2\" />"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<album id=\"3\"><name>x</name></album>\r\n",
       "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album id=\"3\" ><name>x</name></album>"},
      {"<logo></logo>", "<logo/>"},
      // One text per element: the first run that is not blank.
      {"<a>t<b/>u</a>", "<a><b/>t</a>"},
      {"<a>\n<b/></a>", "<a><b/>\n</a>"},
      {"<a>\n<b/>x<c/>y</a>", "<a><b/><c/>x</a>"},
      {"<a>&lt;&unknown;</a>", "<a>&lt;&amp;unknown;</a>"},
      {"<a b=1 c=x>v</a>", "<a b=\"1\" c=\"x\" >v</a>"},
      {"<a b ></a>", "<a b=\"\" />"},
      {"<!-- c --><a/> <!--after-->", "<!-- c --><a/><!--after-->"},
      {"<a><![CDATA[x<y]]><!--c-->text</a>", "<a><![CDATA[x<y]]><!--c-->text</a>"},
      // A processing instruction anywhere joins the document's top level.
      {"<a><?pi x=\"1\"?><b/></a>", "<?pi x=\"1\" ?><a><b/></a>"},
      // Blanks inside an end tag do not leak into the parent's text.
      {"<r><a></a ></r>", "<r><a/></r>"},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.in);
    ASSERT_NE(p.end, nullptr) << c.in << ": " << p.info.error_text;
    EXPECT_EQ(p.doc->ToXml(), c.out) << c.in;
    Parsed again = Parse(c.out);
    EXPECT_EQ(again.doc->ToXml(), c.out) << "second pass of " << c.in;
  }
}

// A document that keeps its root's children as text parses, fails and writes
// exactly as one that keeps them as nodes, also after a child is appended.
TEST(ElementTreeTest, RootChildrenKeptAsTextWriteAsTheTree) {
  const std::string_view cases[] = {
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"6\" id=\"2\">"
      "<photo><id>6</id><name>a &amp; b</name><file>6.jpg</file></photo><photo/></album>\r\n",
      "<album></album>",
      "<album/>",
      "<album>\n<photo><id>1</id></photo>text<!--note--><photo x='1'/>more</album><!--after-->",
      "<album><photo><?pi a=\"1\"?><id>1</id></photo><![CDATA[<x>]]></album>",
      "<album><a><b><c>deep</c></b></a>C:\\x</album>",
      "<album><photo><id>1</id></photo>",
      "<album><photo></album>",
      "no element",
  };
  for (const std::string_view text : cases) {
    Parsed nodes = Parse(text);
    CXmlDocument kept;
    kept.KeepRootChildrenAsText();
    XmlParseInfo info;
    const char* end = kept.ParseText(text, &info);
    ASSERT_EQ(end == nullptr, nodes.end == nullptr) << text;
    EXPECT_EQ(info.error_code, nodes.info.error_code) << text;
    if (end == nullptr) continue;
    EXPECT_EQ(end - text.data(), nodes.end - text.data()) << text;
    EXPECT_EQ(kept.ToXml(), nodes.doc->ToXml()) << text;
    kept.RootElement()->AppendChild("photo", "new");
    nodes.doc->RootElement()->AppendChild("photo", "new");
    EXPECT_EQ(kept.ToXml(), nodes.doc->ToXml()) << text;
  }
}

TEST(ElementTreeTest, EscapeCharacterIsDroppedAndProtectsDelimiters) {
  const struct {
    std::string_view in;
    char escape;
    std::string_view attr, text;
  } cases[] = {
      {R"(<a p="C:\x">t</a>)", '\\', "C:x", "t"},
      {R"(<a p="C:\\x">t</a>)", '\\', R"(C:\x)", "t"},
      {R"(<a p="say \"hi\"" q='it\'s'>t</a>)", '\\', R"(say "hi")", "t"},
      {R"(<a p=x\ y>1\<2\\</a>)", '\\', "x y", R"(1<2\)"},
      {R"(<a p="C:\x">t\</a>)", 0, R"(C:\x)", R"(t\)"},
  };
  for (const auto& c : cases) {
    CXmlDocument doc;
    XmlParseInfo info;
    info.escape_char = c.escape;
    ASSERT_NE(doc.ParseText(c.in, &info), nullptr) << c.in << ": " << info.error_text;
    const CXmlNode* a = doc.RootElement();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(*a->GetAttrValue("p"), c.attr) << c.in;
    EXPECT_EQ(a->value, c.text) << c.in;
  }
  // Escaped markers do not end a comment; the content is stored as written.
  Parsed p = Parse(R"(<!--a\-->b--><r/>)");
  ASSERT_NE(p.end, nullptr);
  EXPECT_EQ(p.doc->ChildAt(0)->value, R"(a\-->b)");
}

TEST(ElementTreeTest, EntityTableDecodesOnceAndKeepsUnknownReferences) {
  const XmlEntityTable& table = XmlEntityTable::Default();
  EXPECT_EQ(table.Encode("&\"'<>x"), "&amp;&quot;&apos;&lt;&gt;x");
  EXPECT_EQ(table.Decode("&amp;&quot;&apos;&lt;&gt;x"), "&\"'<>x");
  EXPECT_EQ(table.Decode("&amp;lt; &unknown; & &am"), "&lt; &unknown; & &am");
}

TEST(ElementTreeTest, TopLevelCommentsAndProcessingInstructions) {
  Parsed p =
      Parse("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- kept  --><album/>\n<!--z--> tail");
  ASSERT_NE(p.end, nullptr);
  EXPECT_EQ(std::string_view(p.end), "tail");
  ASSERT_EQ(p.doc->ChildCount(), 4u);
  const CXmlNode* pi = p.doc->ChildAt(0);
  EXPECT_EQ(pi->kind, XmlNodeKind::ProcessingInstruction);
  EXPECT_EQ(pi->name, "xml");
  EXPECT_EQ(*pi->GetAttrValue("encoding"), "utf-8");
  EXPECT_EQ(pi->parent, p.doc.get());
  const CXmlNode* comment = p.doc->ChildAt(1);
  EXPECT_EQ(comment->kind, XmlNodeKind::Comment);
  EXPECT_EQ(comment->name, "#COMMENT");
  EXPECT_EQ(comment->value, " kept  ");
  EXPECT_EQ(p.doc->RootElement(), p.doc->ChildAt(2));
  EXPECT_EQ(p.doc->ChildAt(3)->value, "z");
}

TEST(ElementTreeTest, ErrorsCarryCodeTextAndPosition) {
  const struct {
    std::string_view in;
    bool force;
    int code;
    std::string_view text;
    size_t offset;
  } cases[] = {
      {"<a></b>", false, 3, "'<a> ... </b>' is not wel-formed.", 5},
      {"<a b", false, 4, "<a> attribute has error ", 3},
      {"<a b=\"x", false, 4, "<a> attribute has error ", 5},
      {"<a / >", false, 1, "Element must be closed.", 3},
      {"<a b=\"1\"", false, 1, "Element must be closed.", 8},
      {"<a>text", false, 2, "a must be closed with </a>", 2},
      {"<a><b/>", false, 2, "it must be closed with </a>", 7},
      {"<a></a", false, 2, "it must be closed with </a>", 5},
      // Force parse tolerates the mismatch but not the missing end tag.
      {"<a></b>", true, 2, "it must be closed with </a>", 7},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.in, c.force);
    EXPECT_EQ(p.end, nullptr) << c.in;
    EXPECT_TRUE(p.info.error_occurred) << c.in;
    EXPECT_EQ(p.info.error_code, c.code) << c.in;
    EXPECT_EQ(p.info.error_text, c.text) << c.in;
    EXPECT_EQ(p.info.error_position - c.in.data(), static_cast<ptrdiff_t>(c.offset)) << c.in;
    EXPECT_EQ(p.doc->RootElement(), nullptr) << c.in;
  }
  Parsed forced = Parse("<a><b></c></b></a>", true);
  ASSERT_NE(forced.end, nullptr);
  EXPECT_FALSE(forced.info.error_occurred);
  EXPECT_EQ(forced.doc->ToXml(), "<a><b/></a>");
}

TEST(ElementTreeTest, TextWithoutAnElementGivesNullWithoutError) {
  for (std::string_view in : {"", "plain text", "</x>", "<!--only a comment-->"}) {
    Parsed p = Parse(in);
    EXPECT_EQ(p.end, nullptr) << in;
    EXPECT_FALSE(p.info.error_occurred) << in;
    EXPECT_EQ(p.doc->RootElement(), nullptr) << in;
  }
}

TEST(ElementTreeTest, NestingDepthIsBounded) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text;
  };
  EXPECT_NE(Parse(nested(CXmlDocument::kMaxDepth)).end, nullptr);
  for (int depth : {CXmlDocument::kMaxDepth + 1, 100000}) {
    Parsed p = Parse(nested(depth));
    EXPECT_EQ(p.end, nullptr);
    EXPECT_EQ(p.info.error_code, 5);
    EXPECT_EQ(p.info.error_text, "Element nesting is too deep.");
  }
}

TEST(ElementTreeTest, NeverReadsPastTheEndOfTheText) {
  // The bytes after the view would complete the element if they were read.
  const std::string buffer = "<a b=\"1\"/>";
  for (size_t n = 0; n < buffer.size(); ++n) {
    Parsed p = Parse(std::string_view(buffer.data(), n));
    EXPECT_EQ(p.end, nullptr) << n;
  }
  const std::string with_nul("<a>x\0y</a>", 10);
  Parsed p = Parse(with_nul);
  ASSERT_NE(p.end, nullptr);
  EXPECT_EQ(p.doc->RootElement()->value, std::string("x\0y", 3));
}

TEST(ElementTreeTest, HostileTextsStayFast) {
  std::mt19937 random(7);
  std::string noise(1 << 20, '\0');
  const std::string_view alphabet = "<>/=\"' ?!-[]\\&abc\n";
  for (char& c : noise) c = alphabet[random() % alphabet.size()];
  std::string raw(1 << 20, '\0');
  for (char& c : raw) c = static_cast<char>(random());
  std::string unterminated = "<r>";
  for (int i = 0; i < 30000; ++i) unterminated += "<!--x/><![CDATA[y/><?z/>";
  const auto start = std::chrono::steady_clock::now();
  for (const std::string* text : {&noise, &raw, &unterminated}) {
    Parsed p = Parse(*text);
    (void)p.doc->ToXml();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(10) * testing::kTimeLimitFactor);
}

TEST(ElementTreeTest, LargePhotoListParsesAndWrites) {
  std::string text = "<album>";
  for (int i = 1; i <= 20000; ++i) {
    const std::string n = std::to_string(i);
    text +=
        "<photo><id>" + n + "</id><name/><file>" + n + ".jpg</file><w>180</w><h>135</h></photo>";
  }
  text += "</album>";
  const auto start = std::chrono::steady_clock::now();
  Parsed p = Parse(text);
  ASSERT_NE(p.end, nullptr);
  EXPECT_EQ(p.doc->ToXml(), text);
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::seconds(2) * testing::kTimeLimitFactor);
  EXPECT_EQ(p.doc->RootElement()->FindChildren("photo").size(), 20000u);
}

TEST(ElementTreeTest, QueriesAndInnerText) {
  Parsed p = Parse("<a k=\"1\"><b x=\"2\">&amp;b</b><c><![CDATA[<raw>]]>c</c>a&lt;</a>");
  ASSERT_NE(p.end, nullptr);
  const CXmlNode* a = p.doc->RootElement();
  EXPECT_EQ(*a->GetChildAttr("b", "x"), "2");
  EXPECT_EQ(a->GetChildAttr("b", "y"), nullptr);
  EXPECT_EQ(a->GetChildValue("z"), nullptr);
  EXPECT_EQ(a->ChildAt(2), nullptr);
  EXPECT_EQ(a->GetChildText("c"), "<raw>c");
  EXPECT_EQ(a->GetInnerText(), "&amp;b<raw>ca&lt;");
  XmlWriteOptions plain;
  plain.encode_entities = false;
  EXPECT_EQ(a->GetInnerText(plain), "&amp;b<raw>ca<");
  EXPECT_EQ(a->GetChildText("missing"), "");
}

TEST(ElementTreeTest, ChangesKeepOwnershipAndLinksConsistent) {
  CXmlDocument doc;
  CXmlNode* album = doc.AppendChild("album");
  EXPECT_EQ(album->document, &doc);
  CXmlNode* name = album->AppendChild("name", "x");
  album->AppendAttr("id", "3");
  album->AppendAttr("id", "4");  // never replaces
  EXPECT_EQ(doc.ToXml(), "<album id=\"3\" id=\"4\" ><name>x</name></album>");
  EXPECT_TRUE(album->RemoveAttr(album->FindAttr("id")));
  EXPECT_FALSE(album->RemoveAttr(nullptr));

  std::unique_ptr<CXmlNode> detached = album->DetachChild(name);
  ASSERT_EQ(detached.get(), name);
  EXPECT_EQ(detached->parent, nullptr);
  EXPECT_EQ(album->DetachChild(name), nullptr);
  CXmlDocument other;
  CXmlNode* adopted = other.AdoptChild(std::move(detached));
  EXPECT_EQ(adopted->parent, &other);
  EXPECT_EQ(adopted->document, &other);

  // Copying from one's own descendant copies before replacing.
  CXmlNode* inner = album->AppendChild("inner");
  inner->AppendChild("leaf", "v")->AppendAttr("a", "b");
  album->CopyFrom(*inner, true);
  EXPECT_EQ(album->ToXml(), "<inner><leaf a=\"b\" >v</leaf></inner>");
  EXPECT_EQ(album->ChildAt(0)->parent, album);
  album->CopyFrom(*album->ChildAt(0), false);
  EXPECT_EQ(album->ToXml(), "<leaf a=\"b\" >v</leaf>");
  album->Clear();
  EXPECT_EQ(album->ToXml(), "<leaf>v</leaf>");
}

TEST(ElementTreeTest, DeepTreeBuiltByCodeWritesAndDestroys) {
  auto doc = std::make_unique<CXmlDocument>();
  CXmlNode* node = doc.get();
  for (int i = 0; i < 100000; ++i) node = node->AppendChild("d");
  // Each node writes "<d>" and "</d>" except the innermost, "<d/>".
  EXPECT_EQ(doc->ToXml().size(), 100000u * 7 - 3);
  doc.reset();
}

}  // namespace
}  // namespace lumireel
