#include "imaging/bmp_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <memory>
#include <vector>

namespace lumireel {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// One colour channel of a bit-field pixel: where it sits and how far it goes.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;

  static Channel FromMask(std::uint32_t mask) {
    if (mask == 0) return {};
    const int shift = std::countr_zero(mask);
    return {mask, shift, mask >> shift};
  }
  std::uint8_t Extract(std::uint32_t pixel) const {
    if (max == 0) return 0;
    const std::uint64_t value = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
  }
};

struct Layout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool top_down = false;
  int bits = 0;
  std::array<Channel, 4> channels;                   // red, green, blue, alpha
  std::vector<std::array<std::uint8_t, 3>> palette;  // red, green, blue
  std::uint32_t pixel_offset = 0;
};

bool ReadExact(std::FILE* file, std::uint8_t* data, std::size_t size) {
  return std::fread(data, 1, size, file) == size;
}

// The info header as read, with the fields the layout does not keep.
struct InfoHeader {
  std::vector<std::uint8_t> bytes;  // the whole header, its size field first
  bool core = false;                // the old 12-byte header
  std::uint32_t compression = kBiRgb;
  std::uint32_t colours_used = 0;
};

bool Fail(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

// Reads the file header and the info header into `layout` and `info`.
bool ReadHeaders(std::FILE* file, Layout* layout, InfoHeader* info, std::string* error) {
  std::uint8_t head[kFileHeaderSize + 4];
  if (!ReadExact(file, head, sizeof head) || head[0] != 'B' || head[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  layout->pixel_offset = U32(head + 10);
  const std::uint32_t size = U32(head + 14);
  info->core = size == kCoreHeaderSize;
  if (!info->core && size != 40 && size != 52 && size != 56 && size != 108 && size != 124) {
    return Fail(error, "unsupported BMP header");
  }
  std::vector<std::uint8_t>& bytes = info->bytes;
  bytes.resize(size);
  std::copy(head + 14, head + 18, bytes.begin());
  if (!ReadExact(file, bytes.data() + 4, size - 4)) return Fail(error, "truncated BMP header");
  std::int64_t height = 0;
  if (info->core) {
    layout->width = U16(&bytes[4]);
    height = U16(&bytes[6]);
    layout->bits = U16(&bytes[10]);
  } else {
    layout->width = U32(&bytes[4]);
    height = static_cast<std::int32_t>(U32(&bytes[8]));
    layout->bits = U16(&bytes[14]);
    info->compression = U32(&bytes[16]);
    info->colours_used = U32(&bytes[32]);
  }
  if (static_cast<std::int32_t>(layout->width) <= 0 || height == 0 || height == INT32_MIN) {
    return Fail(error, "BMP without pixels");
  }
  layout->top_down = height < 0;
  layout->height = static_cast<std::uint32_t>(height < 0 ? -height : height);
  return true;
}

// Checks depth and compression and sets up the colour channels.
bool ReadMasks(std::FILE* file, const InfoHeader& info, Layout* layout, std::string* error) {
  const int bits = layout->bits;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail(error, "unsupported BMP depth");
  }
  const bool bitfields = info.compression == kBiBitfields || info.compression == kBiAlphaBitfields;
  if (info.compression != kBiRgb && !(bitfields && (bits == 16 || bits == 32))) {
    return Fail(error, "compressed BMP files are not read");
  }
  std::array<std::uint32_t, 4> masks{};
  if (bitfields && info.bytes.size() >= 52) {
    for (int i = 0; i < 3; ++i) masks[i] = U32(&info.bytes[40 + 4 * i]);
    if (info.bytes.size() >= 56) masks[3] = U32(&info.bytes[52]);
  } else if (bitfields) {
    // After a 40-byte header the masks follow it.
    const std::size_t count = info.compression == kBiAlphaBitfields ? 4 : 3;
    std::uint8_t extra[16];
    if (!ReadExact(file, extra, 4 * count)) return Fail(error, "truncated BMP masks");
    for (std::size_t i = 0; i < count; ++i) masks[i] = U32(extra + 4 * i);
  } else if (bits == 16) {
    masks = {0x7C00, 0x03E0, 0x001F, 0};
  } else if (bits == 24 || bits == 32) {
    masks = {0xFF0000, 0x00FF00, 0x0000FF, 0};
  }
  for (int i = 0; i < 4; ++i) layout->channels[i] = Channel::FromMask(masks[i]);
  return true;
}

// Reads the palette of a 1-, 4- or 8-bit picture; it ends where the pixels
// begin at the latest.
bool ReadPalette(std::FILE* file, const InfoHeader& info, Layout* layout, std::string* error) {
  if (layout->bits > 8) return true;
  const std::size_t entry = info.core ? 3 : 4;
  const std::size_t most = std::size_t{1} << layout->bits;
  std::size_t count = info.colours_used != 0 && info.colours_used < most ? info.colours_used : most;
  const long position = std::ftell(file);
  if (position > 0 && layout->pixel_offset > position) {
    count = std::min<std::size_t>(count, (layout->pixel_offset - position) / entry);
  }
  std::vector<std::uint8_t> bytes(count * entry);
  if (!ReadExact(file, bytes.data(), bytes.size())) return Fail(error, "truncated BMP palette");
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &bytes[i * entry];
    layout->palette.push_back({p[2], p[1], p[0]});
  }
  return true;
}

// Reads everything before the pixels; the file is left at the pixels.
bool ReadLayout(std::FILE* file, Layout* layout, std::string* error) {
  InfoHeader info;
  if (!ReadHeaders(file, layout, &info, error) || !ReadMasks(file, info, layout, error) ||
      !ReadPalette(file, info, layout, error)) {
    return false;
  }
  if (std::fseek(file, layout->pixel_offset, SEEK_SET) != 0) {
    return Fail(error, "truncated BMP file");
  }
  return true;
}

// The bytes from the file's position to its end (0 when unknown).
std::uint64_t BytesLeft(std::FILE* file) {
  const long position = std::ftell(file);
  if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  if (std::fseek(file, position, SEEK_SET) != 0 || end < position) return 0;
  return static_cast<std::uint64_t>(end - position);
}

// Decodes one stored row into `out` (3 or 4 bytes a pixel). Returns whether
// any alpha value of the row is not zero.
bool DecodeRow(const Layout& layout, const std::uint8_t* in, std::uint8_t* out, int bands) {
  bool any_alpha = false;
  static constexpr std::array<std::uint8_t, 3> kBlack{0, 0, 0};
  for (std::uint32_t x = 0; x < layout.width; ++x, out += bands) {
    if (layout.bits <= 8) {
      const int per_byte = 8 / layout.bits;
      const std::uint8_t byte = in[x / per_byte];
      const int shift = 8 - layout.bits * (static_cast<int>(x % per_byte) + 1);
      const std::size_t index = (byte >> shift) & ((1u << layout.bits) - 1);
      const auto& colour = index < layout.palette.size() ? layout.palette[index] : kBlack;
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
      continue;
    }
    std::uint32_t pixel = 0;
    if (layout.bits == 16) {
      pixel = U16(in + 2 * x);
    } else if (layout.bits == 24) {
      const std::uint8_t* p = in + 3 * x;
      pixel = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
              static_cast<std::uint32_t>(p[2]) << 16;
    } else {
      pixel = U32(in + 4 * x);
    }
    for (int c = 0; c < 3; ++c) out[c] = layout.channels[c].Extract(pixel);
    if (bands == 4) {
      out[3] = layout.channels[3].Extract(pixel);
      any_alpha = any_alpha || out[3] != 0;
    }
  }
  return any_alpha;
}

}  // namespace

std::optional<vips::VImage> DecodeBmpFile(const std::string& native_path, std::uint64_t max_pixels,
                                          std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  File file(std::fopen(native_path.c_str(), "rb"));
  if (!file) {
    *error = "cannot open the file";
    return std::nullopt;
  }
  Layout layout;
  if (!ReadLayout(file.get(), &layout, error)) return std::nullopt;
  if (static_cast<std::uint64_t>(layout.width) * layout.height > max_pixels) {
    *error = "the picture has too many pixels";
    return std::nullopt;
  }
  // The image library keeps no side longer than this: it would make a
  // smaller image than the rows written into it.
  if (layout.width > VIPS_MAX_COORD || layout.height > VIPS_MAX_COORD) {
    *error = "the picture is too large";
    return std::nullopt;
  }
  const std::uint64_t row_bits = static_cast<std::uint64_t>(layout.width) * layout.bits;
  const std::size_t row_bytes = static_cast<std::size_t>((row_bits + 31) / 32 * 4);
  const std::size_t pixel_bytes = static_cast<std::size_t>((row_bits + 7) / 8);
  // A file too short for its rows is refused before the picture's memory is
  // taken, so a tiny file cannot claim hundreds of megabytes.
  if (BytesLeft(file.get()) < std::uint64_t{row_bytes} * (layout.height - 1) + pixel_bytes) {
    *error = "truncated BMP pixels";
    return std::nullopt;
  }

  const int bands = layout.channels[3].max != 0 ? 4 : 3;
  VipsImage* raw = vips_image_new_memory();
  vips_image_init_fields(raw, static_cast<int>(layout.width), static_cast<int>(layout.height),
                         bands, VIPS_FORMAT_UCHAR, VIPS_CODING_NONE, VIPS_INTERPRETATION_sRGB, 1.0,
                         1.0);
  vips::VImage image(raw);  // owns `raw` from here on
  if (vips_image_write_prepare(raw) != 0) {
    vips_error_clear();
    *error = "not enough memory for the picture";
    return std::nullopt;
  }

  std::vector<std::uint8_t> row(row_bytes);
  bool any_alpha = false;
  for (std::uint32_t stored = 0; stored < layout.height; ++stored) {
    // The padding of the last row may be missing from the file.
    const bool last = stored + 1 == layout.height;
    if (!ReadExact(file.get(), row.data(), last ? pixel_bytes : row_bytes)) {
      *error = "truncated BMP pixels";
      return std::nullopt;
    }
    const std::uint32_t y = layout.top_down ? stored : layout.height - 1 - stored;
    any_alpha = DecodeRow(layout, row.data(), VIPS_IMAGE_ADDR(raw, 0, y), bands) || any_alpha;
  }
  // Many writers declare an alpha mask and leave it zero: such a picture is
  // opaque, not invisible.
  if (bands == 4 && !any_alpha) {
    try {
      image = image.extract_band(0, vips::VImage::option()->set("n", 3)).copy_memory();
    } catch (const vips::VError&) {
      *error = "not enough memory for the picture";
      return std::nullopt;
    }
  }
  return image;
}

}  // namespace lumireel
