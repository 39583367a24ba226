#include "app/main_window.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using platform::Rect;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : pacing_(0), dialog_(window_, movie_, dialogs_, pacing_) {}

  // Waits until `condition` holds, for at most two seconds.
  template <typename Condition>
  bool Eventually(Condition condition) {
    for (int i = 0; i < 200; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
  }

  testing::TempFolder root_;
  testing::FakeWindow window_;
  testing::FakeMovieControl movie_;
  testing::FakeDialogs dialogs_;
  Pacing pacing_;
  CVellumcast2Dlg dialog_;
};

TEST_F(MainWindowTest, StartUpPlacesTheWindowAndTellsTheMovieItsRoot) {
  const std::string root = root_.path() + "/Tom & Jerry <1>";
  fs::create_directories(root + "/tmp/nested/deeper");
  std::ofstream(root + "/tmp/nested/deeper/file.txt") << "x";
  std::ofstream(root + "/tmp/top.txt") << "y";

  dialog_.OnInitDialog(root);

  EXPECT_EQ(dialog_.albumsPath(), root + "\\MyAlbums");
  EXPECT_TRUE(fs::is_directory(root + "/tmp"));
  EXPECT_TRUE(fs::is_empty(root + "/tmp"));
  EXPECT_EQ(movie_.movie(), root + "\\quillmarZEL.snt");
  EXPECT_EQ(window_.OuterRect(), (Rect{0, 30, 1280, 964}));
  EXPECT_EQ(window_.control(), (Rect{0, 0, 1280, 964}));
  EXPECT_EQ(window_.title(), "Quillmar Lumireel");
  EXPECT_EQ(window_.large_icon(), 138);
  EXPECT_EQ(window_.small_icon(), 137);
  EXPECT_EQ(movie_.local_security_disabled(), 1);
  ASSERT_EQ(movie_.calls().size(), 1u);
  EXPECT_EQ(movie_.calls()[0],
            "<invoke name=\"setGlobPath\" returntype=\"xml\"><arguments><string>" +
                EncodeMessageText(root) + "</string></arguments></invoke>");
}

TEST_F(MainWindowTest, MissingTmpIsNotCreated) {
  dialog_.OnInitDialog(root_.path());
  EXPECT_FALSE(fs::exists(root_.path() + "/tmp"));
}

TEST_F(MainWindowTest, MaximiseThenRestoreBringsThePlacementBack) {
  dialog_.OnInitDialog(root_.path());
  dialog_.FullSkreenWindow();
  EXPECT_EQ(window_.control(), (Rect{0, 0, 1280, 1024}));
  dialog_.LastSizeWindow();
  EXPECT_EQ(window_.OuterRect(), (Rect{0, 30, 1280, 964}));
  EXPECT_EQ(window_.control(), (Rect{0, 0, 1280, 964}));
  dialog_.HideWindow();
  EXPECT_EQ(window_.State(), platform::ShowState::kMinimized);
}

TEST_F(MainWindowTest, DragFollowsTheCursorUntilStopped) {
  dialog_.OnInitDialog(root_.path());
  window_.SetCursor({100, 100});
  dialog_.StartDragWindow();
  window_.SetCursor({150, 80});
  EXPECT_TRUE(Eventually([&] { return window_.OuterRect() == Rect{50, 10, 1280, 964}; }));
  dialog_.StopDragWindow();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  window_.SetCursor({300, 300});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(window_.OuterRect(), (Rect{50, 10, 1280, 964}));
}

TEST_F(MainWindowTest, ResizeKeepsTheTopLeftAndTheMinimumSize) {
  dialog_.OnInitDialog(root_.path());
  dialog_.StartResizeWindow();
  window_.SetCursor({900, 830});
  EXPECT_TRUE(Eventually([&] { return window_.OuterRect() == Rect{0, 30, 900, 800}; }));
  EXPECT_EQ(window_.control(), (Rect{0, 0, 900, 800}));
  window_.SetCursor({790, 830});  // 790 wide: below the minimum, not applied
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(window_.OuterRect(), (Rect{0, 30, 900, 800}));
  window_.SetCursor({800, 700});  // exactly 800 x 670
  EXPECT_TRUE(Eventually([&] { return window_.OuterRect() == Rect{0, 30, 800, 670}; }));
  // stopDragWindow leaves the resize running; stopResizeWindow ends it.
  dialog_.StopDragWindow();
  EXPECT_TRUE(dialog_.resize_active());
  dialog_.StopResizeWindow();
  EXPECT_FALSE(dialog_.resize_active());
}

// A start command while the earlier tracker is still in its loop: only the
// new tracker moves the window (the old one would resize from where the
// drag began).
TEST_F(MainWindowTest, AStartCommandEndsTheEarlierTracker) {
  dialog_.OnInitDialog(root_.path());
  window_.SetCursor({100, 100});
  dialog_.StartDragWindow();
  window_.SetCursor({150, 80});
  ASSERT_TRUE(Eventually([&] { return window_.OuterRect() == Rect{50, 10, 1280, 964}; }));
  dialog_.StartResizeWindow();  // no stopDragWindow in between
  window_.SetCursor({1000, 900});
  EXPECT_TRUE(Eventually([&] { return window_.OuterRect() == Rect{50, 10, 950, 890}; }));
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    EXPECT_EQ(window_.OuterRect(), (Rect{50, 10, 950, 890}));
  }
  dialog_.StopResizeWindow();
}

TEST_F(MainWindowTest, EnterGoesToTheMovieEscapeAndCloseEndTheProgram) {
  dialog_.OnInitDialog(root_.path());
  window_.PressKey(platform::WindowKey::kReturn);
  EXPECT_EQ(window_.keys(), std::vector<int>{13});
  EXPECT_FALSE(window_.quit_code().has_value());
  window_.PressKey(platform::WindowKey::kEscape);
  EXPECT_EQ(window_.quit_code(), 0);
}

TEST_F(MainWindowTest, RequestsReachTheDispatcher) {
  dialog_.OnInitDialog(root_.path());
  movie_.SendRequest(R"(<invoke name="CloseWindow" returntype="xml"><arguments/></invoke>)");
  EXPECT_EQ(window_.quit_code(), 0);
  movie_.SendFSCommand("quit", "");  // has no effect
}

// Only folders and pages reach the desktop, as the paths they resolve to; a
// program, a script dressed as a page, a pipe or a missing path never do.
TEST_F(MainWindowTest, OnlyFoldersAndPagesAreOpenedWithTheDesktop) {
  const std::string base = root_.path() + "/Tom & Jerry";
  fs::create_directories(base + "/web");
  std::ofstream(base + "/web/index.html") << "<p>gallery</p>";
  std::ofstream(base + "/web/INDEX.HTM") << "<p>gallery</p>";
  std::ofstream(base + "/run.sh") << "#!/bin/sh\n";
  fs::permissions(base + "/run.sh", fs::perms::owner_all);
  fs::create_symlink(base + "/run.sh", base + "/looks.html");
  fs::create_symlink(base + "/web", base + "/link-to-web");
  std::ofstream(base + "/.html") << "";
  ASSERT_EQ(mkfifo((base + "/pipe.html").c_str(), 0600), 0);
  const std::string real = fs::canonical(base).string();

  const struct {
    std::string path;
    std::string opened;  // empty: refused
  } cases[] = {
      {base + "/web", real + "/web"},
      {base + "\\web\\index.html", real + "/web/index.html"},
      {base + "/web/INDEX.HTM", real + "/web/INDEX.HTM"},
      {base + "/link-to-web", real + "/web"},
      {base + "/run.sh", ""},
      {base + "/looks.html", ""},
      {base + "/.html", ""},
      {base + "/pipe.html", ""},
      {base + "/missing", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    const size_t before = window_.opened().size();
    dialog_.OpenLocation(c.path);
    const std::vector<std::string> opened = window_.opened();
    if (c.opened.empty()) {
      EXPECT_EQ(opened.size(), before) << c.path;
    } else {
      ASSERT_EQ(opened.size(), before + 1) << c.path;
      EXPECT_EQ(opened.back(), c.opened) << c.path;
    }
  }
}

}  // namespace
}  // namespace lumireel
