#include "bridge/invoke_request.h"

#include <gtest/gtest.h>

#include <random>

#include "support/fake_platform.h"

namespace lumireel {
namespace {

TEST(InvokeRequest, BothViewsOfOneRequest) {
  ReadRequestResult r = ReadInvokeRequest(
      R"(<invoke name="MakeDir" returntype="xml"><arguments><number>5</number><string>a &amp; b</string><string/></arguments></invoke>)");
  ASSERT_EQ(r.error, RequestError::kNone);
  const InvokeRequest& req = *r.request;
  EXPECT_EQ(req.name(), "MakeDir");
  ASSERT_STREQ(req.StrictName(), "MakeDir");

  // Positional: every child element, whatever its tag.
  ASSERT_EQ(req.PositionalCount(), 3u);
  EXPECT_EQ(req.Value(0), "5");
  EXPECT_EQ(req.Value(1), "a & b");
  EXPECT_EQ(req.InnerText(1), "a &amp; b");
  EXPECT_EQ(req.Value(7), "");

  // String-only: only `string` children; one without text gives null.
  ASSERT_EQ(req.StringCount(), 2u);
  EXPECT_STREQ(req.StringArg(0), "a & b");
  EXPECT_EQ(req.StringArg(1), nullptr);
  EXPECT_EQ(req.StringArg(2), nullptr);
}

TEST(InvokeRequest, StrictViewIgnoresCaseOfNamesButTreeDoesNot) {
  ReadRequestResult r = ReadInvokeRequest(
      R"(<INVOKE NAME="ReadFile" name="ReadFile"><ARGUMENTS><STRING>/x</STRING></ARGUMENTS><arguments/></INVOKE>)");
  ASSERT_EQ(r.error, RequestError::kNone);
  EXPECT_STREQ(r.request->StrictName(), "ReadFile");
  ASSERT_EQ(r.request->StringCount(), 1u);
  EXPECT_STREQ(r.request->StringArg(0), "/x");
  EXPECT_EQ(r.request->PositionalCount(), 0u);  // the exact `arguments` is the empty one
}

TEST(InvokeRequest, RootWithAnotherNameHasNoStringArguments) {
  ReadRequestResult r = ReadInvokeRequest(
      R"(<call name="MakeDir"><arguments><string>/tmp/x</string></arguments></call>)");
  ASSERT_EQ(r.error, RequestError::kNone);
  EXPECT_EQ(r.request->name(), "MakeDir");
  EXPECT_EQ(r.request->PositionalCount(), 1u);
  EXPECT_EQ(r.request->StringCount(), 0u);
  EXPECT_EQ(r.request->StringArg(0), nullptr);
}

TEST(InvokeRequest, MalformedRequestsAndTheirBoxes) {
  struct Case {
    const char* text;
    RequestError error;
    const char* caption;
    const char* message;
  };
  const Case cases[] = {
      {"<invoke", RequestError::kLoading, "XML Loading Error", "Can't recognize ActiveX request"},
      {"no markup at all", RequestError::kLoading, "XML Loading Error",
       "Can't recognize ActiveX request"},
      {R"(<invoke name="x"><other/></invoke>)", RequestError::kArguments, "XML Arguments Error",
       "Can't get arguments list from ActiveX request"},
      {R"(<invoke><arguments/></invoke>)", RequestError::kProcedureName,
       "XML Procedure Name Error", "Can't get procedure name from ActiveX request"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ReadRequestResult r = ReadInvokeRequest(c.text);
    EXPECT_EQ(r.error, c.error);
    EXPECT_FALSE(r.request.has_value());
    testing::FakeDialogs dialogs;
    ShowRequestError(dialogs, r.error);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].caption, c.caption);
    EXPECT_EQ(dialogs.boxes()[0].text, c.message);
    EXPECT_EQ(dialogs.boxes()[0].icon, platform::MessageIcon::kError);
    EXPECT_EQ(dialogs.boxes()[0].buttons, platform::MessageButtons::kOk);
  }
}

TEST(InvokeRequest, EmptyArgumentsAndEmptyNamePass) {
  ReadRequestResult r = ReadInvokeRequest(R"(<invoke name="" returntype="xml"><arguments/></invoke>)");
  ASSERT_EQ(r.error, RequestError::kNone);
  EXPECT_EQ(r.request->name(), "");
  EXPECT_EQ(r.request->PositionalCount(), 0u);
}

TEST(InvokeRequest, HostileTextsNeverCrash) {
  std::mt19937 random(7);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  const std::string texts[] = {
      noise,
      deep,
      R"(<invoke name="x><arguments/></invoke>)",
      "<invoke name=\"x\"><arguments><!-- never closed",
      "<invoke name=\"x\"><arguments><![CDATA[ never closed",
      std::string("<invoke name=\"MakeDir\">\0<arguments/></invoke>", 42),
      "<invoke name=\"x\"><arguments/></invoke><a b",
  };
  for (const std::string& text : texts) {
    ReadRequestResult r = ReadInvokeRequest(text);
    if (r.request) (void)r.request->StringArg(0);
  }
}

TEST(InvokeRequest, ReadDecimalFollowsTheCLibrary) {
  struct Case {
    const char* text;
    long value;
  };
  const Case cases[] = {{"1", 1},     {"  1", 1},   {"+1", 1},    {"1abc", 1},  {"-7", -7},
                        {"abc", 0},   {"", 0},      {" - 1", 0},  {"01", 1},    {"1.9", 1},
                        {"99999999999999999999999", LONG_MAX}};
  for (const Case& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.value) << c.text;
  EXPECT_EQ(ReadDecimal(static_cast<const char*>(nullptr)), 0);
}

}  // namespace
}  // namespace lumireel
