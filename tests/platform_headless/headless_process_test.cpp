// The host in a real process over pipes, driven by the end-to-end support:
// a small program on the host (driver/headless_driver.cpp) stands in for
// lumireel.
#include "e2e/support/headless_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

namespace lumireel::testing {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

HeadlessProcessOptions DriverOptions() {
  HeadlessProcessOptions options;
  options.program = LUMIREEL_HEADLESS_DRIVER;
  return options;
}

bool IsExit(const Json& line) { return line.contains("exit"); }

TEST(HeadlessProcessTest, ExitLineIsTheLastLineAndGivesTheStatus) {
  HeadlessProcess p(DriverOptions());
  ASSERT_TRUE(p.Invoke("echo:hello"));
  auto lines = p.Sync();
  ASSERT_TRUE(lines) << p.Transcript();
  EXPECT_EQ(*lines, (std::vector<Json>{{{"reply", "hello"}}, {{"call", "hello"}}}));
  ASSERT_TRUE(p.Invoke("quit:3"));
  auto until_exit = p.WaitFor(IsExit);
  ASSERT_TRUE(until_exit) << p.Transcript();
  EXPECT_EQ(until_exit->back(), Json({{"exit", 3}}));
  EXPECT_EQ(p.NextLine(5s), std::nullopt) << "a line after the exit line";
  EXPECT_EQ(p.WaitExit(), 3);
}

TEST(HeadlessProcessTest, EndOfInputClosesTheWindow) {
  HeadlessProcess p(DriverOptions());
  p.CloseInput();
  EXPECT_EQ(p.WaitExit(), 0);
  EXPECT_EQ(p.NextLine(), Json({{"exit", 0}})) << p.Transcript();
}

TEST(HeadlessProcessTest, ExitDoesNotWaitForOtherThreads) {
  HeadlessProcess p(DriverOptions());
  ASSERT_TRUE(p.Invoke("stuck"));
  ASSERT_TRUE(p.Invoke("exit:5"));
  EXPECT_EQ(p.WaitExit(10s), 5);
  auto lines = p.WaitFor(IsExit, 1s);
  ASSERT_TRUE(lines) << p.Transcript();
  EXPECT_EQ(lines->back(), Json({{"exit", 5}}));
}

TEST(HeadlessProcessTest, LongLinesAndBadLinesCrossThePipes) {
  HeadlessProcess p(DriverOptions());
  std::string big;
  while (big.size() < 12'000'000) big += "<\"ü\" & 'x'/>";
  // Generous: under a sanitizer a 12 MB line takes many seconds each way.
  constexpr auto kSlow = 120s;
  ASSERT_TRUE(p.Send({{"invoke", "echo:" + big}}, kSlow));
  ASSERT_TRUE(p.SendRaw("{\"invoke\": "));  // cut short
  ASSERT_TRUE(p.SendRaw("{\"invoke\": \"echo:tail\"}"));
  auto lines = p.Sync(kSlow);
  ASSERT_TRUE(lines) << p.Transcript();
  // The error is written as soon as its line is read, so it may come before
  // or within the answers to the long request.
  std::vector<Json> answers;
  int errors = 0;
  for (const Json& line : *lines) {
    if (line.contains("error")) {
      ++errors;
    } else {
      answers.push_back(line);
    }
  }
  EXPECT_EQ(errors, 1) << p.Transcript();
  ASSERT_EQ(answers.size(), 4u) << p.Transcript();
  EXPECT_TRUE(answers[0] == Json({{"reply", big}}));
  EXPECT_TRUE(answers[1] == Json({{"call", big}}));
  EXPECT_EQ(answers[3], Json({{"call", "tail"}}));
}

TEST(HeadlessProcessTest, RunsInItsWorkspaceAndRemovesIt) {
  std::filesystem::path workspace;
  {
    HeadlessProcess p(DriverOptions());
    workspace = p.workspace();
    ASSERT_TRUE(std::filesystem::is_directory(workspace));
    ASSERT_TRUE(p.Invoke("cwd"));
    auto lines = p.Sync();
    ASSERT_TRUE(lines && lines->size() == 1) << p.Transcript();
    EXPECT_TRUE(std::filesystem::equivalent((*lines)[0]["reply"].get<std::string>(), workspace));
  }
  EXPECT_FALSE(std::filesystem::exists(workspace));

  // A workspace given is used and kept.
  HeadlessProcessOptions options = DriverOptions();
  options.workspace = workspace;
  std::filesystem::create_directory(workspace);
  { HeadlessProcess p(options); }
  EXPECT_TRUE(std::filesystem::exists(workspace));
  std::filesystem::remove_all(workspace);
}

TEST(HeadlessProcessTest, KilledWhenTheTestLetsGo) {
  pid_t pid;
  {
    HeadlessProcess p(DriverOptions());
    pid = p.pid();
    ASSERT_TRUE(p.running());
  }
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

TEST(HeadlessProcessTest, AProgramThatCannotStartEndsWith127) {
  HeadlessProcessOptions options;
  options.program = "/nonexistent/lumireel";
  HeadlessProcess p(options);
  EXPECT_EQ(p.WaitExit(), 127);
  EXPECT_EQ(p.NextLine(1s), std::nullopt);
}

}  // namespace
}  // namespace lumireel::testing
