// Every fixed pause of the program goes through one Pacing object, so that a
// factor scales them all: 1 keeps the program's own rhythm, 0 removes the
// pauses (tests, benchmarks). Pauses wait on a condition variable, never spin.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lumireel {

class Pacing {
 public:
  explicit Pacing(double factor = 1.0) : factor_(factor < 0 ? 0 : factor) {}
  Pacing(const Pacing&) = delete;
  Pacing& operator=(const Pacing&) = delete;

  double factor() const { return factor_; }
  std::chrono::milliseconds Scale(std::chrono::milliseconds pause) const;

  // Waits for `pause` scaled by the factor; returns at once when the scaled
  // pause is zero or after Interrupt(). Safe from any thread.
  void Pause(std::chrono::milliseconds pause);

  // Ends every pause now and later (used when the program shuts down).
  void Interrupt();

 private:
  const double factor_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool interrupted_ = false;
};

}  // namespace lumireel
