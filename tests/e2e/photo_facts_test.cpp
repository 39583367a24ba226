// Photo facts, kept originals and edits rendered from them, through the real
// program: pictures are made at test time (libvips, exiftool, heif-enc,
// cwebp, ImageMagick), imported with AddPhoto as the movie sends it, and
// edited, reverted and re-rendered with SaveEdit, RevertPhoto and
// RenderAlbum.
#include <glib.h>
#include <gtest/gtest.h>

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
using testing::Bytes;
using testing::Quote;

using testing::Size2;
using testing::SizeOf;

constexpr char kCrop[] =
    "&lt;adjust&gt;&lt;a type=&quot;crop&quot; x=&quot;100&quot; "
    "y=&quot;50&quot; w=&quot;350&quot; h=&quot;280&quot;/&gt;&lt;/adjust&gt;";

std::string Sha256(const std::string& bytes) {
  gchar* digest = g_compute_checksum_for_data(
      G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string text = digest;
  g_free(digest);
  return text;
}

std::string Invoke(const std::string& name, const std::vector<std::string>& args) {
  std::string xml = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& arg : args) xml += "<string>" + arg + "</string>";
  return xml + "</arguments></invoke>";
}

class PhotoFactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ImageCodec::Initialise());
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(app_.Sync());
    root_ = app_.workspace().string();
    fs::create_directories(root_ + "/picked");
    fs::create_directories(root_ + "/quillmaralbumsettings");
    MakePart(1);
    SetAlbumSizes(180, 180, 700, 700);
  }

  std::string Part(int part) const {
    return root_ + "/MyAlbums/1/photoparts/" + std::to_string(part);
  }
  void MakePart(int part) {
    fs::create_directories(Part(part) + "/big");
    fs::create_directories(Part(part) + "/preview");
    testing::WriteBytes(Part(part) + "/photos.xml",
                        "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"180\" "
                        "mheight=\"180\" id=\"" +
                            std::to_string(part) + "\"></album>\r\n");
  }
  void SetAlbumSizes(int pw, int ph, int bw, int bh) {
    testing::WriteBytes(root_ + "/quillmaralbumsettings/quillmaralbums.xml",
                        "<?xml version=\"1.0\" encoding=\"utf-8\" ?><albums location=\"MyAlbums\">"
                        "<album id=\"1\"><name>Lake</name><pwidth>" +
                            std::to_string(pw) + "</pwidth><pheight>" + std::to_string(ph) +
                            "</pheight><bwidth>" + std::to_string(bw) + "</bwidth><bheight>" +
                            std::to_string(bh) + "</bheight></album></albums>");
  }
  std::string Picked(const std::string& name) const { return root_ + "/picked/" + name; }
  std::string Jpeg(const std::string& name, int width, int height) const {
    testing::SaveJpeg(testing::Gradient(width, height), Picked(name));
    return Picked(name);
  }
  std::string Big(int part, int id) const {
    return Part(part) + "/big/" + std::to_string(id) + ".jpg";
  }
  std::string Preview(int part, int id) const {
    return Part(part) + "/preview/" + std::to_string(id) + ".jpg";
  }

  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    const auto lines = app_.Sync(std::chrono::seconds(120));
    EXPECT_TRUE(lines) << app_.Transcript();
    for (const Json& line : lines.value_or(std::vector<Json>{})) {
      if (line.contains("call")) calls.push_back(line["call"]);
    }
    return calls;
  }
  void Import(const std::vector<std::string>& files, int part = 1) {
    std::vector<std::string> args = {
        EncodeMessageText(Part(part)), "1", "1", "180", "180", "700", "700", "", "", "", "reload"};
    app_.Invoke(Invoke("AddPhoto", args));
    app_.Answer(Json{{"files", files}});
    Calls();
  }

  testing::HeadlessProcess app_;
  std::string root_;
};

TEST_F(PhotoFactsTest, ImportKeepsOriginalsAndRecordsFactsCaptionsAndDuplicates) {
  const std::string a = Jpeg("a.jpg", 1600, 1200);
  ASSERT_TRUE(
      testing::Run("exiftool -q -overwrite_original -DateTimeOriginal='2021:07:14 09:30:05' "
                   "-Make=Lumix -Model=LX-1 '-ImageDescription=Friends at the lake' "
                   "-Orientation#=6 " +
                   Quote(a)));
  const std::string b = Jpeg("B.JPEG", 640, 480);
  ASSERT_TRUE(
      testing::Run("exiftool -q -overwrite_original '-IPTC:Caption-Abstract=From IPTC & <co>' " +
                   Quote(b) + " && touch -d '2020-02-03 04:05:06' " + Quote(b)));
  const std::string c = Picked("c.png");
  testing::Gradient(100, 50).pngsave(c.c_str());
  ASSERT_TRUE(
      testing::Run("exiftool -q -overwrite_original '-XMP-dc:Description=From XMP \"quoted\"' "
                   "-XMP-tiff:Make=Canon '-XMP-tiff:Model=Canon EOS 5D' " +
                   Quote(c) +
                   " && touch -d "
                   "'2019-12-31 23:59:58' " +
                   Quote(c)));
  const std::string d = Picked("d.jpg");
  fs::copy_file(a, d);
  Import({a, b, c, d});

  // Each original is kept byte for byte, its extension in lower case.
  const auto entry = [&](int id, const std::string& path, const std::string& rest) {
    const std::string bytes = Bytes(path);
    const std::string extension = id == 2 ? ".jpeg" : id == 3 ? ".png" : ".jpg";
    EXPECT_EQ(Bytes(Part(1) + "/originals/" + std::to_string(id) + extension), bytes) << id;
    return "<photo id=\"" + std::to_string(id) + "\" original=\"" +
           fs::path(path).filename().string() + "\" " + rest + " bytes=\"" +
           std::to_string(bytes.size()) + "\" sha256=\"" + Sha256(bytes) + "\"";
  };
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><photos>" +
      entry(1, a,
            "taken=\"2021-07-14T09:30:05\" camera=\"Lumix LX-1\" width=\"1200\" height=\"1600\"") +
      " caption=\"Friends at the lake\" />" +
      entry(2, b, "taken=\"2020-02-03T04:05:06\" width=\"640\" height=\"480\"") +
      " caption=\"From IPTC &amp; &lt;co&gt;\" />" +
      entry(3, c,
            "taken=\"2019-12-31T23:59:58\" camera=\"Canon EOS 5D\" width=\"100\" height=\"50\"") +
      " caption=\"From XMP &quot;quoted&quot;\" />" +
      entry(4, d,
            "taken=\"2021-07-14T09:30:05\" camera=\"Lumix LX-1\" width=\"1200\" height=\"1600\"") +
      " caption=\"Friends at the lake\" duplicate_of=\"1\" /></photos>";
  EXPECT_EQ(Bytes(Part(1) + "/photoinfo.xml"), expected);

  // The photo list keeps its form: names stay empty, nothing else is added.
  EXPECT_EQ(Bytes(Part(1) + "/photos.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"180\" mheight=\"180\" "
            "id=\"1\" ><photo><id>1</id><name/><file>1.jpg</file><w>135</w><h>180</h></photo>"
            "<photo><id>2</id><name/><file>2.jpg</file><w>180</w><h>135</h></photo>"
            "<photo><id>3</id><name/><file>3.jpg</file><w>180</w><h>90</h></photo>"
            "<photo><id>4</id><name/><file>4.jpg</file><w>135</w><h>180</h></photo></album>");
}

// A JPEG whose EXIF block is `tiff` (a TIFF structure, little-endian).
std::string JpegWithExif(const std::string& jpeg, const std::string& tiff) {
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = payload.size() + 2;
  std::string segment = "\xFF\xE1";
  segment += static_cast<char>(length >> 8);
  segment += static_cast<char>(length & 0xFF);
  return jpeg.substr(0, 2) + segment + payload + jpeg.substr(2);
}

std::string U16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string U32(unsigned v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string Tag(unsigned tag, unsigned type, unsigned count, unsigned value) {
  return U16(tag) + U16(type) + U32(count) + U32(value);
}

TEST_F(PhotoFactsTest, HostileMetadataLeavesTheFactOutAndThePhotoImports) {
  const std::string plain = Bytes(Jpeg("plain.jpg", 64, 48));
  const std::string header = std::string("II*\0", 4) + U32(8);
  struct Case {
    std::string name;
    std::string bytes;    // empty: made by `command` from plain.jpg
    std::string command;  // exiftool arguments
  } cases[] = {
      // an IFD whose EXIF pointer and next-IFD offset point back at itself
      {"loop.jpg", JpegWithExif(plain, header + U16(1) + Tag(0x8769, 4, 1, 8) + U32(8)), ""},
      // a count of 65535 entries in a block of a few bytes
      {"garbage.jpg", JpegWithExif(plain, header + U16(0xFFFF) + "\x01\x02\x03"), ""},
      // the maker as a number, the model pointing far outside the block
      {"types.jpg",
       JpegWithExif(
           plain, header + U16(2) + Tag(0x010F, 3, 1, 5) + Tag(0x0110, 2, 4000000, 9999) + U32(0)),
       ""},
      {"huge.jpg", "", "'-ImageDescription=" + std::string(20000, 'x') + "'"},
      {"baddate.jpg", "", "'-DateTimeOriginal#=not a date'"},
  };
  std::vector<std::string> files;
  for (const Case& c : cases) {
    files.push_back(Picked(c.name));
    if (!c.bytes.empty()) {
      testing::WriteBytes(files.back(), c.bytes);
    } else {
      testing::WriteBytes(files.back(), plain);
      ASSERT_TRUE(testing::Run("exiftool -q -m -overwrite_original " + c.command + " " +
                               Quote(files.back())));
    }
    ASSERT_TRUE(testing::Run("touch -d '2022-01-02 03:04:05' " + Quote(files.back())));
  }
  Import(files);
  const std::string info = Bytes(Part(1) + "/photoinfo.xml");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string id = std::to_string(i + 1);
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(SizeOf(Big(1, static_cast<int>(i + 1))), (Size2{64, 48}));
    EXPECT_NE(info.find("<photo id=\"" + id + "\" original=\"" + cases[i].name +
                        "\" taken=\"2022-01-02T03:04:05\" width=\"64\" height=\"48\" bytes="),
              std::string::npos)
        << info;
  }
  EXPECT_EQ(info.find("caption="), std::string::npos);
  EXPECT_EQ(info.find("camera="), std::string::npos);
}

TEST_F(PhotoFactsTest, NewFormatsImportWithTheirOriginals) {
  const std::string png = Picked("source.png");
  testing::Gradient(96, 64).pngsave(png.c_str());
  ASSERT_TRUE(testing::Run(
      "cd " + Quote(root_ + "/picked") +
      " && heif-enc -o a.heic source.png >/dev/null && heif-enc -A -o b.avif "
      "source.png >/dev/null && cwebp -quiet source.png -o c.webp && vips copy "
      "source.png d.tif && vips cast source.png e.v ushort && vips linear e.v f.v "
      "257 0 && vips cast f.v f.tif ushort && convert -size 96x64 xc:'#ff0000' xc:'#0000ff' "
      "-loop 0 g.gif"));
  ASSERT_TRUE(testing::Run("vipsheader " + Quote(Picked("f.tif")) + " | grep -q ushort"));
  const std::vector<std::string> names = {"a.heic", "b.avif", "c.webp", "d.tif", "f.tif", "g.gif"};
  std::vector<std::string> files;
  for (const std::string& name : names) files.push_back(Picked(name));
  Import(files);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const int id = static_cast<int>(i + 1);
    EXPECT_EQ(SizeOf(Preview(1, id)), (Size2{180, 120}));
    EXPECT_EQ(Bytes(Part(1) + "/originals/" + std::to_string(id) +
                    fs::path(names[i]).extension().string()),
              Bytes(files[i]));
  }
  // The animated GIF is its first frame.
  EXPECT_TRUE(testing::Near(testing::PixelAt(Preview(1, 6), 90, 60), {255, 0, 0}, 8));
}

TEST_F(PhotoFactsTest, CropThenRevertGivesBackTheFirstRendition) {
  Import({Jpeg("a.jpg", 1600, 1200)});
  const std::string big = Bytes(Big(1, 1));
  const std::string preview = Bytes(Preview(1, 1));

  app_.Invoke(Invoke("SaveEdit", {EncodeMessageText(Part(1)), "1", kCrop}));
  EXPECT_EQ(Calls(), std::vector<std::string>{ReloadBigImgMessage()});
  EXPECT_EQ(SizeOf(Big(1, 1)), (Size2{350, 280}));
  EXPECT_EQ(SizeOf(Preview(1, 1)), (Size2{180, 144}));
  EXPECT_EQ(Bytes(Part(1) + "/edits/1.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><edits width=\"700\" height=\"525\">"
            "&amp;lt;adjust&amp;gt;&amp;lt;a type=&amp;quot;crop&amp;quot; x=&amp;quot;100&amp;"
            "quot; y=&amp;quot;50&amp;quot; w=&amp;quot;350&amp;quot; h=&amp;quot;280&amp;quot;/"
            "&amp;gt;&amp;lt;/adjust&amp;gt;</edits>");
  // A second save starts from the original again: the crop does not compound.
  app_.Invoke(Invoke("SaveEdit", {EncodeMessageText(Part(1)), "1", kCrop}));
  Calls();
  EXPECT_EQ(SizeOf(Big(1, 1)), (Size2{350, 280}));

  app_.Invoke(Invoke("RevertPhoto", {EncodeMessageText(Part(1)), "1"}));
  EXPECT_EQ(Calls(), std::vector<std::string>{ReloadBigImgMessage()});
  EXPECT_EQ(Bytes(Big(1, 1)), big);
  EXPECT_EQ(Bytes(Preview(1, 1)), preview);
  // The list is rebuilt as every edit rebuilds it, with the first size.
  EXPECT_EQ(Bytes(Part(1) + "/photos.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mheight=\"180\" mwidth=\"180\" "
            "id=\"1\" ><photo><id>1</id><file>1.jpg</file><name/><w>180</w><h>135</h></photo>"
            "</album>");
  EXPECT_FALSE(fs::exists(Part(1) + "/edits/1.xml"));

  // Without an original nothing changes, and the movie still hears the end.
  fs::remove_all(Part(1) + "/originals");
  app_.Invoke(Invoke("RevertPhoto", {EncodeMessageText(Part(1)), "1"}));
  EXPECT_EQ(Calls(), std::vector<std::string>{ReloadBigImgMessage()});
  EXPECT_EQ(Bytes(Big(1, 1)), big);
}

TEST_F(PhotoFactsTest, RenderAlbumRendersEveryPhotoAtTheNewSizesWithItsEdits) {
  MakePart(2);
  Import({Jpeg("a.jpg", 1600, 1200), Jpeg("b.jpg", 1200, 1600)});
  Import({Jpeg("c.jpg", 2000, 1000)}, 2);
  app_.Invoke(Invoke("SaveEdit", {EncodeMessageText(Part(1)), "1", kCrop}));
  Calls();
  // A kept document that no longer parses: that photo renders unedited.
  testing::WriteBytes(Part(1) + "/edits/2.xml", "<edits width=\"700\"><broken");

  SetAlbumSizes(240, 240, 1400, 1400);
  app_.Invoke(Invoke("RenderAlbum", {EncodeMessageText(root_ + "/MyAlbums/1")}));
  EXPECT_EQ(Calls(), (std::vector<std::string>{CreateProgressBarMessage("loc_convertimg"),
                                               ShowProgressMessage(3, 1), ShowProgressMessage(3, 2),
                                               ShowProgressMessage(3, 3), ShowProgressMessage(3, 3),
                                               ReloadContentMessage()}));
  EXPECT_EQ(SizeOf(Big(1, 1)), (Size2{700, 560})) << "the crop scaled by 1400 / 700";
  EXPECT_EQ(SizeOf(Big(1, 2)), (Size2{1050, 1400}));
  EXPECT_EQ(SizeOf(Preview(1, 2)), (Size2{180, 240}));
  EXPECT_EQ(SizeOf(Big(2, 1)), (Size2{1400, 700}));
  EXPECT_EQ(SizeOf(Preview(2, 1)), (Size2{240, 120}));
  // Later edits make their previews at the new size too.
  for (int part : {1, 2}) {
    const std::string list = testing::ReadBytes(Part(part) + "/photos.xml");
    EXPECT_NE(list.find("<album mheight=\"240\" mwidth=\"240\" id="), std::string::npos) << list;
  }
  // The crop keeps the part of the photo it chose: the gradient's colour
  // at the crop's corner.
  EXPECT_TRUE(testing::Near(testing::PixelAt(Big(1, 1), 0, 0),
                            testing::PixelAt(Jpeg("ref.jpg", 1400, 1050), 200, 100), 12));

  // A cancel before the job runs stops it before its first photo.
  app_.Invoke(Invoke("RenderAlbum", {EncodeMessageText(root_ + "/MyAlbums/1")}));
  app_.Invoke(Invoke("CancelRenderAlbum", {}));
  const std::vector<std::string> calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), ReloadContentMessage());
}

}  // namespace
}  // namespace lumireel
