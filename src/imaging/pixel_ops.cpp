#include "imaging/pixel_ops.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace lumireel {
namespace {

using vips::VImage;

VImage To8BitSrgb(const VImage& in) {
  VImage out = in;
  if (out.interpretation() != VIPS_INTERPRETATION_sRGB) {
    out = out.colourspace(VIPS_INTERPRETATION_sRGB);
  }
  if (out.format() != VIPS_FORMAT_UCHAR) out = out.cast(VIPS_FORMAT_UCHAR);
  return out;
}

// A process-wide prefix for temporary names, so that two processes working
// in one folder never pick the same name.
const std::string& TemporaryPrefix() {
  static const std::string prefix = [] {
    std::random_device random;
    char text[64];
    std::snprintf(text, sizeof text, ".lumireel-%ld-%08x-", static_cast<long>(::getpid()),
                  static_cast<unsigned>(random()));
    return std::string(text);
  }();
  return prefix;
}

// How much reduction a box shrink leaves to the resampling kernel, at least.
constexpr double kShrinkGap = 4.0;

}  // namespace

VImage ToRgb(const VImage& in) {
  VImage out = in;
  if (out.has_alpha()) {
    // Transparent parts show as white paper, as the picture looks on a page,
    // not as black. The alpha's full value follows the sample depth, so that
    // 16-bit pictures are not taken as far more than opaque.
    const double white = out.format() == VIPS_FORMAT_USHORT                  ? 65535.0
                         : out.interpretation() == VIPS_INTERPRETATION_scRGB ? 1.0
                                                                             : 255.0;
    out = out.flatten(VImage::option()
                          ->set("background", std::vector<double>{white})
                          ->set("max_alpha", white));
  }
  out = To8BitSrgb(out);
  if (out.bands() > 3) out = out.extract_band(0, VImage::option()->set("n", 3));
  return out;
}

VImage ToRgbKeepAlpha(const VImage& in) {
  if (!in.has_alpha()) return ToRgb(in);
  VImage out = To8BitSrgb(in);
  if (out.bands() > 4) {
    out = out.extract_band(0, VImage::option()->set("n", 3))
              .bandjoin(out.extract_band(out.bands() - 1));
  }
  return out;
}

VImage ResizeExact(const VImage& in, std::uint32_t width, std::uint32_t height,
                   ResampleKernel kernel) {
  if (static_cast<std::uint32_t>(in.width()) == width &&
      static_cast<std::uint32_t>(in.height()) == height) {
    return in;
  }
  // A large reduction (a preview of a big photo) starts with a box shrink by
  // whole factors that leaves the kernel at least kShrinkGap times the asked
  // size: as close to a fair Lanczos reduction as the library's own shrink
  // step, which is several times slower, so that one is turned off.
  const auto whole_shrink = [](std::uint32_t to, int from) {
    const double factor = static_cast<double>(from) / static_cast<double>(std::max(to, 1u));
    return std::max(1, static_cast<int>(std::floor(factor / kShrinkGap)));
  };
  const int hshrink = whole_shrink(width, in.width());
  const int vshrink = whole_shrink(height, in.height());
  const VImage source = hshrink > 1 || vshrink > 1 ? in.shrink(hshrink, vshrink) : in;
  const double hscale = static_cast<double>(width) / source.width();
  const double vscale = static_cast<double>(height) / source.height();
  const VipsKernel vips_kernel =
      kernel == ResampleKernel::kCubic ? VIPS_KERNEL_CUBIC : VIPS_KERNEL_LINEAR;
  vips::VOption* options = VImage::option()->set("vscale", vscale)->set("kernel", vips_kernel);
#if VIPS_MAJOR_VERSION > 8 || (VIPS_MAJOR_VERSION == 8 && VIPS_MINOR_VERSION >= 13)
  options = options->set("gap", 0.0);
#endif
  VImage out = source.resize(hscale, options);
  // The library rounds the scaled size; a pixel too many is cut off and a
  // pixel too few repeats the edge, so the result always has the asked size.
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  if (out.width() > w || out.height() > h) {
    out = out.extract_area(0, 0, std::min(out.width(), w), std::min(out.height(), h));
  }
  if (out.width() < w || out.height() < h) {
    out = out.embed(0, 0, w, h, VImage::option()->set("extend", VIPS_EXTEND_COPY));
  }
  return out;
}

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

VImage TurnUpright(const VImage& in, int orientation) {
  switch (orientation) {
    case 2:
      return in.flip(VIPS_DIRECTION_HORIZONTAL);
    case 3:
      return in.rot(VIPS_ANGLE_D180);
    case 4:
      return in.flip(VIPS_DIRECTION_VERTICAL);
    case 5:
      return in.rot(VIPS_ANGLE_D90).flip(VIPS_DIRECTION_HORIZONTAL);
    case 6:
      return in.rot(VIPS_ANGLE_D90);
    case 7:
      return in.rot(VIPS_ANGLE_D90).flip(VIPS_DIRECTION_VERTICAL);
    case 8:
      return in.rot(VIPS_ANGLE_D270);
    default:
      return in;
  }
}

void WriteJpeg(const VImage& in, const std::string& native_path, int quality) {
  ToRgb(in).jpegsave(native_path.c_str(),
                     VImage::option()->set("Q", std::clamp(quality, 1, 100))->set("strip", true));
}

std::string FolderOf(const std::string& native_path) {
  const std::size_t slash = native_path.rfind('/');
  return slash == std::string::npos ? std::string(".") : native_path.substr(0, slash + 1);
}

std::string TemporaryPathIn(std::string_view native_folder, std::string_view suffix) {
  static std::atomic<unsigned long> counter{0};
  std::string path(native_folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += TemporaryPrefix();
  path += std::to_string(counter.fetch_add(1));
  path += suffix;
  return path;
}

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

bool TemporaryFile::MoveTo(const std::string& native_destination) {
  if (path_.empty() || std::rename(path_.c_str(), native_destination.c_str()) != 0) return false;
  path_.clear();
  return true;
}

bool SaveJpegReplacing(const VImage& in, const std::string& native_path, int quality) {
  TemporaryFile temporary(TemporaryPathIn(FolderOf(native_path), ".jpg"));
  try {
    WriteJpeg(in, temporary.path(), quality);
  } catch (const vips::VError&) {
    return false;
  }
  return temporary.MoveTo(native_path);
}

}  // namespace lumireel
