#include "bridge/pacing.h"

#include <cmath>

namespace lumireel {

std::chrono::milliseconds Pacing::Scale(std::chrono::milliseconds pause) const {
  return std::chrono::milliseconds(std::llround(static_cast<double>(pause.count()) * factor_));
}

void Pacing::Pause(std::chrono::milliseconds pause) {
  const std::chrono::milliseconds scaled = Scale(pause);
  if (scaled.count() <= 0) return;
  std::unique_lock lock(mu_);
  cv_.wait_for(lock, scaled, [this] { return interrupted_; });
}

void Pacing::Interrupt() {
  std::lock_guard lock(mu_);
  interrupted_ = true;
  cv_.notify_all();
}

}  // namespace lumireel
