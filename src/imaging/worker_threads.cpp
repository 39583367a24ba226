#include "imaging/worker_threads.h"

#include <vips/vips.h>

#include <algorithm>
#include <mutex>

#include "imaging/image_codec.h"

namespace lumireel {
namespace {

std::mutex jobs_mu;
int running_jobs = 0;       // guarded by jobs_mu
int threads_before = 0;     // guarded by jobs_mu

}  // namespace

OnePhotoPerThread::OnePhotoPerThread(unsigned workers) {
  if (workers <= 1) return;
  // The library sets its thread count when it starts: it starts first.
  ImageCodec::Initialise();
  std::lock_guard lock(jobs_mu);
  if (running_jobs++ == 0) {
    threads_before = vips_concurrency_get();
    vips_concurrency_set(1);
  }
  entered_ = true;
}

OnePhotoPerThread::~OnePhotoPerThread() {
  if (!entered_) return;
  std::lock_guard lock(jobs_mu);
  if (--running_jobs == 0) vips_concurrency_set(threads_before);
}

unsigned ImagingThreads() {
  ImageCodec::Initialise();
  return static_cast<unsigned>(std::max(vips_concurrency_get(), 1));
}

}  // namespace lumireel
