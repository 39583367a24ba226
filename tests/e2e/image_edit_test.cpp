// The photo editor's commands through the real program: SaveIMG,
// SavePreview, ApplyAdjustForFolder and SaveIMG_last go in as the movie
// sends them, on pictures made at test time; the written files are measured
// with libvips. Flat colours keep the JPEG error to a few levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"
#include "imaging/test_images.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Rgb = std::array<int, 3>;
using testing::Size2;
using testing::SizeOf;

constexpr int kTolerance = 4;
constexpr char kListHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::string Doc(const std::string& elements) { return "<adjust>" + elements + "</adjust>"; }
std::string Adj(const std::string& type, const std::string& value) {
  return "<a type=\"" + type + "\" value=\"" + value + "\"/>";
}

// A list entry as the program writes it.
std::string Photo(int id, int w = 1, int h = 1, const std::string& extra = "") {
  const std::string n = std::to_string(id);
  return "<photo><id>" + n + "</id><file>" + n + ".jpg</file><name/><w>" + std::to_string(w) +
         "</w><h>" + std::to_string(h) + "</h>" + extra + "</photo>";
}

class ImageEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ImageCodec::Initialise());
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(app_.Sync());
    root_ = app_.workspace().string();
    folder_ = root_ + "/MyAlbums/1/photoparts/1/";
    fs::create_directories(folder_ + "big");
    fs::create_directories(folder_ + "preview");
  }

  std::string Big(int id) const { return folder_ + "big/" + std::to_string(id) + ".jpg"; }
  std::string Preview(int id) const { return folder_ + "preview/" + std::to_string(id) + ".jpg"; }
  std::string List() const { return folder_ + "photos.xml"; }
  void WriteList(const std::string& body, const std::string& box = "180\" mheight=\"120") const {
    testing::WriteBytes(
        List(), kListHead + ("<album mwidth=\"" + box + "\" id=\"1\">") + body + "</album>");
  }

  void Send(const std::string& command, const std::vector<std::string>& args) {
    std::string xml = "<invoke name=\"" + command + "\" returntype=\"xml\"><arguments>";
    for (const std::string& arg : args) xml += "<string>" + EncodeMessageText(arg) + "</string>";
    app_.Invoke(xml + "</arguments></invoke>");
  }
  // SaveIMG on photo `id` of album 1, part 1, the folder named as the movie
  // names it (its last part empty).
  void SaveImg(int id, const std::string& doc) {
    Send("SaveIMG", {Big(id), "unused", doc, "1", "1", "", std::to_string(id)});
  }
  // The lines up to the end of every job.
  std::vector<Json> Lines() {
    const auto lines = app_.Sync(std::chrono::seconds(120));
    EXPECT_TRUE(lines) << app_.Transcript();
    return lines.value_or(std::vector<Json>{});
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const Json& line : Lines()) {
      if (line.contains("call")) calls.push_back(line["call"]);
    }
    return calls;
  }

  // Saves each picture as photo 1, 2, ... of one list, edits each with its
  // document through SaveIMG, and expects one reloadBigImg per photo.
  void EditEach(const std::vector<std::pair<vips::VImage, std::string>>& edits) {
    std::string list;
    for (std::size_t i = 0; i < edits.size(); ++i) {
      edits[i].first.pngsave(Big(static_cast<int>(i + 1)).c_str());  // a picture's own bytes
      list += Photo(static_cast<int>(i + 1));
    }
    WriteList(list);
    for (std::size_t i = 0; i < edits.size(); ++i) {
      SaveImg(static_cast<int>(i + 1), Doc(edits[i].second));
    }
    EXPECT_EQ(Calls(), std::vector<std::string>(edits.size(), ReloadBigImgMessage()));
  }

  testing::HeadlessProcess app_;
  std::string root_;
  std::string folder_;
};

TEST_F(ImageEditTest, ColoursThenGeometryChangeThePixelsOfTheImage) {
  const Size2 flat{32, 24};
  const auto plain = [](Rgb c) {
    return testing::Plain(32, 24, {1.0 * c[0], 1.0 * c[1], 1.0 * c[2]});
  };
  // Quadrants of 20x10: red, green above; blue, white below.
  const vips::VImage quadrants = testing::Plain(40, 20, {255, 255, 255})
                                     .insert(testing::Plain(20, 10, {255, 0, 0}), 0, 0)
                                     .insert(testing::Plain(20, 10, {0, 255, 0}), 20, 0)
                                     .insert(testing::Plain(20, 10, {0, 0, 255}), 0, 10);
  // Listed first, the crop still sees brightened pixels; outside it stays black.
  const std::string cut = R"(<a type="crop" x="-10" y="0" w="20" h="10"/>)";
  const std::string brighter = Adj("brightes", "20");
  const std::string there_and_back = Adj("brightes", "50") + Adj("brightes", "-50");
  const std::string mixed = Adj("hue", "45") + Adj("brightes", "10") + Adj("contrast", "-30") +
                            Adj("hue", "-45") + Adj("saturation", "150");
  // Turned clockwise, the bottom-left corner comes to the top left.
  const std::string turn_cut =
      R"(<a type="rotation" value="90"/><a type="crop" x="0" y="0" w="10" h="10"/>)";
  const struct {
    std::string elements;
    vips::VImage image;
    Size2 size;
    int x, y;
    Rgb colour;
  } cases[] = {
      {brighter, plain({100, 150, 230}), flat, 16, 12, {151, 201, 255}},
      {Adj("contrast", "255"), plain({64, 191, 128}), flat, 16, 12, {1, 255, 129}},
      {Adj("saturation", "0"), plain({200, 100, 50}), flat, 16, 12, {118, 118, 118}},
      {Adj("saturation", "100"), plain({200, 100, 50}), flat, 16, 12, {200, 100, 50}},
      {Adj("hue", "0"), plain({200, 100, 50}), flat, 16, 12, {200, 100, 50}},
      {Adj("hue", "180"), plain({200, 100, 50}), flat, 16, 12, {35, 135, 185}},
      {Adj("brightness", "20"), plain({200, 100, 50}), flat, 16, 12, {200, 100, 50}},
      // Each step is rounded and clamped before the next: white stays lost.
      {there_and_back, plain({200, 100, 50}), flat, 16, 12, {128, 101, 51}},
      {mixed, plain({200, 100, 50}), flat, 16, 12, {250, 118, 54}},
      {cut + brighter, quadrants, {20, 10}, 3, 5, {0, 0, 0}},
      {cut + brighter, quadrants, {20, 10}, 15, 5, {255, 51, 51}},
      {turn_cut, quadrants, {10, 10}, 5, 5, {0, 0, 255}},
      {Adj("rotation", "-90"), quadrants, {20, 40}, 5, 5, {0, 255, 0}},
      {R"(<a type="flip" xscale="-100" yscale="-100"/>)", quadrants, {40, 20}, 5, 5, {0, 255, 0}},
      {R"(<a type="flip" xscale="100" yscale="-100"/>)", quadrants, {40, 20}, 5, 5, {0, 0, 255}},
  };
  const int count = static_cast<int>(std::size(cases));
  std::vector<std::pair<vips::VImage, std::string>> edits;
  for (const auto& c : cases) edits.emplace_back(c.image, c.elements);
  EditEach(edits);
  for (int id = 1; id <= count; ++id) {
    const auto& c = cases[id - 1];
    EXPECT_EQ(SizeOf(Big(id)), c.size) << c.elements;
    EXPECT_TRUE(testing::Near(testing::PixelAt(Big(id), c.x, c.y), c.colour, kTolerance))
        << c.elements;
  }
}

TEST_F(ImageEditTest, PreviewModeScalesIntoMaxsizeAndRecordsTheSize) {
  WriteList(Photo(7));
  const std::string source = root_ + "/photo.jpg";
  testing::SaveJpeg(testing::Gradient(1600, 1200), source);
  const std::string before = testing::Bytes(source);
  Send("SavePreview", {source, root_ + "/shown.jpg", List(), "7",
                       Doc(R"(<a type="maxsize" width="180" height="180"/>)")});
  EXPECT_EQ(Calls(), std::vector<std::string>{ReloadPreviewMessage()});
  EXPECT_EQ(SizeOf(root_ + "/shown.jpg"), (Size2{180, 135}));
  EXPECT_EQ(testing::MeasuredQuality(root_ + "/shown.jpg"), 95);
  EXPECT_EQ(testing::Bytes(source), before);
  EXPECT_NE(testing::Bytes(List()).find("<w>180</w><h>135</h>"), std::string::npos);
}

TEST_F(ImageEditTest, FullModeRewritesImagePreviewAndListWithItsOwnWorkingCopy) {
  testing::SaveJpeg(testing::Gradient(1000, 500), Big(1));
  testing::SaveJpeg(testing::Gradient(500, 1000), Big(2));
  WriteList(Photo(1, 1, 1, "<extra>x</extra>") + "<!-- note --><photo><file>9.jpg</file></photo>" +
            Photo(2));
  ASSERT_FALSE(fs::exists(root_ + "/tmp"));
  SaveImg(1, Doc(""));
  SaveImg(2, Doc(""));
  EXPECT_EQ(Calls(), std::vector<std::string>(2, ReloadBigImgMessage()));
  EXPECT_EQ(SizeOf(Preview(1)), (Size2{180, 90}));
  EXPECT_EQ(SizeOf(Preview(2)), (Size2{60, 120}));
  EXPECT_EQ(SizeOf(Big(2)), (Size2{500, 1000}));
  EXPECT_EQ(testing::MeasuredQuality(Big(1)), 95);
  EXPECT_EQ(testing::MeasuredQuality(Preview(2)), 95);
  EXPECT_EQ(testing::Bytes(List()), std::string(kListHead) +
                                        "<album mheight=\"120\" mwidth=\"180\" id=\"1\" >" +
                                        Photo(1, 180, 90) + Photo(2, 60, 120) + "</album>");
  // The missing scratch folder was made; no working copy is left in it.
  EXPECT_TRUE(fs::is_directory(root_ + "/tmp"));
  EXPECT_TRUE(fs::is_empty(root_ + "/tmp"));
}

TEST_F(ImageEditTest, FolderModeEditsEveryPhotoAndReportsInListOrder) {
  const std::string escape = folder_ + "escape.jpg";
  for (const std::string& path : {Big(1), Big(2), Big(4), Big(5), Big(6), escape}) {
    testing::Plain(30, 20, {100, 100, 100}).pngsave(path.c_str());
  }
  const std::string untouched = testing::Bytes(Big(2));
  WriteList(Photo(1) + "<!-- note --><photo><file>2.jpg</file></photo>" + Photo(3) + Photo(4) +
            "<photo><id>5</id><file>../escape.jpg</file></photo>" + Photo(5) + Photo(6));
  Send("ApplyAdjustForFolder", {folder_, Doc(Adj("brightes", "20"))});
  std::vector<std::string> expected;
  for (int i : {0, 3, 4, 5, 6, 7, 8}) expected.push_back(ShowProgressMessage(8, i));
  expected.push_back(ReloadBigImgMessage());
  EXPECT_EQ(Calls(), expected);
  for (int id : {1, 4, 5, 6}) {
    EXPECT_TRUE(testing::Near(testing::PixelAt(Big(id), 9, 9), {151, 151, 151}, kTolerance)) << id;
    EXPECT_EQ(SizeOf(Preview(id)), (Size2{180, 120})) << id;
  }
  EXPECT_EQ(testing::Bytes(Big(2)), untouched);  // no id: not edited
  EXPECT_TRUE(testing::Near(testing::PixelAt(escape, 9, 9), {100, 100, 100}, 0));
  // The list holds every new preview's size; photo 3 has no picture.
  const std::string list = testing::Bytes(List());
  for (int id : {1, 4, 5, 6}) EXPECT_NE(list.find(Photo(id, 180, 120)), std::string::npos) << id;
  EXPECT_NE(list.find(Photo(3)), std::string::npos);
}

TEST_F(ImageEditTest, SaveImgLastRepeatsTheLastKindOfJobWithNewValues) {
  Send("SaveIMG_last", {"a", "b", "c"});  // nothing to repeat yet
  EXPECT_EQ(Calls(), std::vector<std::string>{});

  testing::SaveJpeg(testing::Gradient(400, 200), Big(1));
  testing::Plain(20, 20, {100, 100, 100}).pngsave(Big(2).c_str());
  WriteList(Photo(1) + Photo(2));
  const std::string box = R"(<a type="maxsize" width="40" height="40"/>)";
  // Sent at once: each repeat takes the command that arrived before it.
  Send("SavePreview", {Big(1), root_ + "/p1.jpg", List(), "1", Doc(box)});
  Send("SaveIMG_last", {Big(2), root_ + "/p2.jpg", Doc(box)});
  SaveImg(1, Doc(""));
  Send("SaveIMG_last", {Big(1), "", Doc(Adj("rotation", "90"))});
  Send("ApplyAdjustForFolder", {folder_, Doc("")});
  Send("SaveIMG_last", {folder_, Doc(Adj("brightes", "20")), ""});
  const std::vector<std::string> expected = {
      ReloadPreviewMessage(),    ReloadPreviewMessage(),    ReloadBigImgMessage(),
      ReloadBigImgMessage(),     ShowProgressMessage(2, 0), ShowProgressMessage(2, 1),
      ShowProgressMessage(2, 2), ReloadBigImgMessage(),     ShowProgressMessage(2, 0),
      ShowProgressMessage(2, 1), ShowProgressMessage(2, 2), ReloadBigImgMessage()};
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(SizeOf(root_ + "/p2.jpg"), (Size2{40, 40}));
  EXPECT_EQ(SizeOf(Preview(1)), (Size2{60, 120}));  // SaveIMG_last turned photo 1
  EXPECT_TRUE(testing::Near(testing::PixelAt(Big(2), 9, 9), {151, 151, 151}, kTolerance));
}

TEST_F(ImageEditTest, DocumentThatDoesNotParseShowsTheBoxAndWritesNothing) {
  testing::Plain(20, 20, {1, 2, 3}).pngsave((root_ + "/in.png").c_str());
  Send("SavePreview", {root_ + "/in.png", root_ + "/out.jpg", "", "1", "<adjust><a type="});
  const std::vector<Json> lines = Lines();
  const Json box = {{"messagebox",
                     {{"caption", "Fatal Error"},
                      {"text", "Can't load XML"},
                      {"icon", "error"},
                      {"buttons", "ok"}}}};
  EXPECT_EQ(std::count(lines.begin(), lines.end(), box), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Json{{"call", ReloadPreviewMessage()}}), 1);
  EXPECT_FALSE(fs::exists(root_ + "/out.jpg"));
}

// Documents of thousands of steps: turns, mirrors and crops fold, a long
// mixing pass runs in pieces, and a document beyond the step limit is
// refused like a picture that cannot be read. The program keeps answering.
TEST_F(ImageEditTest, LongDocumentsAreFoldedOrRefusedNeverCrash) {
  const vips::VImage quadrants = testing::Plain(40, 20, {255, 255, 255})
                                     .insert(testing::Plain(20, 10, {255, 0, 0}), 0, 0)
                                     .insert(testing::Plain(20, 10, {0, 255, 0}), 20, 0)
                                     .insert(testing::Plain(20, 10, {0, 0, 255}), 0, 10);
  const auto repeat = [](const std::string& element, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += element;
    return out;
  };
  const std::string flip = R"(<a type="flip" xscale="-100" yscale="1"/>)";
  const std::string mix = Adj("contrast", "10") + Adj("saturation", "90");
  const struct {
    const char* what;
    std::string elements;
    bool written;
    Size2 size;
    Rgb colour;  // at (5, 5)
  } cases[] = {
      // 9,999 quarter turns clockwise are three: the top-right corner comes
      // to the top left.
      {"turns", repeat(Adj("rotation", "90"), 9'999), true, {20, 40}, {0, 255, 0}},
      {"mirrors and crops",
       repeat(flip + R"(<a type="crop" x="0" y="0" w="40" h="20"/>)", 4'999) + flip,
       true,
       {40, 20},
       {255, 0, 0}},
      {"mixing", repeat(mix, 5'000), true, {40, 20}, {}},
      {"too many mirrors", repeat(flip, 100'000), false, {40, 20}, {255, 0, 0}},
      {"too many pairs", repeat(mix, 5'001), false, {40, 20}, {255, 0, 0}},
  };
  const int count = static_cast<int>(std::size(cases));
  std::vector<std::pair<vips::VImage, std::string>> edits;
  for (const auto& c : cases) edits.emplace_back(quadrants, c.elements);
  EditEach(edits);
  for (int id = 1; id <= count; ++id) {
    const auto& c = cases[id - 1];
    EXPECT_EQ(SizeOf(Big(id)), c.size) << c.what;
    EXPECT_EQ(fs::exists(Preview(id)), c.written) << c.what;
    if (c.written && std::string(c.what) == "mixing") continue;  // colours: the unit tests
    EXPECT_TRUE(testing::Near(testing::PixelAt(Big(id), 5, 5), c.colour, kTolerance)) << c.what;
  }
}

}  // namespace
}  // namespace lumireel
