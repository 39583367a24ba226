// Fuzz target: the decoding path of the image codec, from a file as the
// program always decodes: SniffSourceFormat, SourceImage::Open (header,
// pixel limits, EXIF orientation, the program's own BMP reader) and
// SourceImage::Load shrunk for a 64 x 64 rendition as an import does, and
// ImageCodec::DecodeFile (the whole picture, upright, 8-bit sRGB) as an
// edit does.
//
// The metadata reader of the import (ReadMetadataFacts: EXIF, IPTC and XMP
// through exiv2) runs on every input too.
//
// Checked: no fact read is longer than the program takes; a decoded picture
// has a size, 8-bit pixels with three or four bands and flags that agree
// with them; when both the header and the whole picture are read, they agree
// on the upright size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "imaging/image_codec.h"
#include "imaging/photo_facts.h"
#include "imaging/pixel_ops.h"
#include "imaging/source_image.h"
#include "support/fuzz_sandbox.h"

namespace lumireel {
namespace {

std::string g_file;  // each input is written here

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_image_decode: %s\n", what);
  std::abort();
}

// A small rendition of the picture as an import makes it; errors of the
// library are results here.
void RenderSmall(const SourceImage& source) {
  try {
    const vips::VImage pixels = source.Load(64, 64, /*sequential=*/true);
    const vips::VImage small = ResizeExact(ToRgb(pixels), 64, 64);
    (void)small.avg();
  } catch (const vips::VError&) {
    vips_error_clear();
  }
}

}  // namespace
}  // namespace lumireel

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  using namespace lumireel;
  g_file = fuzzing::SetUpFuzzTarget(argc, argv, "fuzz_image_decode") + "/input";
  Check(ImageCodec::Initialise(), "the image library does not start");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumireel;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(g_file, std::ios::binary | std::ios::trunc) << bytes;
  const SourceFormat format = SniffSourceFormat(bytes);

  const MetadataFacts facts = ReadMetadataFacts(g_file);
  Check(facts.camera.size() <= 2 * kMaxFactLength + 1 && facts.caption.size() <= kMaxFactLength &&
            facts.taken.size() <= 19,
        "a fact longer than the program takes");

  std::string error;
  const std::optional<SourceImage> source = SourceImage::Open(g_file, &error);
  Check(source.has_value() || !error.empty(), "a file refused without a reason");
  if (source) {
    Check(source->format() == format, "the format is not the sniffed one");
    Check(source->width() > 0 && source->height() > 0, "a picture without pixels was opened");
    RenderSmall(*source);
  }

  const Image image = ImageCodec::DecodeFile(g_file);
  if (!image.decoded()) return 0;
  const vips::VImage& pixels = image.pixels();
  Check(image.width() > 0 && image.height() > 0, "a decoded picture without pixels");
  Check(pixels.format() == VIPS_FORMAT_UCHAR && (pixels.bands() == 3 || pixels.bands() == 4),
        "decoded pixels that are not 8-bit RGB");
  Check(((image.flags() & kImageFlagHasAlpha) != 0) == (pixels.bands() == 4),
        "the alpha flag does not match the bands");
  Check(source.has_value(), "a picture decoded whose header was refused");
  Check(source->width() == image.width() && source->height() == image.height(),
        "the header and the picture disagree on the size");
  return 0;
}
