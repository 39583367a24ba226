#include "imaging/image_codec.h"

#include <malloc.h>
#include <vips/vector.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "bridge/file_utils.h"
#include "imaging/pixel_ops.h"
#include "imaging/source_image.h"

namespace lumireel {
namespace {

using vips::VImage;

enum class SaverKind { kJpeg, kPng, kGif, kTiff, kWebp };

struct Saver {
  SaverKind kind;
  const char* mime_type;
  const char* operation;  // the library's operation that writes the format
  const char* suffix;
};

// In the order Encoders() lists them; the position gives the fixed id.
constexpr Saver kSavers[] = {
    {SaverKind::kJpeg, "image/jpeg", "jpegsave", ".jpg"},
    {SaverKind::kPng, "image/png", "pngsave", ".png"},
    {SaverKind::kGif, "image/gif", "gifsave", ".gif"},
    {SaverKind::kTiff, "image/tiff", "tiffsave", ".tif"},
    {SaverKind::kWebp, "image/webp", "webpsave", ".webp"},
};

EncoderId SaverId(std::size_t position) {
  EncoderId id;
  constexpr char kStem[] = "lumireel-encode";  // 15 characters
  for (std::size_t i = 0; i + 1 < sizeof kStem; ++i)
    id.bytes[i] = static_cast<std::uint8_t>(kStem[i]);
  id.bytes[15] = static_cast<std::uint8_t>(position + 1);
  return id;
}

const Saver* FindSaver(const EncoderId& id) {
  for (std::size_t i = 0; i < std::size(kSavers); ++i) {
    if (SaverId(i) == id) {
      return vips_type_find("VipsOperation", kSavers[i].operation) != 0 ? &kSavers[i] : nullptr;
    }
  }
  return nullptr;
}

std::uint32_t FlagsOf(const VImage& pixels) {
  return kImageFlagDecoded | kImageFlagColorSpaceRgb |
         (pixels.has_alpha() ? kImageFlagHasAlpha : 0);
}

void WriteWith(const Saver& saver, const VImage& pixels, const std::string& path, int quality) {
  const char* name = path.c_str();
  switch (saver.kind) {
    case SaverKind::kJpeg:
      WriteJpeg(pixels, path, quality);
      break;
    case SaverKind::kPng:
      pixels.pngsave(name, VImage::option()->set("strip", true));
      break;
    case SaverKind::kGif:
      pixels.gifsave(name);
      break;
    case SaverKind::kTiff:
      pixels.tiffsave(name, VImage::option()->set("strip", true));
      break;
    case SaverKind::kWebp:
      pixels.webpsave(name, VImage::option()->set("Q", std::max(quality, 1))->set("strip", true));
      break;
  }
}

}  // namespace

bool ImageCodec::Initialise() {
  static const bool started = [] {
    if (VIPS_INIT("lumireel") != 0) {
      vips_error_clear();
      return false;
    }
    vips_cache_set_max(0);
    // The library compiles some operations (the vertical reduction of every
    // resize among them) into run-time vector code, and frees that code when
    // the operation is disposed. The code allocator frees and merges its
    // chunks without a lock, so two photos rendered at once on two threads
    // could free neighbouring chunks together: a double free or a broken
    // chunk list, which ended the process in the middle of an import. With
    // the vector path off no such code is ever made, and the library takes
    // its plain C paths for the same operations.
    vips_vector_set_enabled(FALSE);
    // The decoders' buffers are large (a progressive JPEG holds all its
    // coefficients, some 100 MB for 16 megapixels) and the library's worker
    // threads come and go. Each thread that allocates gets an arena of its
    // own, up to eight per processor, and every arena keeps what is freed
    // into it: an import of 32 large photos kept up to 400 MB. With one
    // arena per processor the threads reuse each other's memory.
    mallopt(M_ARENA_MAX, static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u)));
    // Failures reach the program as results; the library's own warnings
    // (a truncated file, for example) are not printed.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
        nullptr);
    return true;
  }();
  return started;
}

Image ImageCodec::DecodeFile(const std::string& path) {
  if (!Initialise()) return {};
  const std::optional<SourceImage> source = SourceImage::Open(NativePath(path), nullptr);
  if (!source) return {};
  try {
    VImage pixels = ToRgbKeepAlpha(source->Load(0, 0, /*sequential=*/true)).copy_memory();
    if (source->NeedsTurning()) pixels = TurnUpright(pixels, source->orientation()).copy_memory();
    return Image(pixels, FlagsOf(pixels));
  } catch (const vips::VError&) {
    vips_error_clear();
    return {};
  }
}

Image ImageCodec::NewCanvas(std::uint32_t width, std::uint32_t height) {
  if (!Initialise() || width == 0 || height == 0 || width > kMaxCanvasSide ||
      height > kMaxCanvasSide || static_cast<std::uint64_t>(width) * height > kMaxCanvasPixels) {
    return {};
  }
  try {
    VImage black = VImage::black(static_cast<int>(width), static_cast<int>(height),
                                 VImage::option()->set("bands", 3))
                       .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    return Image(black, FlagsOf(black));
  } catch (const vips::VError&) {
    vips_error_clear();
    return {};
  }
}

Image ImageCodec::CloneArea(const Image& image, std::int64_t x, std::int64_t y, std::int64_t width,
                            std::int64_t height) {
  if (!image.decoded() || x < 0 || y < 0 || width <= 0 || height <= 0 ||
      x + width > image.width() || y + height > image.height()) {
    return {};
  }
  try {
    VImage area =
        ToRgb(image.pixels().extract_area(static_cast<int>(x), static_cast<int>(y),
                                          static_cast<int>(width), static_cast<int>(height)));
    return Image(area, FlagsOf(area));
  } catch (const vips::VError&) {
    vips_error_clear();
    return {};
  }
}

CodecStatus ImageCodec::RotateFlip(Image& image, RotateFlipType type) {
  if (!image.decoded()) return CodecStatus::kNotDecoded;
  try {
    VImage& pixels = image.pixels_;
    switch (type) {
      case RotateFlipType::kRotate90:
        pixels = pixels.rot(VIPS_ANGLE_D90);
        break;
      case RotateFlipType::kRotate180:
        pixels = pixels.rot(VIPS_ANGLE_D180);
        break;
      case RotateFlipType::kRotate270:
        pixels = pixels.rot(VIPS_ANGLE_D270);
        break;
      case RotateFlipType::kMirrorLeftRight:
        pixels = pixels.flip(VIPS_DIRECTION_HORIZONTAL);
        break;
      case RotateFlipType::kMirrorTopBottom:
        pixels = pixels.flip(VIPS_DIRECTION_VERTICAL);
        break;
    }
  } catch (const vips::VError&) {
    vips_error_clear();
    return CodecStatus::kFailed;
  }
  return CodecStatus::kOk;
}

const std::vector<EncoderInfo>& ImageCodec::Encoders() {
  static const std::vector<EncoderInfo> encoders = [] {
    std::vector<EncoderInfo> list;
    if (!Initialise()) return list;
    for (std::size_t i = 0; i < std::size(kSavers); ++i) {
      if (vips_type_find("VipsOperation", kSavers[i].operation) != 0) {
        list.push_back({SaverId(i), kSavers[i].mime_type});
      }
    }
    return list;
  }();
  return encoders;
}

CodecStatus ImageCodec::Save(const Image& image, const std::string& path, const EncoderId& encoder,
                             const EncoderParameters& parameters) {
  if (!image.decoded()) return CodecStatus::kNotDecoded;
  const Saver* saver = FindSaver(encoder);
  if (saver == nullptr) return CodecStatus::kInvalidParameter;
  int quality = 75;
  for (const EncoderParameter& parameter : parameters) {
    if (parameter.kind != EncoderParameterKind::kQuality) continue;
    if (parameter.type != EncoderParameterType::kLong || parameter.values.size() != 1 ||
        parameter.values[0] < 0 || parameter.values[0] > 100) {
      return CodecStatus::kInvalidParameter;
    }
    quality = parameter.values[0];
  }
  const std::string native = NativePath(path);
  TemporaryFile temporary(TemporaryPathIn(FolderOf(native), saver->suffix));
  try {
    WriteWith(*saver, image.pixels(), temporary.path(), quality);
  } catch (const vips::VError&) {
    vips_error_clear();
    return CodecStatus::kFailed;
  }
  return temporary.MoveTo(native) ? CodecStatus::kOk : CodecStatus::kFailed;
}

}  // namespace lumireel
