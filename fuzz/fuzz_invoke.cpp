// Fuzz target: whole requests of the movie through the application's own
// wiring (CVellumcast2App::InitInstance: main window, dispatcher, file,
// library, photo and publishing commands, job queues) on the in-memory
// platform of the unit tests, in a temporary workspace that holds an album
// with a photo, its lists and keyword folder, and a few small pictures.
//
// An input is up to kMaxRequests request texts, separated by lines that hold
// only "%%" (kSeparator), so that seeds stay readable text. They reach the
// program as the movie's FlashCall events, in order, on the main window's
// loop; then every job they queued (import, edit, publish) is awaited, so
// that one input never leaks into the next. Each input starts from a fresh
// copy of the workspace.
//
// SAFETY. This runs as root on a real machine: whatever the input, nothing
// outside the workspace may be written, deleted or moved.
// 1. The workspace is the current folder and the program's rootPath, and
//    the requests are read first with the program's own reader
//    (ReadInvokeRequest): an input is skipped as a whole when an argument
//    text of either view (each positional value and inner text, each string
//    argument) starts with '/', '\' or '~' or holds "..". The program takes
//    every other path relative to the current folder or joins it to
//    rootPath, and creates no symbolic links, so what is left stays inside.
// 2. Commands whose files come from a dialog (AddPhoto, importAlbum,
//    Publish, MoveMedia, MoveLogo, MoveMp3) meet pickers that always
//    cancel, so they end before they touch a file. Message boxes answer OK
//    when it is the only button and Cancel otherwise.
// 3. Behind both, the writes of the whole process are confined to the
//    scratch folder and libFuzzer's output folders (fuzz_sandbox.h).
// Window commands act on the fake window only; drag and resize trackers end
// with the main window when the input ends.
//
// TIME. Pauses are removed (pace 0). Inputs are skipped when a request text
// holds a number of more than three digits, or writes a file that the
// program would take for a picture, so that no image an input can make is
// larger than about a million pixels and one input takes a fraction of a
// second. Large and hostile pictures are the business of fuzz_image_decode
// and of the hostile-input tests.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/application.h"
#include "app/jobs.h"
#include "bridge/code_page.h"
#include "bridge/invoke_request.h"
#include "bridge/pacing.h"
#include "imaging/image_codec.h"
#include "imaging/source_image.h"
#include "support/fake_platform.h"
#include "support/fuzz_sandbox.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxRequests = 4;
constexpr std::string_view kSeparator = "\n%%\n";
constexpr std::size_t kMaxDigits = 3;

std::string g_seed;       // the workspace as every input starts with it
std::string g_workspace;  // the copy an input works on

// Pickers that always cancel, whatever answers the fake would give.
class CancellingDialogs : public testing::FakeDialogs {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const platform::OpenFileRequest&) override {
    return std::nullopt;
  }
  std::optional<std::string> PickFolder(const platform::FolderRequest&) override {
    return std::nullopt;
  }
};

// True when the argument text cannot name anything outside the workspace.
bool StaysInside(std::string_view text) {
  if (!text.empty() && (text.front() == '/' || text.front() == '\\' || text.front() == '~')) {
    return false;
  }
  return text.find("..") == std::string_view::npos;
}

bool HasLongNumber(std::string_view text) {
  std::size_t run = 0;
  for (char c : text) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > kMaxDigits) return true;
  }
  return false;
}

// True when a file written with `content` could be decoded as a picture:
// the content as given, made well-formed UTF-8, and with CR LF line ends.
bool LooksLikePicture(std::string_view content) {
  std::string written = ToValidUtf8(content);
  std::string crlf;
  for (char c : written) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (std::string_view text : {content, std::string_view(written), std::string_view(crlf)}) {
    if (SniffSourceFormat(text.substr(0, 64)) != SourceFormat::kUnknown) return true;
  }
  return false;
}

// See SAFETY and TIME above.
bool AcceptRequest(std::string_view text) {
  if (HasLongNumber(text)) return false;
  const ReadRequestResult read = ReadInvokeRequest(text);
  if (!read.request) return true;  // the dispatcher only shows a message box
  const InvokeRequest& request = *read.request;
  for (std::size_t i = 0; i < request.PositionalCount(); ++i) {
    if (!StaysInside(request.Value(i)) || !StaysInside(request.InnerText(i))) return false;
  }
  for (std::size_t i = 0; i < request.StringCount(); ++i) {
    const char* arg = request.StringArg(i);
    if (arg != nullptr && !StaysInside(arg)) return false;
  }
  const char* name = request.StrictName();
  if (name != nullptr && (std::string_view(name) == "WriteFile" ||
                          std::string_view(name) == "WriteLFile")) {
    const char* content = request.StringArg(1);
    if (content != nullptr && LooksLikePicture(content)) return false;
  }
  return true;
}

void Write(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A w x h picture with a colour ramp, so that edits change its pixels.
vips::VImage Ramp(int width, int height) {
  const vips::VImage xyz = vips::VImage::xyz(width, height);
  return (xyz[0] * 16)
      .bandjoin(xyz[1] * 16)
      .bandjoin(vips::VImage::black(width, height) + 96)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// The workspace every input starts from: the catalogue with album 1, whose
// part 1 holds photo 1 (16 x 16), and loose pictures in `pictures`.
void MakeSeedWorkspace(const fs::path& seed) {
  constexpr char kHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";
  const fs::path album = seed / "MyAlbums" / "1";
  const fs::path part = album / "photoparts" / "1";
  for (const fs::path& folder : {album / "logo", album / "synchronization",
                                 album / "photoparts" / "sounds", part / "big", part / "preview",
                                 seed / "tmp", seed / "pictures"}) {
    fs::create_directories(folder);
  }
  Write(seed / "quillmarZEL.snt", "<html></html>");
  Write(seed / "quillmaralbumsettings" / "quillmaralbums.xml",
        std::string(kHead) +
            "<albums location=\"MyAlbums\"><album id=\"1\"><name>Holiday</name>"
            "<pwidth>180</pwidth><pheight>180</pheight><bwidth>700</bwidth><bheight>700</bheight>"
            "<skeen>snakeeye</skeen><lang>en</lang><color>0xCC00FF</color><logo /><ftp />"
            "</album></albums>");
  Write(album / "photoparts" / "parts.xml",
        std::string(kHead) + "<parts><part folder=\"1\" name=\"First day\" /></parts>");
  Write(album / "photoparts" / "keywordsDB" / "keywordsdb.xml",
        std::string(kHead) + "<keys><t>1</t>\r\n</keys>");
  Write(album / "photoparts" / "keywordsDB" / "1.xml",
        std::string(kHead) + "<keys><s p=\"1\" a=\"1\">sea sand</s></keys>");
  Write(part / "photos.xml",
        std::string(kHead) +
            "<album mwidth=\"40\" mheight=\"30\" id=\"1\"><photo><id>1</id><file>1.jpg</file>"
            "<name/><w>16</w><h>16</h></photo></album>");
  const vips::VImage ramp = Ramp(16, 16);
  ramp.jpegsave((part / "big" / "1.jpg").c_str());
  ramp.jpegsave((part / "preview" / "1.jpg").c_str());
  ramp.jpegsave((part / "album.jpg").c_str());
  ramp.jpegsave((seed / "pictures" / "a.jpg").c_str());
  ramp.bandjoin(vips::VImage::black(16, 16) + 128)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
      .pngsave((seed / "pictures" / "b.png").c_str());
  ramp.gifsave((seed / "pictures" / "c.gif").c_str());
}

// Replaces the workspace with a fresh copy of the seed and enters it. A
// copy interrupted by a signal (libFuzzer's timer) is made again; any other
// failure ends the run with what was found.
void ResetWorkspace() {
  std::error_code ec;
  const char* step = "";
  for (int attempt = 0; attempt < 10; ++attempt) {
    step = "remove the last workspace";
    fs::remove_all(g_workspace, ec);
    if (!ec) {
      step = "copy the seed";
      fs::copy(g_seed, g_workspace, fs::copy_options::recursive, ec);
    }
    if (ec != std::errc::interrupted) break;
  }
  if (!ec && chdir(g_workspace.c_str()) != 0) {
    step = "enter the workspace";
    ec.assign(errno, std::generic_category());
  }
  if (!ec) return;
  std::fprintf(stderr, "fuzz_invoke: cannot %s (%s): %s\n", step, g_workspace.c_str(),
               ec.message().c_str());
  std::error_code ignored;
  std::fprintf(stderr, "  the seed is %s\n", fs::is_directory(g_seed, ignored) ? "there" : "gone");
  for (const auto& entry : fs::recursive_directory_iterator(g_workspace, ignored)) {
    std::fprintf(stderr, "  left: %s\n", entry.path().c_str());
  }
  std::abort();
}

std::vector<std::string> SplitRequests(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> requests;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t begin = 0;
  while (begin <= input.size() && requests.size() < kMaxRequests) {
    std::size_t end = input.find(kSeparator, begin);
    if (end == std::string_view::npos) end = input.size();
    requests.emplace_back(input.substr(begin, end - begin));
    begin = end + kSeparator.size();
  }
  return requests;
}

}  // namespace
}  // namespace lumireel

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  using namespace lumireel;
  const std::string scratch = fuzzing::SetUpFuzzTarget(argc, argv, "fuzz_invoke");
  if (!ImageCodec::Initialise()) {
    std::fprintf(stderr, "fuzz_invoke: the image library does not start\n");
    std::abort();
  }
  g_seed = scratch + "/seed";
  g_workspace = scratch + "/workspace";
  MakeSeedWorkspace(g_seed);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumireel;
  const std::vector<std::string> requests = SplitRequests(data, size);
  for (const std::string& request : requests) {
    if (!AcceptRequest(request)) return -1;  // not kept in the corpus
  }
  ResetWorkspace();

  testing::FakeWindow window;
  testing::FakeMovieControl movie;
  CancellingDialogs dialogs;
  Pacing pacing(0);
  // The queues' workers outlive the inputs (starting three threads for
  // every input would cost more than most inputs); each input leaves them
  // idle.
  static Jobs jobs;
  const auto wait_for_jobs = [] {
    jobs.import.WaitIdle();
    jobs.edit.WaitIdle();
    jobs.publish.WaitIdle();
  };
  // The main loop delivers the requests once start-up is done, then waits
  // for the jobs and ends.
  for (const std::string& request : requests) {
    window.Post([&movie, request] { movie.SendRequest(request); });
  }
  window.Post([&] {
    wait_for_jobs();
    window.PostQuit(0);
  });
  CVellumcast2App app(window, movie, dialogs, pacing, jobs);
  app.InitInstance();
  wait_for_jobs();
  return 0;
}
