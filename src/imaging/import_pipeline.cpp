#include "imaging/import_pipeline.h"

#include <algorithm>
#include <exception>

namespace lumireel {

OrderedRenderer::OrderedRenderer(std::size_t count,
                                 std::function<RenderedPhoto(std::size_t)> render, unsigned workers)
    : count_(count),
      render_(std::move(render)),
      workers_(std::max(workers, 1u)),
      window_(kLookAhead * workers_),
      one_photo_per_thread_(static_cast<unsigned>(std::min<std::size_t>(workers_, count_))),
      slots_(window_) {
  const std::size_t threads = std::min<std::size_t>(workers_, count_);
  threads_.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

OrderedRenderer::~OrderedRenderer() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

unsigned OrderedRenderer::DefaultWorkers() {
  return std::max(std::thread::hardware_concurrency(), 1u);
}

RenderedPhoto OrderedRenderer::Take(std::size_t index) {
  std::unique_lock lock(mu_);
  std::optional<RenderedPhoto>& slot = slots_[index % window_];
  cv_.wait(lock, [&] { return slot.has_value(); });
  RenderedPhoto photo = std::move(*slot);
  slot.reset();
  next_to_take_ = index + 1;
  lock.unlock();
  cv_.notify_all();
  return photo;
}

void OrderedRenderer::Work() {
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock lock(mu_);
      // A photo starts only when its slot is free: the one `window_` places
      // before it has been taken.
      cv_.wait(lock, [this] {
        return stopping_ || next_to_start_ >= count_ || next_to_start_ < next_to_take_ + window_;
      });
      if (stopping_ || next_to_start_ >= count_) return;
      index = next_to_start_++;
    }
    RenderedPhoto photo;
    try {
      photo = render_(index);
    } catch (const std::exception& e) {
      photo = RenderedPhoto();
      photo.error = e.what();
    }
    {
      std::lock_guard lock(mu_);
      slots_[index % window_] = std::move(photo);
    }
    cv_.notify_all();
  }
}

}  // namespace lumireel
