// Start-up and the main window through the real program: the first lines it
// writes, the scratch folder, and the window commands the movie sends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/support/headless_process.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string Request(const std::string& name) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments/></invoke>";
}

bool IsWindow(const Json& line) { return line.contains("window"); }

// The last window line among `lines`.
Json LastWindow(const std::vector<Json>& lines) {
  Json last;
  for (const Json& line : lines) {
    if (IsWindow(line)) last = line["window"];
  }
  return last;
}

Json Placement(int x, int y, int w, int h) { return Json{{"x", x}, {"y", y}, {"w", w}, {"h", h}}; }

Json PlacementOf(const Json& window) {
  return Placement(window["x"], window["y"], window["w"], window["h"]);
}

TEST(StartupE2eTest, FirstLinesEmptyTmpAndTellTheMovieItsRoot) {
  testing::TempFolder folder;
  const fs::path workspace = fs::path(folder.path()) / "Tom & Jerry <2024>";
  fs::create_directories(workspace / "tmp/nested/deeper");
  std::ofstream(workspace / "tmp/nested/deeper/a.txt") << "a";
  std::ofstream(workspace / "tmp/b.txt") << "b";

  testing::HeadlessProcessOptions options = testing::DefaultHeadlessOptions();
  options.workspace = workspace;
  testing::HeadlessProcess app(options);
  auto lines = app.Sync();
  ASSERT_TRUE(lines) << app.Transcript();

  const std::string root = fs::canonical(workspace).string();
  const std::string encoded_root =
      root.substr(0, root.find('&')) + "&amp; Jerry &lt;2024&gt;";
  ASSERT_FALSE(lines->empty());
  EXPECT_EQ((*lines)[0], Json({{"movie", root + "\\quillmarZEL.snt"}}));
  const Json window = LastWindow(*lines);
  EXPECT_EQ(PlacementOf(window), Placement(0, 30, 1280, 964));
  EXPECT_EQ(window["control"], Placement(0, 0, 1280, 964));
  EXPECT_EQ(window["title"], "Quillmar Lumireel");
  EXPECT_EQ(window["state"], "normal");
  EXPECT_EQ(lines->back(),
            Json({{"call", "<invoke name=\"setGlobPath\" returntype=\"xml\"><arguments><string>" +
                               encoded_root + "</string></arguments></invoke>"}}));

  EXPECT_TRUE(fs::is_directory(workspace / "tmp"));
  EXPECT_TRUE(fs::is_empty(workspace / "tmp"));
}

TEST(StartupE2eTest, MissingTmpStaysMissingAndScreenSizeIsAnOption) {
  testing::HeadlessProcessOptions options = testing::DefaultHeadlessOptions();
  options.extra_args = {"--screen", "1024x768"};
  testing::HeadlessProcess app(options);
  auto lines = app.Sync();
  ASSERT_TRUE(lines) << app.Transcript();
  EXPECT_EQ(PlacementOf(LastWindow(*lines)), Placement(0, 30, 1024, 708));
  EXPECT_FALSE(fs::exists(app.workspace() / "tmp"));
}

class WindowE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app_.Sync()) << app_.Transcript(); }

  // Sends a request and returns the window as the last window line shows it
  // once everything settled.
  Json After(const std::string& request) {
    app_.Invoke(Request(request));
    auto lines = app_.Sync();
    EXPECT_TRUE(lines) << app_.Transcript();
    return lines ? LastWindow(*lines) : Json();
  }

  // Reads lines until the window shows `placement`.
  bool WindowReaches(const Json& placement) {
    return app_
        .WaitFor([&](const Json& line) {
          return IsWindow(line) && PlacementOf(line["window"]) == placement;
        })
        .has_value();
  }

  testing::HeadlessProcess app_;
};

// The desktop host lives in a program of its own: a headless start maps none
// of its libraries, and `lumireel` asked for the window without that program
// beside it says so and how to go on, instead of failing silently.
TEST(StartupE2eTest, HeadlessMapsNoDesktopLibraryAndAMissingWindowIsExplained) {
  testing::HeadlessProcess app;
  ASSERT_TRUE(app.Sync()) << app.Transcript();
  std::ifstream maps("/proc/" + std::to_string(app.pid()) + "/maps");
  const std::string mapped(std::istreambuf_iterator<char>(maps), {});
  EXPECT_NE(mapped.find("libvips"), std::string::npos) << "not the program's maps";
  for (const char* library : {"libgtk", "libgdk-3", "libwebkit", "libjavascriptcore"}) {
    EXPECT_EQ(mapped.find(library), std::string::npos) << library << " is mapped";
  }

  testing::TempFolder folder;
  const fs::path alone = fs::path(folder.path()) / "lumireel";
  fs::copy_file(testing::DefaultHeadlessOptions().program, alone);
  fs::permissions(alone, fs::perms::owner_exec, fs::perm_options::add);
  const fs::path errors = fs::path(folder.path()) / "errors.txt";
  const std::string command = "cd '" + folder.path() + "' && DISPLAY= WAYLAND_DISPLAY= '" +
                              alone.string() + "' --pace 0 </dev/null >/dev/null 2>'" +
                              errors.string() + "'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  std::ifstream error_file(errors);
  const std::string said(std::istreambuf_iterator<char>(error_file), {});
  EXPECT_NE(said.find("desktop"), std::string::npos) << said;
  EXPECT_NE(said.find("lumireel --headless"), std::string::npos) << said;
}

TEST_F(WindowE2eTest, MaximiseThenRestoreBringsThePlacementBack) {
  Json maximised = After("FullSkreenWindow");
  EXPECT_EQ(maximised["state"], "maximized");
  EXPECT_EQ(PlacementOf(maximised), Placement(0, 0, 1280, 1024));
  EXPECT_EQ(maximised["control"], Placement(0, 0, 1280, 1024));
  Json restored = After("LastSizeWindow");
  EXPECT_EQ(restored["state"], "normal");
  EXPECT_EQ(PlacementOf(restored), Placement(0, 30, 1280, 964));
  EXPECT_EQ(restored["control"], Placement(0, 0, 1280, 964));
  EXPECT_EQ(After("HideWindow")["state"], "minimized");
}

TEST_F(WindowE2eTest, DragFollowsTheCursorUntilStopped) {
  app_.Send({{"cursor", {100, 100}}});
  app_.Invoke(Request("startDragWindow"));
  // Cursor lines take effect at once; the drag measures from where the
  // pointer was when the request was handled.
  ASSERT_TRUE(app_.Sync());
  app_.Send({{"cursor", {160, 90}}});
  EXPECT_TRUE(WindowReaches(Placement(60, 20, 1280, 964))) << app_.Transcript();
  app_.Send({{"cursor", {90, 140}}});
  EXPECT_TRUE(WindowReaches(Placement(-10, 70, 1280, 964))) << app_.Transcript();
  app_.Invoke(Request("stopDragWindow"));
  ASSERT_TRUE(app_.Sync());
  app_.Send({{"cursor", {500, 500}}});
  auto lines = app_.Sync();
  ASSERT_TRUE(lines);
  EXPECT_TRUE(LastWindow(*lines).is_null()) << "the window moved after the drag stopped";
}

TEST_F(WindowE2eTest, ResizeAppliesOnlySizesFromTheMinimumUp) {
  app_.Send({{"cursor", {1280, 994}}});
  app_.Invoke(Request("startResizeWindow"));
  ASSERT_TRUE(app_.Sync());
  app_.Send({{"cursor", {900, 830}}});
  EXPECT_TRUE(WindowReaches(Placement(0, 30, 900, 800))) << app_.Transcript();
  app_.Send({{"cursor", {790, 830}}});  // 790 wide: not applied
  app_.Send({{"cursor", {800, 700}}});  // 800 x 670: applied
  auto lines = app_.WaitFor([](const Json& line) {
    return IsWindow(line) && line["window"]["control"] == Placement(0, 0, 800, 670);
  });
  ASSERT_TRUE(lines) << app_.Transcript();
  for (const Json& line : *lines) {
    if (IsWindow(line)) {
      EXPECT_NE(line["window"]["w"], 790);
    }
  }
  EXPECT_EQ(PlacementOf(lines->back()["window"]), Placement(0, 30, 800, 670));
  app_.Invoke(Request("stopResizeWindow"));
  ASSERT_TRUE(app_.Sync());
}

TEST_F(WindowE2eTest, ReturnReachesTheMovieAndTheProgramGoesOn) {
  app_.Send({{"key", "Return"}});
  auto lines = app_.Sync();
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 1u) << app_.Transcript();
  EXPECT_EQ((*lines)[0], Json({{"control_key", 13}}));
}

TEST_F(WindowE2eTest, EscapeEndsTheProgram) {
  app_.Send({{"key", "Escape"}});
  EXPECT_TRUE(app_.WaitFor([](const Json& line) { return line == Json({{"exit", 0}}); }));
  EXPECT_EQ(app_.WaitExit(), 0);
}

TEST_F(WindowE2eTest, CloseWindowEndsTheProgramWithStatusZero) {
  app_.Invoke(Request("CloseWindow"));
  EXPECT_TRUE(app_.WaitFor([](const Json& line) { return line == Json({{"exit", 0}}); }));
  EXPECT_EQ(app_.WaitExit(), 0);
}

TEST(StartupE2eTest, SystemCloseAndEndOfInputEndTheProgram) {
  testing::HeadlessProcess app;
  app.Send({{"close", true}});
  EXPECT_EQ(app.WaitExit(), 0) << app.Transcript();
}

}  // namespace
}  // namespace lumireel
