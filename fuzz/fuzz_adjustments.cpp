// Fuzz target: adjustment documents as the movie's editor sends them, through
// DecodeAdjustmentText and ReadAdjustments, and the edit they ask for
// (ProcessImage: the colour pass, the geometry pass, the outputs) on a
// 16 x 16 photo, once in preview mode and once in full mode.
//
// Checked: decoding doubles every backslash and keeps the others' count;
// ProcessImage refuses exactly the documents ReadAdjustments refuses; after
// every edit the photo list still parses, and when a preview was written the
// list records the size the preview file really has.
//
// Documents that ask for a crop or a preview box larger than kMaxSide a side
// or kMaxPixels in all skip the edit: such pictures take seconds to make
// (the program allows 200 million pixels) and are tried by the hostile-input
// tests; the parse is fuzzed all the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/invoke_request.h"
#include "bridge/pacing.h"
#include "imaging/adjustments.h"
#include "imaging/image_codec.h"
#include "imaging/process_image.h"
#include "library/stored_xml.h"
#include "support/fake_platform.h"
#include "support/fuzz_sandbox.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMaxSide = 1024;
constexpr std::int64_t kMaxPixels = 1 << 18;
constexpr char kList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?><album mwidth=\"40\" mheight=\"30\" id=\"1\">"
    "<photo><id>1</id><file>1.jpg</file><name/><w>16</w><h>16</h></photo></album>";

struct Files {
  std::string root;     // the workspace root: its tmp folder holds working copies
  std::string folder;   // the photo folder, ending with a separator
  std::string list;     // folder + photos.xml
  std::string big;      // folder + big/1.jpg
  std::string preview;  // where preview mode writes
  std::string photo;    // the photo's bytes
};
Files g_files;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_adjustments: %s\n", what);
  std::abort();
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Small(std::int64_t width, std::int64_t height) {
  return width <= kMaxSide && height <= kMaxSide &&
         std::max<std::int64_t>(width, 0) * std::max<std::int64_t>(height, 0) <= kMaxPixels;
}

bool SmallEnough(const AdjustmentPlan& plan) {
  if (!Small(plan.max_width, plan.max_height)) return false;
  return std::all_of(plan.geometry.begin(), plan.geometry.end(), [](const GeometryStep& step) {
    return step.kind != GeometryStep::Kind::kCrop || Small(step.crop.width, step.crop.height);
  });
}

// The list parses; returns the size it records for photo 1 (0 x 0 without).
std::pair<long, long> RecordedSize() {
  CXmlDocument list;
  Check(ParseStoredXml(ReadBytes(g_files.list), list), "the photo list no longer parses");
  for (const auto& photo : list.RootElement()->children()) {
    const std::string* id = photo->GetChildValue("id");
    if (id == nullptr || *id != "1") continue;
    const std::string* w = photo->GetChildValue("w");
    const std::string* h = photo->GetChildValue("h");
    return {w != nullptr ? ReadDecimal(*w) : 0, h != nullptr ? ReadDecimal(*h) : 0};
  }
  return {0, 0};
}

void CheckPreview(EditResult result, const std::string& preview) {
  const std::pair<long, long> recorded = RecordedSize();
  if (result != EditResult::kWritten) return;
  const Image written = ImageCodec::DecodeFile(preview);
  Check(written.decoded(), "the written preview does not decode");
  Check(recorded.first == static_cast<long>(written.width()) &&
            recorded.second == static_cast<long>(written.height()),
        "the list records another size than the preview has");
}

}  // namespace
}  // namespace lumireel

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  using namespace lumireel;
  const std::string scratch = fuzzing::SetUpFuzzTarget(argc, argv, "fuzz_adjustments");
  Check(ImageCodec::Initialise(), "the image library does not start");
  g_files.root = scratch;
  g_files.folder = scratch + "/album/";
  g_files.list = g_files.folder + "photos.xml";
  g_files.big = g_files.folder + "big/1.jpg";
  g_files.preview = scratch + "/preview.jpg";
  fs::create_directories(g_files.folder + "big");
  fs::create_directories(g_files.folder + "preview");
  const vips::VImage xyz = vips::VImage::xyz(16, 16);
  (xyz[0] * 16)
      .bandjoin(xyz[1] * 16)
      .bandjoin(vips::VImage::black(16, 16) + 96)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
      .jpegsave(g_files.big.c_str());
  g_files.photo = ReadBytes(g_files.big);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumireel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string decoded = DecodeAdjustmentText(text);
  Check(std::count(decoded.begin(), decoded.end(), '\\') ==
            2 * std::count(text.begin(), text.end(), '\\'),
        "decoding did not double every backslash");

  const std::optional<AdjustmentPlan> plan = ReadAdjustments(text);
  if (plan && !SmallEnough(*plan)) return 0;

  testing::FakeDialogs dialogs;
  Pacing pacing(0);
  const EditServices services{dialogs, pacing};
  const std::string document(text);

  // Preview mode: the photo stays, the preview goes to its own file.
  WriteBytes(g_files.list, kList);
  WriteBytes(g_files.big, g_files.photo);
  std::error_code ec;
  fs::remove(g_files.preview, ec);
  const EditResult preview = ProcessImage(
      {g_files.big, g_files.preview, document, g_files.root, true, g_files.list, "1"}, services);
  Check((preview == EditResult::kBadDocument) == !plan,
        "ProcessImage and ReadAdjustments disagree on the document");
  CheckPreview(preview, g_files.preview);

  // Full mode: the photo is replaced and its preview regenerated.
  const EditResult full = ProcessImage(
      {g_files.big, "", document, g_files.root, false, g_files.folder, "1"}, services);
  CheckPreview(full, g_files.folder + "preview/1.jpg");
  return 0;
}
