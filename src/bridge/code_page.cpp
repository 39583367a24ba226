#include "bridge/code_page.h"

#include <cstdint>
#include <cstring>

namespace lumireel {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Looks at the sequence that starts at `p` (with `available` bytes left).
// Returns the number of bytes it takes and sets `well_formed`. For an
// ill-formed sequence the count is the length of its maximal subpart: the
// longest prefix that could still have begun a well-formed sequence, or 1.
std::size_t ScanSequence(const unsigned char* p, std::size_t available, bool& well_formed) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    well_formed = true;
    return 1;
  }
  std::size_t length = 0;
  // The range allowed for the second byte depends on the lead byte; later
  // bytes are always 80..BF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    well_formed = false;  // a continuation byte, C0, C1 or F5..FF
    return 1;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= available || p[i] < low || p[i] > high) {
      well_formed = false;
      return i;
    }
    low = 0x80;
    high = 0xBF;
  }
  well_formed = true;
  return length;
}

}  // namespace

std::size_t FindInvalidUtf8(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    // Most text is ASCII: skip it eight bytes at a time.
    if (size - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, data + i, sizeof word);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    bool well_formed = false;
    const std::size_t length = ScanSequence(data + i, size - i, well_formed);
    if (!well_formed) return i;
    i += length;
  }
  return std::string_view::npos;
}

std::string ToValidUtf8(std::string_view bytes) {
  std::size_t i = FindInvalidUtf8(bytes);
  if (i == std::string_view::npos) return std::string(bytes);

  std::string out;
  out.reserve(bytes.size() + 16);
  out.append(bytes.substr(0, i));
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  while (i < bytes.size()) {
    bool well_formed = false;
    const std::size_t length = ScanSequence(data + i, bytes.size() - i, well_formed);
    if (well_formed) {
      out.append(bytes.substr(i, length));
    } else {
      out.append(kReplacementCharacter);
    }
    i += length;
  }
  return out;
}

void MakeValidUtf8(std::string& text) {
  if (!IsValidUtf8(text)) text = ToValidUtf8(text);
}

}  // namespace lumireel
