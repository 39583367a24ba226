// The quality of the import benchmark's big renditions: the SSIM of each
// rendition against a Lanczos3 reduction of the fully decoded photo (turned
// upright as its orientation says) to the rendition's own size, on the
// luminance, with the usual 11-tap Gaussian window of sigma 1.5.
//
//   lumireel_bench_ssim RENDITION_DIR FILE...
//
// Photo n (from 1) of FILE... is compared with RENDITION_DIR/<n>.jpg. Prints
// {"mean": M, "min": L, "photos": N}: the mean and the lowest SSIM.
#include <vips/vips8>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using vips::VImage;

constexpr double kSigma = 1.5;
constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
constexpr double kC2 = (0.03 * 255) * (0.03 * 255);

VImage Luminance(const VImage& in) {
  VImage rgb = in;
  if (rgb.has_alpha()) rgb = rgb.flatten();
  if (rgb.interpretation() != VIPS_INTERPRETATION_sRGB) {
    rgb = rgb.colourspace(VIPS_INTERPRETATION_sRGB);
  }
  if (rgb.bands() > 3) rgb = rgb.extract_band(0, VImage::option()->set("n", 3));
  return rgb.recomb(VImage::new_matrixv(3, 1, 0.299, 0.587, 0.114)).cast(VIPS_FORMAT_FLOAT);
}

VImage Blur(const VImage& in) {
  return in.gaussblur(kSigma, VImage::option()->set("precision", VIPS_PRECISION_FLOAT));
}

double Ssim(const VImage& x, const VImage& y) {
  const VImage mx = Blur(x);
  const VImage my = Blur(y);
  const VImage sxx = Blur(x * x) - mx * mx;
  const VImage syy = Blur(y * y) - my * my;
  const VImage sxy = Blur(x * y) - mx * my;
  const VImage map = ((2 * mx * my + kC1) * (2 * sxy + kC2)) /
                     ((mx * mx + my * my + kC1) * (sxx + syy + kC2));
  return map.avg();
}

// The reference: the whole photo decoded, upright, reduced with Lanczos3 to
// exactly `width` x `height`, in floating point (no 8-bit rounding inside the
// reduction, whichever code path the library takes for 8-bit pixels).
VImage Reference(const std::string& path, int width, int height) {
  const VImage photo =
      VImage::new_from_file(path.c_str()).autorot().cast(VIPS_FORMAT_FLOAT);
  VImage reduced =
      photo.reduce(static_cast<double>(photo.width()) / width,
                   static_cast<double>(photo.height()) / height,
                   VImage::option()->set("kernel", VIPS_KERNEL_LANCZOS3)->set("gap", 0.0));
  if (reduced.width() != width || reduced.height() != height) {
    reduced = reduced.embed(0, 0, width, height, VImage::option()->set("extend", VIPS_EXTEND_COPY))
                  .crop(0, 0, width, height);
  }
  // The ringing beyond black and white no 8-bit picture can hold.
  reduced = (reduced < 0).ifthenelse(0, reduced);
  return (reduced > 255).ifthenelse(255, reduced);
}

}  // namespace

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0]) != 0 || argc < 3) {
    std::fprintf(stderr, "usage: %s RENDITION_DIR FILE...\n", argv[0]);
    return 2;
  }
  double total = 0;
  double lowest = 1;
  int photos = 0;
  try {
    for (int i = 2; i < argc; ++i) {
      const std::string rendition = std::string(argv[1]) + "/" + std::to_string(i - 1) + ".jpg";
      const VImage big = VImage::new_from_file(rendition.c_str());
      const double ssim =
          Ssim(Luminance(big), Luminance(Reference(argv[i], big.width(), big.height())));
      total += ssim;
      lowest = std::min(lowest, ssim);
      ++photos;
    }
  } catch (const vips::VError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("{\"mean\": %.6f, \"min\": %.6f, \"photos\": %d}\n", total / photos, lowest, photos);
  return 0;
}
