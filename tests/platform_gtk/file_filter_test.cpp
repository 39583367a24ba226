#include "platform/gtk/file_filter.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace lumireel::platform::gtk {
namespace {

TEST(FileFilterTest, ParsesTheProgramsFilterTexts) {
  const struct {
    const char* text;
    std::vector<std::pair<std::string, std::vector<std::string>>> filters;
  } cases[] = {
      {"Mp3 Files (*.mp3)|*.mp3|", {{"Mp3 Files (*.mp3)", {"*.[mM][pP]3"}}}},
      // The logo filter ends its pattern list with a stray semicolon.
      {"Graphic Formats (*.swf,*.jpg,*.jpeg,*.png)|*.swf; *.jpg; *.jpeg; *.png;|",
       {{"Graphic Formats (*.swf,*.jpg,*.jpeg,*.png)",
         {"*.[sS][wW][fF]", "*.[jJ][pP][gG]", "*.[jJ][pP][eE][gG]", "*.[pP][nN][gG]"}}}},
      // MoveMedia repeats its pattern as the description.
      {"*.flv|*.flv|", {{"*.flv", {"*.[fF][lL][vV]"}}}},
      {"A|*.a|B|*.b|", {{"A", {"*.[aA]"}}, {"B", {"*.[bB]"}}}},
      // Without the final bar, and with a description left over.
      {"A|*.a", {{"A", {"*.[aA]"}}}},
      {"A|*.a|B", {{"A", {"*.[aA]"}}}},
      // A filter without patterns is dropped; one without a name is named
      // by its patterns.
      {"Nothing| ; |A|*.a|", {{"A", {"*.[aA]"}}}},
      {"|*.a|", {{"*.a", {"*.[aA]"}}}},
      {"", {}},
      {"|", {}},
  };
  for (const auto& c : cases) {
    std::vector<DialogFilter> filters = ParseFileFilters(c.text);
    ASSERT_EQ(filters.size(), c.filters.size()) << c.text;
    for (std::size_t i = 0; i < filters.size(); ++i) {
      EXPECT_EQ(filters[i].name, c.filters[i].first) << c.text;
      EXPECT_EQ(filters[i].patterns, c.filters[i].second) << c.text;
    }
  }
}

// The globs are matched the way GTK's file chooser matches them (fnmatch
// on the display name).
bool Shows(std::string_view pattern, const char* name) {
  return fnmatch(DialogGlob(pattern).c_str(), name, 0) == 0;
}

TEST(FileFilterTest, GlobsShowWhatTheProgramsFiltersName) {
  EXPECT_TRUE(Shows("*.jpg", "holiday.jpg"));
  EXPECT_TRUE(Shows("*.jpg", "DSC_0001.JPG"));
  EXPECT_TRUE(Shows("*.jpg", "Mixed.JpG"));
  EXPECT_FALSE(Shows("*.jpg", "holiday.jpeg"));
  EXPECT_FALSE(Shows("*.jpg", "holiday.jpg.txt"));
  EXPECT_TRUE(Shows("*.*", "README"));
  EXPECT_TRUE(Shows("*.*", "a.b"));
  EXPECT_TRUE(Shows("photo?.png", "PHOTO1.PNG"));
  // A bracket in a name is an ordinary character.
  EXPECT_TRUE(Shows("[draft]*.png", "[draft] cover.png"));
  EXPECT_FALSE(Shows("[draft]*.png", "d cover.png"));
}

TEST(FileFilterTest, DesktopDialogsAddAllPicturesForPhotosAndAllFiles) {
  const auto names = [](const std::vector<DialogFilter>& filters) {
    std::vector<std::string> out;
    for (const DialogFilter& filter : filters) out.push_back(filter.name);
    return out;
  };
  const std::vector<DialogFilter> photos = WithDesktopFilters(
      ParseFileFilters("Graphic Formats (*.jpg,*.jpeg,*.gif,*.bmp,*.png)|*.bmp; *.jpg; *.jpeg; "
                       "*.png; *.gif|"),
      true);
  EXPECT_EQ(names(photos), (std::vector<std::string>{"Graphic Formats (*.jpg,*.jpeg,*.gif,*.bmp,*.png)",
                                                     "All pictures", "All files"}));
  const std::vector<std::string>& pictures = photos[1].patterns;
  for (const char* name : {"IMG_0001.HEIC", "a.heif", "b.webp", "c.avif", "scan.tiff", "d.TIF",
                           "e.jpg", "f.bmp"}) {
    EXPECT_TRUE(std::any_of(pictures.begin(), pictures.end(), [&](const std::string& glob) {
      return fnmatch(glob.c_str(), name, 0) == 0;
    })) << name;
  }
  EXPECT_EQ(photos[2].patterns, (std::vector<std::string>{"*"}));
  // Other dialogs get "All files" only, and not twice.
  EXPECT_EQ(names(WithDesktopFilters(ParseFileFilters("Mp3 Files (*.mp3)|*.mp3|"), false)),
            (std::vector<std::string>{"Mp3 Files (*.mp3)", "All files"}));
  EXPECT_EQ(names(WithDesktopFilters(ParseFileFilters("*.*|*.*|"), false)),
            (std::vector<std::string>{"*.*"}));
}

}  // namespace
}  // namespace lumireel::platform::gtk
