// The headless protocol as the real program speaks it, whatever the
// interface asks of it: every line is answered or reported, and the end of
// the input ends the program with an exit line.
#include <gtest/gtest.h>

#include <string>

#include "e2e/support/headless_process.h"

namespace lumireel {
namespace {

using Json = nlohmann::json;

TEST(HeadlessHostE2eTest, BadAndHugeLinesLeaveTheProgramAnswering) {
  testing::HeadlessProcess app;
  ASSERT_TRUE(app.running());
  ASSERT_TRUE(app.Sync()) << app.Transcript();
  app.SendRaw("{\"invoke\": ");
  app.SendRaw(R"({"answer": {"button": "maybe"}})");
  app.SendRaw(std::string(200'000, '[') + std::string(200'000, ']'));
  app.Send({{"cursor", {10, 20}}});
  // Generous: under a sanitizer an 11 MB line takes many seconds.
  constexpr std::chrono::seconds kSlow(120);
  const std::string huge = "<invoke name=\"noSuchRequest\" returntype=\"xml\"><arguments><string>" +
                           std::string(11'000'000, 'x') + "</string></arguments></invoke>";
  app.Send({{"invoke", huge}}, kSlow);
  auto lines = app.Sync(kSlow);
  ASSERT_TRUE(lines) << app.Transcript();
  int errors = 0;
  for (const Json& line : *lines) errors += line.contains("error") ? 1 : 0;
  EXPECT_EQ(errors, 3) << app.Transcript();
}

TEST(HeadlessHostE2eTest, EndOfInputEndsTheProgramWithAnExitLineLast) {
  testing::HeadlessProcess app;
  ASSERT_TRUE(app.Sync()) << app.Transcript();
  app.CloseInput();
  auto lines = app.WaitFor([](const Json& line) { return line.contains("exit"); });
  ASSERT_TRUE(lines) << app.Transcript();
  EXPECT_EQ(app.NextLine(std::chrono::seconds(5)), std::nullopt) << "a line after the exit line";
  EXPECT_EQ(app.WaitExit(), lines->back()["exit"].get<int>());
}

}  // namespace
}  // namespace lumireel
