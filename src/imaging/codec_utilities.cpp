#include "imaging/codec_utilities.h"

#include <cstdint>

namespace lumireel {
namespace {

constexpr std::string_view kNameAlphabet =
    "qwertyuioplkjhgfdsazxcvbnmQWERTYUIOPLKJHGFDSAZXCVBNM12345678900";
constexpr int kRandMax = 32767;

// The C library's portable generator contract: numbers 0..32767, the same
// sequence for the same seed. Each name has its own, so threads never share
// one.
class NameGenerator {
 public:
  explicit NameGenerator(std::time_t seed) : state_(static_cast<std::uint32_t>(seed)) {}
  int Next() {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ / 65536u) % 32768u);
  }

 private:
  std::uint32_t state_;
};

}  // namespace

int FindEncoderByMime(std::string_view mime, EncoderId* id) {
  const std::vector<EncoderInfo>& encoders = ImageCodec::Encoders();
  for (std::size_t i = 0; i < encoders.size(); ++i) {
    if (encoders[i].mime_type == mime) {
      if (id != nullptr) *id = encoders[i].id;
      return static_cast<int>(i);
    }
  }
  return -1;
}

EncoderParameters JpegQuality(int quality) {
  return {EncoderParameter{EncoderParameterKind::kQuality,
                           EncoderParameterType::kLong,
                           {static_cast<std::int32_t>(quality)}}};
}

void ApplyColorMatrix(Image& image, DrawingContext& context, const ColorMatrix& matrix) {
  const PixelRect whole{0, 0, image.width(), image.height()};
  (void)context.DrawImage(image, whole, whole, matrix);
}

std::string MakeRandomName(int length) { return MakeRandomName(length, std::time(nullptr)); }

std::string MakeRandomName(int length, std::time_t seed) {
  std::string name;
  if (length <= 0) return name;
  const int last = static_cast<int>(kNameAlphabet.size()) - 1;  // 62
  NameGenerator generator(seed);
  name.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    const double r = generator.Next();
    name += kNameAlphabet[static_cast<std::size_t>(r / kRandMax * last)];
  }
  return name;
}

}  // namespace lumireel
