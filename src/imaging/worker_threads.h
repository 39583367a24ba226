// The image library's own threads while jobs of several workers run. Such a
// job keeps every processor busy with one photo per worker, and the
// library's threads would only hand each photo's strips between them: while
// any such job runs, the library (and the colour pass) works each photo on
// one thread, and once the last one ends, on as many as before.
#pragma once

namespace lumireel {

class OnePhotoPerThread {
 public:
  // Takes effect only when `workers` is more than one.
  explicit OnePhotoPerThread(unsigned workers);
  ~OnePhotoPerThread();
  OnePhotoPerThread(const OnePhotoPerThread&) = delete;
  OnePhotoPerThread& operator=(const OnePhotoPerThread&) = delete;

 private:
  bool entered_ = false;
};

// The threads the image library gives one image now.
unsigned ImagingThreads();

}  // namespace lumireel
