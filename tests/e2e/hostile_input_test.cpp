// Hostile input through the real program: pictures made to hurt a decoder,
// XML nested 100000 levels deep, names full of characters that need care,
// a read-only workspace and a full disk. Nothing may crash or hang, each
// case gets its usual behaviour or its error, and no file is ever left
// half-written: every old file is still whole, and no temporary file stays.
//
// The read-only and full-disk cases mount a file system of their own (a
// read-only bind mount, a 2 MB tmpfs) inside a private mount namespace, so
// that nothing stays mounted whatever happens to the test. Without the
// privilege to mount, a full disk is simulated with a file-size limit on
// the program, and a read-only folder with permissions unless the tests run
// as root (whom permissions do not stop); otherwise that case is skipped.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"
#include "imaging/test_images.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Calls = std::vector<std::string>;
using FileMap = std::map<std::string, std::string>;
using Paths = std::vector<std::string>;

constexpr char kCatalogue[] = "quillmaralbumsettings/quillmaralbums.xml";
constexpr char kPart[] = "MyAlbums/1/photoparts/1";
constexpr char kKeywords[] = "MyAlbums/1/photoparts/keywordsDB";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::string Request(const std::string& name, const std::vector<std::string>& values) {
  std::string xml = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& value : values)
    xml += "<string>" + EncodeMessageText(value) + "</string>";
  return xml + "</arguments></invoke>";
}

// AddPhoto into `part` (a native path) with the usual limits.
std::string AddPhoto(const std::string& part) {
  return Request("AddPhoto", {part, "x", "", "180", "180", "700", "700", "", "", "", "reload"});
}

Calls ImportCalls(int total, int skipped) {
  Calls calls = {CreateProgressBarMessage("loc_convertimg")};
  for (int i = 0; i < total; ++i) calls.push_back(ShowProgressMessage(total, i));
  calls.push_back(ShowProgressMessage(total, total));
  if (skipped > 0) calls.push_back(ShowAlertMessage("import_error_h", "import_error", skipped));
  calls.push_back(ReloadContentMessage());
  return calls;
}

const std::string& WriteFileError() {
  static const std::string alert = ShowAlertMessage("write_file_error_h", "write_file_error", 0);
  return alert;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  out.reserve(text.size() * times);
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Every file below `root`, by path relative to it; names beginning with "."
// (the program's temporary files) go to `dot_names`.
FileMap Tree(const fs::path& root, std::vector<std::string>* dot_names = nullptr) {
  FileMap files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().lexically_relative(root).string();
    if (entry.path().filename().string().starts_with(".") && dot_names != nullptr) {
      dot_names->push_back(relative);
    }
    if (entry.is_regular_file()) files[relative] = testing::Bytes(entry.path().string());
  }
  return files;
}

// The paths whose presence or bytes differ between two trees.
std::vector<std::string> Differences(const FileMap& a, const FileMap& b) {
  std::vector<std::string> paths;
  for (const auto& [path, bytes] : a) {
    const auto other = b.find(path);
    if (other == b.end() || other->second != bytes) paths.push_back(path);
  }
  for (const auto& [path, bytes] : b) {
    if (!a.contains(path)) paths.push_back(path);
  }
  return paths;
}

bool WellFormed(const fs::path& file) {
  return testing::Run("xmllint --noout " + testing::Quote(file.string()) + " >/dev/null 2>&1");
}

// A picture of random noise: it compresses badly, so its renditions are
// large.
void SaveNoise(int width, int height, const std::string& path) {
  const vips::VImage noise = vips::VImage::gaussnoise(width, height);
  testing::SaveJpeg(
      noise.bandjoin(noise.rot180().crop(0, 0, width, height))
          .bandjoin(noise.flip(VIPS_DIRECTION_HORIZONTAL))
          .cast(VIPS_FORMAT_UCHAR)
          .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)),
      path, 95);
}

// The workspace and an album folder made elsewhere, as the commands expect
// them: album 1 with an empty photo list and one keyword entry, a movie file
// at notes/old.xml, and `source` with the shape importAlbum asks for.
void MakeAlbumFiles(const fs::path& ws, const fs::path& source) {
  auto put = [](const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testing::WriteBytes(path.string(), bytes);
  };
  put(ws / kCatalogue, std::string(kDeclaration) +
                           "<albums location=\"MyAlbums\"><album id=\"1\"><name>First</name>"
                           "</album></albums>");
  put(ws / kPart / "photos.xml", std::string(kDeclaration) + "<album></album>\r\n");
  fs::create_directories(ws / kPart / "big");
  fs::create_directories(ws / kPart / "preview");
  put(ws / kKeywords / "keywordsdb.xml", "<db><t>1</t></db>");
  put(ws / kKeywords / "1.xml", "<keys><s p=\"1\" a=\"1\">sea,sand</s></keys>");
  put(ws / "notes/old.xml", std::string(kDeclaration) + "<notes>old</notes>");

  put(source / "photoparts/parts.xml", "<parts><part id=\"1\"/></parts>");
  put(source / "photoparts/1/photos.xml",
      std::string(kDeclaration) +
          "<album><photo><id>1</id><name/><file>1.jpg</file><w>180</w><h>135</h></photo></album>");
  fs::create_directories(source / "photoparts/1/big");
  fs::create_directories(source / "photoparts/1/preview");
  SaveNoise(700, 525, (source / "photoparts/1/big/1.jpg").string());
  SaveNoise(180, 135, (source / "photoparts/1/preview/1.jpg").string());
  fs::create_directories(source / "photoparts/keywordsDB");
  fs::create_directories(source / "photoparts/sounds");
}

// The program in a workspace, with helpers to send requests and read the
// movie calls they cause.
class Program {
 public:
  explicit Program(const fs::path& workspace) : app_(Options(workspace)) {
    EXPECT_TRUE(app_.Sync()) << app_.Transcript();
  }
  // Sends `request` (after queueing `answer` for its dialog, when given) and
  // returns the movie calls until every job has ended; message boxes come
  // back as "box: TEXT".
  Calls Run(const std::string& request, const Json& answer = nullptr) {
    if (!answer.is_null()) app_.Answer(answer);
    app_.Invoke(request);
    Calls calls;
    const auto lines = app_.Sync(std::chrono::seconds(120));
    EXPECT_TRUE(lines) << "no answer within two minutes\n" << app_.Transcript();
    for (const Json& line : lines.value_or(std::vector<Json>{})) {
      if (line.contains("call")) calls.push_back(line["call"]);
      if (line.contains("messagebox"))
        calls.push_back("box: " + line["messagebox"]["text"].get<std::string>());
    }
    return calls;
  }

  // Ends the program the way the system closes its window.
  void Close() {
    app_.CloseInput();
    EXPECT_EQ(app_.WaitExit(), 0) << app_.Transcript();
  }

 private:
  static testing::HeadlessProcessOptions Options(const fs::path& workspace) {
    testing::HeadlessProcessOptions options = testing::DefaultHeadlessOptions();
    options.workspace = workspace;
    return options;
  }

  testing::HeadlessProcess app_;
};

// ---------------------------------------------------------------------------
// Pictures.

// A small JPEG whose frame header announces `width` x `height`.
std::string JpegClaiming(std::uint16_t width, std::uint16_t height, const std::string& scratch) {
  testing::SaveJpeg(testing::Gradient(64, 48), scratch);
  std::string bytes = testing::Bytes(scratch);
  const size_t frame = bytes.find("\xFF\xC0");
  if (frame == std::string::npos) return bytes;
  bytes[frame + 5] = static_cast<char>(height >> 8);
  bytes[frame + 6] = static_cast<char>(height & 0xFF);
  bytes[frame + 7] = static_cast<char>(width >> 8);
  bytes[frame + 8] = static_cast<char>(width & 0xFF);
  return bytes;
}

// The LZW data of a GIF frame of `pixels` pixels of colour index `index`
// (minimum code size 2, so 3-bit codes): a clear code before every second
// pixel keeps the code size from growing. Packed into sub-blocks.
std::string LzwFrame(int pixels, unsigned index) {
  std::vector<unsigned> codes;
  for (int i = 0; i < pixels; ++i) {
    if (i % 2 == 0) codes.push_back(4);  // clear
    codes.push_back(index);
  }
  codes.push_back(5);  // end of information
  std::string bytes((codes.size() * 3 + 7) / 8, '\0');
  for (size_t i = 0; i < codes.size(); ++i) {
    for (int bit = 0; bit < 3; ++bit) {
      if ((codes[i] >> bit) & 1u)
        bytes[(i * 3 + bit) / 8] |= static_cast<char>(1 << ((i * 3 + bit) % 8));
    }
  }
  std::string data = "\x02";  // minimum code size
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const std::string block = bytes.substr(at, 255);
    data += static_cast<char>(block.size()) + block;
  }
  return data + std::string(1, '\0');
}

// An animated GIF of `frames` frames, written byte by byte: a red 32x32
// first frame, then one-pixel frames in turn blue and red.
std::string GifWithFrames(int frames) {
  std::string gif("GIF89a\x20\x00\x20\x00\xF0\x00\x00", 13);              // 32x32, 2 colours
  gif += std::string("\xE0\x10\x10\x10\x10\xE0", 6);                      // red, blue
  gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop forever
  for (int i = 0; i < frames; ++i) {
    gif += std::string("\x21\xF9\x04\x00\x01\x00\x00\x00", 8);  // shown for 1/100 s
    const char side = i == 0 ? 32 : 1;
    gif += std::string("\x2C\x00\x00\x00\x00", 5) + side + '\0' + side + '\0' + '\0';
    gif += LzwFrame(side * side, static_cast<unsigned>(i % 2));
  }
  return gif + ";";
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ImageCodec::Initialise());
    ws_ = fs::path(folder_.path()) / "workspace";
    source_ = fs::path(folder_.path()) / "elsewhere/trip";
    picked_ = fs::path(folder_.path()) / "picked";
    fs::create_directories(picked_);
    MakeAlbumFiles(ws_, source_);
  }

  std::string Part() const { return (ws_ / kPart).string(); }

  testing::TempFolder folder_;
  fs::path ws_;
  fs::path source_;
  fs::path picked_;
};

TEST_F(HostileInputTest, HostilePicturesAreRefusedOrShownAsTheyLook) {
  struct Case {
    std::string name;
    std::function<void(const std::string& path)> make;
    bool imported;
    testing::Size2 preview;
    std::array<int, 3> colour;  // of the preview's centre
    int tolerance;
  };
  const std::vector<Case> cases = {
      {"bomb 60000x60000.png",
       [](const std::string& path) {
         testing::WriteBytes(path, testing::PngHeaderOnly(60000, 60000));
       },
       false,
       {},
       {},
       0},
      {"bomb 60000x60000.jpg",
       [&](const std::string& path) {
         testing::WriteBytes(path, JpegClaiming(60000, 60000, (picked_ / "scratch.jpg").string()));
       },
       false,
       {},
       {},
       0},
      {"rgba 16-bit.png",
       [](const std::string& path) {
         const vips::VImage opaque_colour =
             (vips::VImage::black(1200, 900, vips::VImage::option()->set("bands", 4)) +
              std::vector<double>{13000, 33000, 52000, 65535})
                 .cast(VIPS_FORMAT_USHORT)
                 .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
         opaque_colour.pngsave(path.c_str(), vips::VImage::option()->set("bitdepth", 16));
       },
       true,
       {180, 135},
       {51, 128, 202},
       6},
      {"cmyk.jpg",
       [](const std::string& path) {
         testing::Run("convert -size 1200x900 xc:'#E01010' -colorspace CMYK -quality 90 " +
                      testing::Quote(path));
       },
       true,
       {180, 135},
       {224, 16, 16},
       50},
      {"5000 frames.gif",
       [](const std::string& path) { testing::WriteBytes(path, GifWithFrames(5000)); },
       true,
       {180, 180},
       {224, 16, 16},
       12},
  };
  std::vector<std::string> files;
  for (const Case& c : cases) {
    files.push_back((picked_ / c.name).string());
    c.make(files.back());
  }
  // The generated files are what they claim to be.
  const std::string png_header = testing::Bytes(files[2]).substr(24, 2);
  EXPECT_EQ(png_header, std::string("\x10\x06", 2)) << "16 bits per sample, RGB with alpha";
  EXPECT_EQ(testing::Capture("identify -format %[colorspace] " + testing::Quote(files[3])), "CMYK");

  Program program(ws_);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(program.Run(AddPhoto(Part()), Json{{"files", files}}), ImportCalls(5, 2));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));

  int id = 0;
  for (const Case& c : cases) {
    if (!c.imported) continue;
    SCOPED_TRACE(c.name);
    const std::string name = std::to_string(++id) + ".jpg";
    const std::string preview = (ws_ / kPart / "preview" / name).string();
    ASSERT_EQ(testing::SizeOf(preview), c.preview);
    EXPECT_TRUE(testing::Near(testing::PixelAt(preview, c.preview.width / 2, c.preview.height / 2),
                              c.colour, c.tolerance));
    EXPECT_NE(testing::SizeOf((ws_ / kPart / "big" / name).string()), testing::Size2{});
  }
  std::vector<std::string> dot_names;
  const FileMap tree = Tree(ws_ / kPart, &dot_names);
  EXPECT_EQ(tree.size(), 3u + 3 * 3)
      << "the list, the facts, the cover, and two renditions and the original of each imported "
         "picture";
  EXPECT_TRUE(dot_names.empty()) << dot_names.front();
  EXPECT_TRUE(WellFormed(ws_ / kPart / "photos.xml"));
  program.Close();
}

TEST_F(HostileInputTest, XmlNested100000DeepIsRefusedAndChangesNothing) {
  const std::string deep = Repeat("<a>", 100000) + Repeat("</a>", 100000);
  const std::string jpeg = (picked_ / "a.jpg").string();
  testing::SaveJpeg(testing::Gradient(640, 480), jpeg);
  struct Case {
    std::string file;  // made deep before the request, checked unchanged after it
    std::string content;
    std::string request;
    Json answer;
    Calls calls;
  };
  const std::string decl = kDeclaration;
  const std::vector<Case> cases = {
      {"",
       "",
       "<invoke name=\"WriteFile\" returntype=\"xml\"><arguments><string>" +
           (ws_ / "notes/deep.xml").string() + "</string>" + deep + "</arguments></invoke>",
       nullptr,
       {"box: Can't recognize ActiveX request"}},
      {std::string(kPart) + "/photos.xml",
       decl + "<album>" + deep + "</album>",
       AddPhoto(Part()),
       Json{{"files", {jpeg}}},
       {ReloadContentMessage()}},
      {kCatalogue,
       decl + "<albums>" + deep + "</albums>",
       Request("importAlbum", {"Deep"}),
       Json{{"folder", source_.string()}},
       {}},
      {std::string(kKeywords) + "/keywordsdb.xml",
       "<db>" + deep + "</db>",
       Request("AddKeyWords", {"sky", (ws_ / kKeywords).string(), "2", "1"}),
       nullptr,
       {}},
      {std::string(kKeywords) + "/1.xml",
       "<keys>" + deep + "</keys>",
       Request("AddKeyWords", {"sky", (ws_ / kKeywords).string(), "2", "1"}),
       nullptr,
       {}},
      {"",
       "",
       Request("SavePreview",
               {jpeg, (ws_ / "out.jpg").string(), "", "1", "<adjust>" + deep + "</adjust>"}),
       nullptr,
       {"box: Can't load XML", ReloadPreviewMessage()}},
  };
  Program program(ws_);
  const FileMap before = Tree(ws_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 60));
    if (!c.file.empty()) testing::WriteBytes((ws_ / c.file).string(), c.content);
    EXPECT_EQ(program.Run(c.request, c.answer), c.calls);
    if (!c.file.empty()) {
      EXPECT_EQ(testing::Bytes((ws_ / c.file).string()), c.content);
      testing::WriteBytes((ws_ / c.file).string(), before.at(c.file));
    }
    EXPECT_EQ(Differences(Tree(ws_), before), Paths{}) << "a file was written";
  }
  // Still answering: a plain request works after all of them.
  EXPECT_EQ(program.Run(Request("WriteFile", {(ws_ / "notes/after.xml").string(), "<ok/>"})),
            Calls{});
  EXPECT_EQ(testing::Bytes((ws_ / "notes/after.xml").string()), "<ok/>");
  program.Close();
}

TEST(HostileNamesTest, SpacesQuotesAmpersandsAndAccentsInEveryName) {
  ASSERT_TRUE(ImageCodec::Initialise());
  testing::TempFolder folder;
  const std::string tricky = "it's \"a\" & <b> Zo\xC3\xAB";
  const fs::path ws = fs::path(folder.path()) / ("work space " + tricky);
  const fs::path source = fs::path(folder.path()) / ("album from " + tricky);
  MakeAlbumFiles(ws, source);
  const std::string photo = (fs::path(folder.path()) / ("photo " + tricky + ".jpg")).string();
  testing::SaveJpeg(testing::Gradient(1600, 1200), photo);

  Program program(ws);
  // A photo with such a name into a folder below such a root.
  const std::string part = ws.string() + "\\MyAlbums\\1\\photoparts\\1";
  EXPECT_EQ(program.Run(AddPhoto(part), Json{{"files", {photo}}}), ImportCalls(1, 0));
  EXPECT_EQ(testing::SizeOf((ws / kPart / "big/1.jpg").string()), (testing::Size2{700, 525}));
  EXPECT_NE(testing::Bytes((ws / kPart / "photos.xml").string()).find("<file>1.jpg</file>"),
            std::string::npos);

  // Keywords, an album name and a movie file with such characters.
  EXPECT_EQ(program.Run(Request("AddKeyWords", {tricky, (ws / kKeywords).string(), "3", "1"})),
            Calls{});
  EXPECT_EQ(program.Run(Request("GetKeyWords", {(ws / kKeywords).string(), "3", "1"})),
            Calls{SetKeyWordsMessage(EncodeMessageText(tricky))});
  EXPECT_EQ(program.Run(Request("importAlbum", {tricky}), Json{{"folder", source.string()}}),
            Calls{ReloadContentMessage()});
  EXPECT_EQ(testing::Capture("xmllint --xpath 'string(/albums/album[@id=2]/name)' " +
                             testing::Quote((ws / kCatalogue).string())),
            tricky + "\n");
  EXPECT_EQ(testing::Bytes((ws / "MyAlbums/2/photoparts/1/photos.xml").string()),
            testing::Bytes((source / "photoparts/1/photos.xml").string()));
  const fs::path file = ws / ("notes/" + tricky + ".xml");
  const std::string content = "<n a=\"" + EncodeMessageText(tricky) + "\"/>";
  EXPECT_EQ(program.Run(Request("WriteFile", {file.string(), content})), Calls{});
  EXPECT_EQ(testing::Bytes(file.string()), content);

  for (const auto& [path, bytes] : Tree(ws)) {
    if (path.ends_with(".xml")) {
      EXPECT_TRUE(WellFormed(ws / path)) << path;
    }
  }
  program.Close();
}

// ---------------------------------------------------------------------------
// Read-only workspace and full disk.

// Gives this process, and the programs it starts, a mount namespace of its
// own (mounts made in it vanish with the process). False when the system
// does not allow it.
bool PrivateMountNamespace() {
  static const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                         ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return ok;
}

// Runs every kind of write the program makes, each expected to fail with
// its usual report, and checks that the workspace is exactly as before.
// `text_size` is the length of the texts written.
void EveryWriteFailsAndNothingChanges(Program& program, const fs::path& ws,
                                      const std::string& photo, size_t text_size) {
  const FileMap before = Tree(ws);
  const std::string text = std::string(kDeclaration) + "<n>" + std::string(text_size, 'x') + "</n>";
  EXPECT_EQ(program.Run(Request("WriteFile", {(ws / "notes/old.xml").string(), text})),
            Calls{WriteFileError()});
  EXPECT_EQ(program.Run(Request("WriteLFile", {"notes\\old.xml", text})), Calls{WriteFileError()});
  EXPECT_EQ(program.Run(Request("WriteFile", {(ws / "notes/new.xml").string(), text})),
            Calls{WriteFileError()});
  EXPECT_EQ(program.Run(AddPhoto((ws / kPart).string()), Json{{"files", {photo}}}),
            ImportCalls(1, 1));
  for (const char* p : {"1", "2"}) {  // a photo with keywords and one without
    EXPECT_EQ(program.Run(Request(
                  "AddKeyWords", {std::string(text_size, 'k'), (ws / kKeywords).string(), p, "1"})),
              Calls{});
  }
  std::vector<std::string> dot_names;
  EXPECT_EQ(Differences(Tree(ws, &dot_names), before), Paths{}) << "changed or left behind";
  EXPECT_TRUE(dot_names.empty()) << dot_names.front();
}

class HostileFolderTest : public HostileInputTest {
 protected:
  void TearDown() override {
    if (mounted_) ::umount2(ws_.c_str(), MNT_DETACH);
    if (chmodded_) {
      for (const auto& entry : fs::recursive_directory_iterator(ws_)) {
        if (entry.is_directory())
          fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      }
      fs::permissions(ws_, fs::perms::owner_all, fs::perm_options::add);
    }
  }

  std::string NoisePhoto() {
    const std::string path = (picked_ / "noise.jpg").string();
    SaveNoise(1600, 1200, path);
    return path;
  }

  bool mounted_ = false;
  bool chmodded_ = false;
};

TEST_F(HostileFolderTest, ReadOnlyWorkspaceReportsEveryWriteAndKeepsEveryFile) {
  if (PrivateMountNamespace() &&
      ::mount(ws_.c_str(), ws_.c_str(), nullptr, MS_BIND, nullptr) == 0) {
    mounted_ = true;
    ASSERT_EQ(::mount(nullptr, ws_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);
  } else if (::geteuid() != 0) {
    chmodded_ = true;
    for (const auto& entry : fs::recursive_directory_iterator(ws_)) {
      if (entry.is_directory())
        fs::permissions(entry.path(), fs::perms::all & ~fs::perms::owner_write &
                                          ~fs::perms::group_write & ~fs::perms::others_write);
    }
    fs::permissions(ws_, fs::perms::owner_read | fs::perms::owner_exec);
  } else {
    GTEST_SKIP() << "cannot mount here, and permissions do not stop root from writing: a "
                    "read-only workspace cannot be made";
  }
  const std::string photo = NoisePhoto();
  Program program(ws_);
  EveryWriteFailsAndNothingChanges(program, ws_, photo, 1000);
  const FileMap before = Tree(ws_);
  // The album cannot even get its folder: nothing is registered or sent.
  EXPECT_EQ(program.Run(Request("importAlbum", {"x"}), Json{{"folder", source_.string()}}),
            Calls{});
  EXPECT_EQ(program.Run(Request("MakeDir", {(ws_ / "new").string()})),
            Calls{ShowAlertMessage("mkdir_error_h", "mkdir_error", 0)});
  EXPECT_EQ(Differences(Tree(ws_), before), Paths{});
  program.Close();
}

class FullDiskTest : public HostileFolderTest {
 protected:
  void SetUp() override {
    HostileInputTest::SetUp();
    // The workspace moves onto a 2 MB file system of its own when mounts
    // are allowed.
    const fs::path plain = fs::path(folder_.path()) / "plain";
    fs::rename(ws_, plain);
    fs::create_directories(ws_);
    if (PrivateMountNamespace() &&
        ::mount("tmpfs", ws_.c_str(), "tmpfs", 0, "size=2m,mode=0755") == 0) {
      mounted_ = true;
    }
    fs::copy(plain, ws_, fs::copy_options::recursive);
  }

  // Leaves about `free_bytes` free on the workspace's file system; without
  // a mount of its own, the next program started gets a file-size limit of
  // `free_bytes` instead, which fails its writes in the same way.
  void LeaveFree(size_t free_bytes) {
    free_bytes_ = free_bytes;
    if (!mounted_) return;
    const fs::path filler = ws_ / "filler";
    fs::remove(filler);
    struct statvfs info {};
    ASSERT_EQ(::statvfs(ws_.c_str(), &info), 0);
    const size_t available = static_cast<size_t>(info.f_bavail) * info.f_bsize;
    ASSERT_GT(available, free_bytes);
    testing::WriteBytes(filler.string(), std::string(available - free_bytes, 'f'));
    if (free_bytes == 0) {
      // Whatever the rounding left: the next byte fails.
      FILE* file = std::fopen(filler.c_str(), "ab");
      while (file != nullptr && std::fputc('f', file) != EOF && std::fflush(file) == 0) {
      }
      if (file != nullptr) std::fclose(file);
    }
  }

  std::unique_ptr<Program> Start() {
    if (mounted_) return std::make_unique<Program>(ws_);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limited{static_cast<rlim_t>(free_bytes_), old.rlim_max};
    // The program inherits the limit, and the ignored signal, so that an
    // over-long write fails with an error instead of ending it.
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    auto program = std::make_unique<Program>(ws_);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_DFL);
    return program;
  }

  size_t free_bytes_ = 0;
};

TEST_F(FullDiskTest, FullDiskReportsEveryWriteAndKeepsTheOldFiles) {
  if (!mounted_)
    std::cout << "no tmpfs mount here: a file-size limit stands in for the full disk\n";
  const std::string photo = NoisePhoto();
  const FileMap start = Tree(ws_);
  {
    LeaveFree(0);
    auto program = Start();
    EveryWriteFailsAndNothingChanges(*program, ws_, photo, 1000);
    // The album's copy fails, then its catalogue entry: nothing is left.
    EXPECT_EQ(program->Run(Request("importAlbum", {"x"}), Json{{"folder", source_.string()}}),
              Calls{});
    EXPECT_FALSE(fs::exists(ws_ / "MyAlbums/2"));
    program->Close();
  }
  {
    // Room for small files only: long texts, renditions and the album's
    // photos do not fit.
    LeaveFree(48 * 1024);
    auto program = Start();
    EveryWriteFailsAndNothingChanges(*program, ws_, photo, 200 * 1024);
    // The catalogue entry fits, the album's photos do not: the album is
    // registered (as when its copy fails for any reason) with no half copy.
    EXPECT_EQ(program->Run(Request("importAlbum", {"x"}), Json{{"folder", source_.string()}}),
              Calls{ReloadContentMessage()});
    EXPECT_TRUE(WellFormed(ws_ / kCatalogue));
    EXPECT_NE(testing::Bytes((ws_ / kCatalogue).string()).find("<album id=\"2\">"),
              std::string::npos);
    const fs::path copy = ws_ / "MyAlbums/2/photoparts";
    if (fs::exists(copy)) {
      EXPECT_EQ(Differences(Tree(copy), Tree(source_ / "photoparts")), Paths{})
          << "a half copy of the album";
    }
    program->Close();
  }
  std::vector<std::string> dot_names;
  FileMap end = Tree(ws_, &dot_names);
  end.erase("filler");
  end.erase(kCatalogue);
  for (auto it = end.begin(); it != end.end();) {
    it = it->first.starts_with("MyAlbums/2/") ? end.erase(it) : std::next(it);
  }
  FileMap expected = start;
  expected.erase(kCatalogue);
  EXPECT_EQ(Differences(end, expected), Paths{});
  EXPECT_TRUE(dot_names.empty()) << dot_names.front();
}

}  // namespace
}  // namespace lumireel
