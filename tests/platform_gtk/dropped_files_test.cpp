#include "platform/gtk/dropped_files.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>

namespace lumireel::platform::gtk {
namespace {

using Files = std::vector<std::string>;
using std::chrono::seconds;

TEST(DroppedFilesTest, KeepsOnlyFilesOfThisMachine) {
  const std::string here = std::string("file://") + g_get_host_name() + "/srv/c.png";
  EXPECT_EQ(LocalFilesOf({"file:///home/me/a%20b.jpg", "http://example.org/x.jpg",
                          "file://localhost/tmp/b.JPG", "file://elsewhere/tmp/far.jpg", here,
                          "not a uri", "file:///home/me/%C3%A9t%C3%A9.jpg", ""}),
            (Files{"/home/me/a b.jpg", "/tmp/b.JPG", "/srv/c.png", "/home/me/été.jpg"}));
  EXPECT_TRUE(LocalFilesOf({}).empty());
}

class DroppedFilesFlow : public ::testing::Test {
 protected:
  DroppedFiles dropped_;
  const DroppedFiles::Clock::time_point t0_ = DroppedFiles::Clock::now();
  const int drag_a_ = 0;
  const int drag_b_ = 0;
};

TEST_F(DroppedFilesFlow, ADropAnswersOnceAndOnlyWithinItsLifetime) {
  dropped_.Offered(&drag_a_, {"/p/1.jpg", "/p/2.jpg"});
  // The data arrives while the drag moves: nothing is answered before the drop.
  EXPECT_FALSE(dropped_.Waiting(t0_));
  EXPECT_FALSE(dropped_.Take(t0_));
  // GTK reports the leave before the drop; the host tells it only afterwards.
  dropped_.Dropped(&drag_a_, t0_);
  dropped_.Left(&drag_a_);
  EXPECT_TRUE(dropped_.Waiting(t0_ + seconds(29)));
  EXPECT_EQ(dropped_.Take(t0_ + seconds(29)), (Files{"/p/1.jpg", "/p/2.jpg"}));
  EXPECT_FALSE(dropped_.Waiting(t0_ + seconds(29)));
  EXPECT_FALSE(dropped_.Take(t0_ + seconds(29)));

  // Too old: not waiting, and gone once asked for.
  dropped_.Offered(&drag_b_, {"/p/3.jpg"});
  dropped_.Dropped(&drag_b_, t0_);
  EXPECT_FALSE(dropped_.Waiting(t0_ + DroppedFiles::kLifetime + seconds(1)));
  EXPECT_FALSE(dropped_.Take(t0_ + DroppedFiles::kLifetime + seconds(1)));
  EXPECT_FALSE(dropped_.Take(t0_));
}

TEST_F(DroppedFilesFlow, ADragThatLeavesWithoutDroppingLeavesNothing) {
  dropped_.Offered(&drag_a_, {"/p/1.jpg"});
  dropped_.Left(&drag_a_);
  // The same drag dropped after all (back over the window) brings its data anew.
  dropped_.Dropped(&drag_a_, t0_);
  EXPECT_FALSE(dropped_.Waiting(t0_));
  dropped_.Offered(&drag_a_, {"/p/1b.jpg"});
  EXPECT_EQ(dropped_.Take(t0_), (Files{"/p/1b.jpg"}));

  // The files of one drag never answer for the drop of another.
  dropped_.Offered(&drag_a_, {"/p/2.jpg"});
  dropped_.Dropped(&drag_b_, t0_);
  EXPECT_FALSE(dropped_.Waiting(t0_));
  dropped_.Offered(&drag_b_, {"/p/3.jpg"});
  EXPECT_EQ(dropped_.Take(t0_), (Files{"/p/3.jpg"}));
  // A leave of a drag no longer followed forgets nothing of the one that is.
  dropped_.Offered(&drag_b_, {"/p/4.jpg"});
  dropped_.Left(&drag_a_);
  dropped_.Dropped(&drag_b_, t0_);
  EXPECT_EQ(dropped_.Take(t0_), (Files{"/p/4.jpg"}));
}

TEST_F(DroppedFilesFlow, ANewDropReplacesTheHeldOneAndAnEmptyDropClearsIt) {
  dropped_.Offered(&drag_a_, {"/p/1.jpg"});
  dropped_.Dropped(&drag_a_, t0_);
  dropped_.Offered(&drag_b_, {"/p/2.jpg"});
  dropped_.Dropped(&drag_b_, t0_ + seconds(20));
  // The second drop's own time counts.
  EXPECT_EQ(dropped_.Take(t0_ + seconds(45)), (Files{"/p/2.jpg"}));

  dropped_.Offered(&drag_a_, {"/p/3.jpg"});
  dropped_.Dropped(&drag_a_, t0_);
  // Nothing local in the next drop (web addresses only): the dialog shows.
  dropped_.Offered(&drag_b_, {});
  dropped_.Dropped(&drag_b_, t0_);
  EXPECT_FALSE(dropped_.Waiting(t0_));
  EXPECT_FALSE(dropped_.Take(t0_));
}

TEST_F(DroppedFilesFlow, OneOfTwoWorkersAskingAtOnceGetsTheFiles) {
  dropped_.Offered(&drag_a_, {"/p/1.jpg"});
  dropped_.Dropped(&drag_a_, t0_);
  std::optional<Files> first;
  std::optional<Files> second;
  std::thread one([&] { first = dropped_.Take(t0_); });
  std::thread two([&] { second = dropped_.Take(t0_); });
  one.join();
  two.join();
  EXPECT_NE(first.has_value(), second.has_value());
  EXPECT_EQ(first ? *first : *second, (Files{"/p/1.jpg"}));
}

}  // namespace
}  // namespace lumireel::platform::gtk
