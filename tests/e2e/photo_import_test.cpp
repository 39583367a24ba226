// Photo import through the real program: AddPhoto goes in as the movie sends
// it, the open-files dialog is answered like a user, and the pictures are
// made at test time. The written files are measured with libvips and
// ImageMagick's `identify`.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"
#include "imaging/test_images.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::Size2;
using testing::SizeOf;

constexpr char kEmptyList[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album></album>\r\n";

struct Limits {
  int preview_w = 180, preview_h = 180, big_w = 700, big_h = 700;
};

class PhotoImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ImageCodec::Initialise());
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(app_.Sync());  // start-up lines
    root_ = app_.workspace().string();
    folder_ = root_ + "/MyAlbums/1/photoparts/1";
    fs::create_directories(folder_ + "/big");
    fs::create_directories(folder_ + "/preview");
    fs::create_directories(root_ + "/picked");
    testing::WriteBytes(List(), kEmptyList);
  }

  std::string List() const { return folder_ + "/photos.xml"; }
  std::string Big(int id) const { return folder_ + "/big/" + std::to_string(id) + ".jpg"; }
  std::string Preview(int id) const { return folder_ + "/preview/" + std::to_string(id) + ".jpg"; }
  std::string Picked(const std::string& name) const { return root_ + "/picked/" + name; }

  std::string Jpeg(const std::string& name, int width, int height) const {
    testing::SaveJpeg(testing::Gradient(width, height), Picked(name));
    return Picked(name);
  }

  // Sends AddPhoto with the folder written as the movie writes it (with
  // backslashes) and waits for the import to end. Returns the movie calls.
  std::vector<std::string> Import(const Json& answer, const std::string& reload = "reload",
                                  Limits limits = {}) {
    SendAddPhoto(reload, limits);
    app_.Answer(answer);
    return Calls();
  }
  std::vector<std::string> ImportFiles(const std::vector<std::string>& files, Limits limits = {}) {
    return Import(Json{{"files", files}}, "reload", limits);
  }
  void SendAddPhoto(const std::string& reload = "reload", Limits limits = {},
                    std::string folder = {}) {
    if (folder.empty()) folder = root_ + "\\MyAlbums\\1\\photoparts\\1";
    std::string xml = "<invoke name=\"AddPhoto\" returntype=\"xml\"><arguments>";
    for (const std::string& arg :
         {folder, std::string("x"), std::string(), std::to_string(limits.preview_w),
          std::to_string(limits.preview_h), std::to_string(limits.big_w),
          std::to_string(limits.big_h), std::string(), std::string(), std::string(), reload}) {
      xml += "<string>" + EncodeMessageText(arg) + "</string>";
    }
    app_.Invoke(xml + "</arguments></invoke>");
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    const auto lines = app_.Sync(std::chrono::seconds(120));
    EXPECT_TRUE(lines) << app_.Transcript();
    for (const Json& line : lines.value_or(std::vector<Json>{})) {
      if (line.contains("call")) calls.push_back(line["call"]);
      if (line.contains("dialog")) dialogs_.push_back(line["dialog"]);
    }
    return calls;
  }

  // The calls of a completed import of `total` files, progress reported
  // before each of `reported`, with `skipped` files left out.
  static std::vector<std::string> Expected(int total, const std::vector<int>& reported,
                                           int skipped = 0) {
    std::vector<std::string> calls = {CreateProgressBarMessage("loc_convertimg")};
    for (int i : reported) calls.push_back(ShowProgressMessage(total, i));
    calls.push_back(ShowProgressMessage(total, total));
    if (skipped > 0) calls.push_back(ShowAlertMessage("import_error_h", "import_error", skipped));
    calls.push_back(ReloadContentMessage());
    return calls;
  }

  std::string Entry(int id, int w, int h) const {
    const std::string n = std::to_string(id);
    return "<photo><id>" + n + "</id><name/><file>" + n + ".jpg</file><w>" + std::to_string(w) +
           "</w><h>" + std::to_string(h) + "</h></photo>";
  }

  // Names of the files in big/ and preview/, temporary ones included.
  std::vector<std::string> RenditionFiles() const {
    std::vector<std::string> names;
    for (const char* sub : {"big", "preview"}) {
      for (const auto& entry : fs::directory_iterator(folder_ + "/" + sub)) {
        names.push_back(std::string(sub) + "/" + entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::HeadlessProcess app_;
  std::string root_;
  std::string folder_;
  std::vector<Json> dialogs_;
};

TEST_F(PhotoImportTest, EverySizeCaseGetsItsRenditionsQualitiesAndEntry) {
  struct Case {
    int width, height;
    Size2 big, preview;
    bool copied;
  } cases[] = {
      {1600, 1200, {700, 525}, {180, 135}, false}, {1200, 1600, {525, 700}, {135, 180}, false},
      {640, 480, {640, 480}, {180, 135}, true},    {700, 400, {700, 400}, {180, 102}, false},
      {700, 700, {700, 700}, {180, 180}, true},    {1000, 1000, {700, 700}, {180, 180}, false},
      {100, 50, {100, 50}, {180, 90}, true},
  };
  std::vector<std::string> files;
  for (const Case& c : cases) {
    files.push_back(
        Jpeg(std::to_string(c.width) + "x" + std::to_string(c.height) + ".jpg", c.width, c.height));
  }
  EXPECT_EQ(ImportFiles(files), Expected(7, {0, 1, 2, 3, 4, 5, 6}));

  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0]["kind"], "open-files");
  EXPECT_EQ(dialogs_[0]["filter"],
            "Graphic Formats (*.jpg,*.jpeg,*.gif,*.bmp,*.png)|*.bmp; *.jpg; *.jpeg; *.png; *.gif|");
  EXPECT_EQ(dialogs_[0]["default_ext"], "*.jpg,*.jpeg,*.gif,*.png,*.bmp");

  std::string entries;
  for (int id = 1; id <= 7; ++id) {
    const Case& c = cases[id - 1];
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_EQ(SizeOf(Big(id)), c.big);
    EXPECT_EQ(SizeOf(Preview(id)), c.preview);
    EXPECT_EQ(testing::Bytes(Big(id)) == testing::Bytes(files[id - 1]), c.copied);
    if (!c.copied) {
      EXPECT_EQ(testing::MeasuredQuality(Big(id)), 100);
    }
    EXPECT_EQ(testing::MeasuredQuality(Preview(id)), 93);
    entries += Entry(id, c.preview.width, c.preview.height);
  }
  EXPECT_EQ(testing::Bytes(List()),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>" + entries + "</album>");
  // The first photo's preview is the cover, written once.
  EXPECT_EQ(testing::Bytes(folder_ + "/album.jpg"), testing::Bytes(Preview(1)));
  EXPECT_EQ(RenditionFiles().size(), 14u) << "no temporary file is left";
}

TEST_F(PhotoImportTest, BoxThatIsNotSquareCanEnlargeAlongTheLongerSide) {
  EXPECT_EQ(ImportFiles({Jpeg("a.jpg", 600, 550)}, {180, 180, 700, 500}), Expected(1, {0}));
  EXPECT_EQ(SizeOf(Big(1)), (Size2{700, 641}));
  EXPECT_EQ(SizeOf(Preview(1)), (Size2{180, 165}));
}

TEST_F(PhotoImportTest, IdsContinueFromTheHighestAndAnExistingCoverStays) {
  const std::string list =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"180\" mheight=\"180\" >" +
      Entry(3, 1, 1) + Entry(9, 2, 2) + "</album>";
  testing::WriteBytes(List(), list);
  testing::WriteBytes(folder_ + "/album.jpg", "the old cover");
  ImportFiles({Jpeg("a.jpg", 1600, 1200), Jpeg("b.jpg", 100, 50)});
  EXPECT_EQ(testing::Bytes(List()), list.substr(0, list.size() - 8) + Entry(10, 180, 135) +
                                        Entry(11, 180, 90) + "</album>");
  EXPECT_EQ(SizeOf(Big(10)), (Size2{700, 525}));
  EXPECT_EQ(testing::Bytes(folder_ + "/album.jpg"), "the old cover");
}

// A cancel stops the imports asked for before it (here before the dialog is
// answered, so before the first photo): nothing is added and nothing is
// left behind, the import ends as usual. The next import is not stopped.
TEST_F(PhotoImportTest, CancelStopsTheImportsBeforeItAndNotTheNextOne) {
  const std::vector<std::string> files = {Jpeg("a.jpg", 1600, 1200), Jpeg("b.jpg", 100, 50),
                                          Jpeg("c.jpg", 640, 480)};
  SendAddPhoto();
  app_.Invoke(
      "<invoke name=\"CancelAddPhoto\" returntype=\"xml\"><arguments></arguments></invoke>");
  app_.Answer(Json{{"files", files}});
  EXPECT_EQ(Calls(), Expected(3, {}));
  EXPECT_EQ(testing::Bytes(List()), kEmptyList);
  EXPECT_EQ(RenditionFiles(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(folder_ + "/originals/1.jpg"));

  EXPECT_EQ(ImportFiles(files), Expected(3, {0, 1, 2}));
  EXPECT_EQ(SizeOf(Big(3)), (Size2{640, 480}));
}

TEST_F(PhotoImportTest, ProgressFollowsTheStepRuleFor250Files) {
  const std::string tiny = Picked("tiny.png");
  testing::Gradient(8, 6).pngsave(tiny.c_str());
  std::vector<std::string> files;
  for (int i = 0; i < 250; ++i) {
    files.push_back(Picked("tiny" + std::to_string(i) + ".png"));
    fs::copy_file(tiny, files.back());
  }
  std::vector<int> reported;
  for (int i = 0; i < 250; i += 21) reported.push_back(i);  // step 20: 0, 21, 42, ...
  EXPECT_EQ(ImportFiles(files), Expected(250, reported));
  EXPECT_EQ(SizeOf(Preview(250)), (Size2{180, 135}));
  EXPECT_NE(testing::Bytes(List()).find(Entry(250, 180, 135) + "</album>"), std::string::npos);
}

TEST_F(PhotoImportTest, PngGifAndBmpSourcesAreRenderedOrCopied) {
  const vips::VImage picture = testing::Gradient(300, 200);
  picture.pngsave(Picked("big.png").c_str());
  testing::Gradient(1200, 900).pngsave(Picked("large.png").c_str());
  picture.gifsave(Picked("small.gif").c_str());
  ASSERT_TRUE(testing::Convert(Picked("big.png"), "", "BMP3:" + Picked("small.bmp")));
  EXPECT_EQ(ImportFiles({Picked("large.png"), Picked("small.gif"), Picked("small.bmp")}),
            Expected(3, {0, 1, 2}));
  EXPECT_EQ(SizeOf(Big(1)), (Size2{700, 525}));
  EXPECT_EQ(testing::MeasuredQuality(Big(1)), 100);
  // Small sources are copied byte for byte and keep their own format.
  EXPECT_EQ(testing::Bytes(Big(2)), testing::Bytes(Picked("small.gif")));
  EXPECT_EQ(testing::Bytes(Big(3)), testing::Bytes(Picked("small.bmp")));
  for (int id = 1; id <= 3; ++id) {
    EXPECT_EQ(SizeOf(Preview(id)), (Size2{180, id == 1 ? 135 : 120})) << id;
    EXPECT_EQ(testing::MeasuredQuality(Preview(id)), 93) << id;
  }
  const std::array<int, 3> corner = testing::PixelOf(picture, 299, 199);
  EXPECT_TRUE(testing::Near(testing::PixelAt(Preview(3), 179, 119), corner, 16));
}

TEST_F(PhotoImportTest, UndecodableFilesGetNoEntryNoIdAndOneAlert) {
  const std::string good = Jpeg("good.jpg", 640, 480);
  testing::WriteBytes(Picked("text.jpg"), "just some text\n");
  testing::WriteBytes(Picked("empty.jpg"), "");
  Jpeg("truncated.jpg", 1600, 1200);
  fs::resize_file(Picked("truncated.jpg"), fs::file_size(Picked("truncated.jpg")) / 2);
  testing::WriteBytes(Picked("bomb.png"), testing::PngHeaderOnly(20000, 10001));
  const std::string good2 = Jpeg("good2.jpg", 1200, 1600);
  const std::vector<std::string> files = {Picked("text.jpg"),      good,  Picked("empty.jpg"),
                                          Picked("truncated.jpg"), good2, Picked("bomb.png")};
  EXPECT_EQ(ImportFiles(files), Expected(6, {0, 1, 2, 3, 4, 5}, /*skipped=*/4));
  EXPECT_EQ(testing::Bytes(List()), "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>" +
                                        Entry(1, 180, 135) + Entry(2, 135, 180) + "</album>");
  EXPECT_EQ(RenditionFiles(),
            (std::vector<std::string>{"big/1.jpg", "big/2.jpg", "preview/1.jpg", "preview/2.jpg"}));
  EXPECT_EQ(testing::Bytes(Big(1)), testing::Bytes(good));
  EXPECT_EQ(testing::Bytes(folder_ + "/album.jpg"), testing::Bytes(Preview(1)));
}

TEST_F(PhotoImportTest, ExifRotatedPhotosAreShownUprightAndNeverCopied) {
  // Stored sideways: the left half red. Orientation 6 turns it clockwise, so
  // the red half is on top when the photo is shown.
  auto sideways = [&](const std::string& name, int width, int height) {
    vips::VImage stored =
        testing::Plain(width / 2, height, {230, 20, 20})
            .join(testing::Plain(width / 2, height, {20, 20, 230}), VIPS_DIRECTION_HORIZONTAL)
            .copy();
    stored.set("orientation", 6);
    testing::SaveJpeg(stored, Picked(name));
    return Picked(name);
  };
  const std::string large = sideways("large.jpg", 800, 400);
  const std::string small = sideways("small.jpg", 300, 200);
  EXPECT_EQ(ImportFiles({large, small}), Expected(2, {0, 1}));
  EXPECT_EQ(SizeOf(Big(1)), (Size2{350, 700}));
  EXPECT_EQ(SizeOf(Preview(1)), (Size2{90, 180}));
  EXPECT_EQ(SizeOf(Big(2)), (Size2{200, 300}));
  EXPECT_EQ(SizeOf(Preview(2)), (Size2{120, 180}));
  EXPECT_NE(testing::Bytes(Big(2)), testing::Bytes(small));
  const std::array<int, 3> red{230, 20, 20}, blue{20, 20, 230};
  for (int id : {1, 2}) {
    const Size2 big = SizeOf(Big(id));
    EXPECT_TRUE(testing::Near(testing::PixelAt(Big(id), big.width / 2, big.height / 8), red, 30));
    EXPECT_TRUE(
        testing::Near(testing::PixelAt(Big(id), big.width / 2, big.height * 7 / 8), blue, 30));
    EXPECT_TRUE(testing::Near(testing::PixelAt(Preview(id), 45, 10), red, 30)) << id;
  }
  EXPECT_NE(testing::Bytes(List()).find(Entry(1, 90, 180) + Entry(2, 120, 180)), std::string::npos);
}

TEST_F(PhotoImportTest, CancelWithReloadReloadsTwiceAndWithoutReloadSendsNothing) {
  EXPECT_EQ(Import(Json{{"cancel", true}}, "reload"),
            (std::vector<std::string>{ReloadContentMessage(), ReloadContentMessage()}));
  // Any other last argument, even "Reload": no call, and the job ends.
  EXPECT_EQ(Import(Json{{"cancel", true}}, "Reload"), std::vector<std::string>{});
  EXPECT_EQ(Import(Json{{"files", Json::array()}}, ""), std::vector<std::string>{});
  EXPECT_EQ(testing::Bytes(List()), kEmptyList);
  EXPECT_TRUE(RenditionFiles().empty());
  EXPECT_EQ(dialogs_.size(), 3u);
}

TEST_F(PhotoImportTest, QueuedImportsNumberAfterEachOther) {
  const std::string a = Jpeg("a.jpg", 640, 480);
  const std::string b = Jpeg("b.jpg", 480, 640);
  SendAddPhoto();
  SendAddPhoto();
  app_.Answer(Json{{"files", std::vector<std::string>{a, b}}});
  app_.Answer(Json{{"files", std::vector<std::string>{a}}});
  const std::vector<std::string> calls = Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), ReloadContentMessage()), 2);
  EXPECT_EQ(testing::Bytes(List()), "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>" +
                                        Entry(1, 180, 135) + Entry(2, 135, 180) +
                                        Entry(3, 180, 135) + "</album>");
}

// Queued imports may leave their entries to the import behind them; however
// the run goes on (a cancelled pick, an empty one, another folder between,
// the end of the queue), every photo is entered once, in order, with its
// facts.
TEST_F(PhotoImportTest, QueuedImportsIntoOneFolderEnterEveryPhotoWhateverFollows) {
  const std::string a = Jpeg("a.jpg", 640, 480);
  const std::string b = Jpeg("b.jpg", 480, 640);
  const std::string other = root_ + "/MyAlbums/1/photoparts/2";
  fs::create_directories(other + "/big");
  fs::create_directories(other + "/preview");
  testing::WriteBytes(other + "/photos.xml", kEmptyList);
  const std::vector<Json> answers = {
      Json{{"files", std::vector<std::string>{a, b}}}, Json{{"files", std::vector<std::string>{a}}},
      Json{{"cancel", true}},                          Json{{"files", std::vector<std::string>{b}}},
      Json{{"files", Json::array()}},                  Json{{"files", std::vector<std::string>{a}}},
      Json{{"files", std::vector<std::string>{b}}},    Json{{"files", std::vector<std::string>{a}}}};
  for (std::size_t i = 0; i < answers.size(); ++i) {
    // The seventh import goes into the other folder.
    SendAddPhoto("reload", {}, i == 6 ? other : std::string());
  }
  for (const Json& answer : answers) app_.Answer(answer);
  const std::vector<std::string> calls = Calls();
  // One reload per import, two for the cancelled and the empty pick.
  EXPECT_EQ(std::count(calls.begin(), calls.end(), ReloadContentMessage()), 10);
  EXPECT_EQ(testing::Bytes(List()), "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>" +
                                        Entry(1, 180, 135) + Entry(2, 135, 180) +
                                        Entry(3, 180, 135) + Entry(4, 135, 180) +
                                        Entry(5, 180, 135) + Entry(6, 180, 135) + "</album>");
  EXPECT_EQ(testing::Bytes(other + "/photos.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album>" + Entry(1, 135, 180) +
                "</album>");
  const std::string facts = testing::Bytes(folder_ + "/photoinfo.xml");
  for (int id = 1; id <= 6; ++id) {
    EXPECT_NE(facts.find("<photo id=\"" + std::to_string(id) + "\""), std::string::npos) << facts;
  }
  EXPECT_EQ(RenditionFiles().size(), 12u);
}

TEST_F(PhotoImportTest, UnreadablePhotoListEndsTheImportWithoutChanges) {
  fs::remove(List());
  EXPECT_EQ(ImportFiles({Jpeg("a.jpg", 640, 480)}),
            (std::vector<std::string>{ReloadContentMessage()}));
  testing::WriteBytes(List(), "<album><photo>");
  EXPECT_EQ(ImportFiles({Jpeg("a.jpg", 640, 480)}),
            (std::vector<std::string>{ReloadContentMessage()}));
  EXPECT_EQ(testing::Bytes(List()), "<album><photo>");
  EXPECT_TRUE(RenditionFiles().empty());
}

}  // namespace
}  // namespace lumireel
