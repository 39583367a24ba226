// The floor of the import benchmark: the least work that makes both
// renditions of a photo, with TurboJPEG alone. Every file is read into memory
// before the clock starts. Each photo is decoded once at the strongest
// power-of-two DCT scaling (1/2, 1/4, 1/8: the scalings TurboJPEG's SIMD code
// decodes fastest) that still keeps the big size on both axes,
// scaled the rest of the way with a plain triangle filter, and encoded as the
// big image (quality 100) and, scaled from that, the preview (quality 93),
// both 4:4:4 as the program writes them. Photos are shared out to THREADS
// threads. Sizes follow the program's rule: the long side is brought to its
// bound and the other follows the aspect ratio.
//
//   lumireel_bench_floor BIG_W BIG_H PREVIEW_W PREVIEW_H THREADS OUT_DIR FILE...
//
// Writes OUT_DIR/big/<n>.jpg and OUT_DIR/preview/<n>.jpg (n from 1; both
// folders must exist) and prints {"seconds": S, "photos": N, "failed": F}:
// S from the first decode to the last file written.
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench_support.h"

namespace {

constexpr int kBigQuality = 100;
constexpr int kPreviewQuality = 93;
constexpr int kWeightBits = 14;

struct Size {
  int width = 0;
  int height = 0;
};

struct Pixels {
  Size size;
  std::vector<unsigned char> rgb;  // width * height * 3
};

// The size inside the box (box_w, box_h): landscape photos take the box's
// width, portrait and square ones its height.
Size FitBox(Size source, int box_w, int box_h) {
  if (source.width > source.height) {
    return {box_w, static_cast<int>(static_cast<long double>(box_w) * source.height /
                                    source.width)};
  }
  return {static_cast<int>(static_cast<long double>(box_h) * source.width / source.height), box_h};
}

// For every output position along one axis: the first input position and
// the fixed-point weights of a triangle filter as wide as the scale factor.
struct Taps {
  std::vector<int> first;
  std::vector<std::vector<int>> weights;
};

Taps MakeTaps(int in, int out) {
  Taps taps;
  const double scale = static_cast<double>(in) / out;
  const double support = std::max(1.0, scale);
  for (int o = 0; o < out; ++o) {
    const double center = (o + 0.5) * scale - 0.5;
    const int lo = std::max(0, static_cast<int>(std::ceil(center - support)));
    const int hi = std::min(in - 1, static_cast<int>(std::floor(center + support)));
    std::vector<double> raw;
    double total = 0;
    for (int i = lo; i <= hi; ++i) {
      raw.push_back(std::max(0.0, 1.0 - std::abs(i - center) / support));
      total += raw.back();
    }
    std::vector<int> fixed;
    int sum = 0;
    for (double w : raw) {
      fixed.push_back(static_cast<int>(std::lround(w / total * (1 << kWeightBits))));
      sum += fixed.back();
    }
    // The rounding error goes to the heaviest tap, so every row sums to 1.
    *std::max_element(fixed.begin(), fixed.end()) += (1 << kWeightBits) - sum;
    taps.first.push_back(lo);
    taps.weights.push_back(std::move(fixed));
  }
  return taps;
}

unsigned char Clamp(int fixed) {
  const int value = (fixed + (1 << (kWeightBits - 1))) >> kWeightBits;
  return static_cast<unsigned char>(std::clamp(value, 0, 255));
}

Pixels Resize(const Pixels& in, Size out) {
  const Taps across = MakeTaps(in.size.width, out.width);
  const Taps down = MakeTaps(in.size.height, out.height);
  std::vector<unsigned char> rows(static_cast<std::size_t>(out.width) * in.size.height * 3);
  for (int y = 0; y < in.size.height; ++y) {
    const unsigned char* src = &in.rgb[static_cast<std::size_t>(y) * in.size.width * 3];
    unsigned char* dst = &rows[static_cast<std::size_t>(y) * out.width * 3];
    for (int x = 0; x < out.width; ++x) {
      int sum[3] = {0, 0, 0};
      const std::vector<int>& weights = across.weights[x];
      const unsigned char* p = src + across.first[x] * 3;
      for (std::size_t t = 0; t < weights.size(); ++t, p += 3) {
        for (int c = 0; c < 3; ++c) sum[c] += p[c] * weights[t];
      }
      for (int c = 0; c < 3; ++c) dst[x * 3 + c] = Clamp(sum[c]);
    }
  }
  Pixels result{out, std::vector<unsigned char>(static_cast<std::size_t>(out.width) * out.height *
                                                3)};
  const std::size_t stride = static_cast<std::size_t>(out.width) * 3;
  for (int y = 0; y < out.height; ++y) {
    const std::vector<int>& weights = down.weights[y];
    unsigned char* dst = &result.rgb[y * stride];
    for (std::size_t i = 0; i < stride; ++i) {
      int sum = 0;
      const unsigned char* p = &rows[down.first[y] * stride + i];
      for (std::size_t t = 0; t < weights.size(); ++t, p += stride) sum += *p * weights[t];
      dst[i] = Clamp(sum);
    }
  }
  return result;
}

struct TjHandle {
  explicit TjHandle(tjhandle h) : handle(h) {}
  ~TjHandle() {
    if (handle != nullptr) tjDestroy(handle);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle handle;
};

bool WriteFile(const std::string& path, const unsigned char* data, unsigned long size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

bool Encode(tjhandle compressor, const Pixels& pixels, int quality, const std::string& path) {
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(compressor, pixels.rgb.data(), pixels.size.width, 0,
                                 pixels.size.height, TJPF_RGB, &jpeg, &size, TJSAMP_444, quality,
                                 0);
  const bool ok = status == 0 && WriteFile(path, jpeg, size);
  tjFree(jpeg);
  return ok;
}

struct Job {
  Size big_box;
  Size preview_box;
  std::string out_dir;
  std::vector<std::string> jpegs;  // the files' bytes
};

// Decodes `jpeg` (of `source` size) at the strongest power-of-two scaling
// that keeps at least `need` on both axes.
bool Decode(tjhandle decompressor, const std::string& jpeg, Size source, Size need, Pixels& out) {
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  Size scaled = source;
  for (int i = 0; i < count; ++i) {
    const int denom = factors[i].denom;
    if (factors[i].num != 1 || denom > 8 || (denom & (denom - 1)) != 0) continue;
    const Size candidate{TJSCALED(source.width, factors[i]), TJSCALED(source.height, factors[i])};
    if (candidate.width >= need.width && candidate.height >= need.height &&
        candidate.width < scaled.width) {
      scaled = candidate;
    }
  }
  out.size = scaled;
  out.rgb.resize(static_cast<std::size_t>(scaled.width) * scaled.height * 3);
  if (tjDecompress2(decompressor, reinterpret_cast<const unsigned char*>(jpeg.data()),
                    jpeg.size(), out.rgb.data(), scaled.width, 0, scaled.height, TJPF_RGB,
                    0) != 0) {
    return tjGetErrorCode(decompressor) == TJERR_WARNING;
  }
  return true;
}

bool RenderOne(tjhandle decompressor, tjhandle compressor, const Job& job, std::size_t index) {
  const std::string* jpeg = &job.jpegs[index];
  Size source;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(decompressor, reinterpret_cast<const unsigned char*>(jpeg->data()),
                          jpeg->size(), &source.width, &source.height, &subsampling,
                          &colourspace) != 0) {
    return false;
  }
  const Size big_size = FitBox(source, job.big_box.width, job.big_box.height);
  const Size preview_size = FitBox(source, job.preview_box.width, job.preview_box.height);
  Pixels decoded;
  if (!Decode(decompressor, *jpeg, source, big_size, decoded)) return false;
  const Pixels big = Resize(decoded, big_size);
  const std::string name = std::to_string(index + 1) + ".jpg";
  if (!Encode(compressor, big, kBigQuality, job.out_dir + "/big/" + name)) return false;
  return Encode(compressor, Resize(big, preview_size), kPreviewQuality,
                job.out_dir + "/preview/" + name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr,
                 "usage: lumireel_bench_floor BIG_W BIG_H PREVIEW_W PREVIEW_H THREADS OUT_DIR "
                 "FILE...\n");
    return 2;
  }
  Job job;
  job.big_box = {std::atoi(argv[1]), std::atoi(argv[2])};
  job.preview_box = {std::atoi(argv[3]), std::atoi(argv[4])};
  const int threads = std::max(1, std::atoi(argv[5]));
  job.out_dir = argv[6];
  for (int i = 7; i < argc; ++i) {
    std::optional<std::string> jpeg = lumireel::bench::ReadWholeFile(argv[i]);
    if (!jpeg) {
      std::fprintf(stderr, "lumireel_bench_floor: cannot read %s\n", argv[i]);
      return 1;
    }
    job.jpegs.push_back(std::move(*jpeg));
  }

  const lumireel::bench::Clock::time_point start = lumireel::bench::Clock::now();
  std::atomic<std::size_t> next{0};
  std::atomic<int> failed{0};
  auto work = [&] {
    TjHandle decompressor(tjInitDecompress());
    TjHandle compressor(tjInitCompress());
    for (std::size_t i = next++; i < job.jpegs.size(); i = next++) {
      if (!RenderOne(decompressor.handle, compressor.handle, job, i)) ++failed;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(work);
  for (std::thread& thread : pool) thread.join();
  std::printf("{\"seconds\": %.6f, \"photos\": %zu, \"failed\": %d}\n",
              lumireel::bench::SecondsSince(start), job.jpegs.size(), failed.load());
  return failed.load() == 0 ? 0 : 1;
}
