// The program's 8-bit text and the UTF-8 kept on disk.
//
// The program handles its text as 8-bit strings in the system code page, and
// on POSIX the system code page is UTF-8. Converting between the two is
// therefore only a matter of making the bytes well-formed: every ill-formed
// sequence (a stray continuation byte, a truncated or overlong sequence, an
// encoded surrogate, a value above U+10FFFF) becomes U+FFFD, one replacement
// character per maximal ill-formed subpart, as Unicode recommends. Well-formed
// text passes through byte for byte; NUL bytes are kept.
//
// All functions are pure and safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumireel {

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The offset of the first byte of the first ill-formed sequence, or
// std::string_view::npos when `bytes` is well-formed UTF-8.
[[nodiscard]] std::size_t FindInvalidUtf8(std::string_view bytes);

[[nodiscard]] inline bool IsValidUtf8(std::string_view bytes) {
  return FindInvalidUtf8(bytes) == std::string_view::npos;
}

// `bytes` with each ill-formed sequence replaced by U+FFFD (EF BF BD).
[[nodiscard]] std::string ToValidUtf8(std::string_view bytes);

// The same in place; well-formed text is left untouched without a copy, which
// keeps reading large files cheap.
void MakeValidUtf8(std::string& text);

}  // namespace lumireel
