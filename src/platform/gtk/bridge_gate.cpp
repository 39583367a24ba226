#include "platform/gtk/bridge_gate.h"

#include <cstdint>
#include <random>

namespace lumireel::platform::gtk {

void BridgeGate::NewPage() {
  key_.clear();
  greeted_ = false;
}

std::optional<std::string> BridgeGate::Greet() {
  if (greeted_) return std::nullopt;
  greeted_ = true;
  key_ = RandomKey();
  return key_;
}

bool BridgeGate::Accepts(std::string_view key) const { return !key_.empty() && key == key_; }

std::string RandomKey() {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::random_device source;  // the kernel's random source on Linux
  std::string key;
  key.reserve(32);
  for (int i = 0; i < 4; ++i) {
    std::uint32_t bits = source();
    for (int j = 0; j < 8; ++j, bits >>= 4) key += kDigits[bits & 0xf];
  }
  return key;
}

}  // namespace lumireel::platform::gtk
