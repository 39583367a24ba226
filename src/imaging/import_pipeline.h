// Renders the picked files of an import on worker threads, ahead of the
// import that numbers them: one photo in flight per worker, results handed
// out strictly in pick order. At most kLookAhead photos per worker are
// rendering or waiting to be taken at any time, so temporary files stay
// bounded whatever the number of photos (a rendered photo waits as files,
// not in memory); the room beyond one per worker keeps the other workers
// busy while a large photo before them is still rendering.
// Each worker renders its photo on one thread (see OnePhotoPerThread).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "imaging/renditions.h"
#include "imaging/worker_threads.h"

namespace lumireel {

class OrderedRenderer {
 public:
  // Renders photo i (0 <= i < count) with `render(i)` on `workers` threads
  // (at least one). `render` must be safe to call from several threads.
  OrderedRenderer(std::size_t count, std::function<RenderedPhoto(std::size_t)> render,
                  unsigned workers);
  // Stops starting new photos, waits for the running ones and deletes the
  // temporary files of every result that was not taken.
  ~OrderedRenderer();
  OrderedRenderer(const OrderedRenderer&) = delete;
  OrderedRenderer& operator=(const OrderedRenderer&) = delete;

  // The result of photo `index`, waiting until it is rendered.
  // REQUIRES: called by one thread, with index 0, 1, 2, ... in turn.
  RenderedPhoto Take(std::size_t index);

  // The number of workers for this machine: one per processor.
  static unsigned DefaultWorkers();

  // Photos per worker that may be rendering or waiting to be taken.
  static constexpr std::size_t kLookAhead = 8;

 private:
  void Work();

  const std::size_t count_;
  const std::function<RenderedPhoto(std::size_t)> render_;
  const std::size_t workers_;
  const std::size_t window_;  // photos rendering or waiting at most
  const OnePhotoPerThread one_photo_per_thread_;

  std::mutex mu_;
  std::condition_variable cv_;
  std::size_t next_to_start_ = 0;                    // guarded by mu_
  std::size_t next_to_take_ = 0;                     // guarded by mu_
  bool stopping_ = false;                            // guarded by mu_
  std::vector<std::optional<RenderedPhoto>> slots_;  // guarded by mu_; index % window_
  std::vector<std::thread> threads_;
};

}  // namespace lumireel
