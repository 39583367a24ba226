// Time limits of tests that catch work growing with the square of the input.
// Sanitizer builds (scripts/sanitize) run such parsing-heavy tests up to
// forty times slower than a release build (AddressSanitizer at -O0), so
// their limits stretch by kTimeLimitFactor; work that grows with the square
// of the input still takes far longer than that.
#pragma once

namespace lumireel::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMIREEL_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LUMIREEL_TESTS_SANITIZED 1
#endif
#endif

#ifdef LUMIREEL_TESTS_SANITIZED
inline constexpr int kTimeLimitFactor = 30;
#else
inline constexpr int kTimeLimitFactor = 1;
#endif

}  // namespace lumireel::testing
