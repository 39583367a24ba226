#include "imaging/import_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

TEST(ImportPipelineTest, HandsOutResultsInPickOrderWithBoundedLookAhead) {
  constexpr std::size_t kCount = 64;
  constexpr unsigned kWorkers = 3;
  std::atomic<std::size_t> started{0};
  OrderedRenderer renderer(
      kCount,
      [&](std::size_t i) {
        ++started;
        // Early photos take longest, so they finish after later ones.
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * ((kCount - i) % 5)));
        RenderedPhoto photo;
        photo.ok = i % 4 != 3;
        photo.error = std::to_string(i);
        return photo;
      },
      kWorkers);
  for (std::size_t i = 0; i < kCount; ++i) {
    const RenderedPhoto photo = renderer.Take(i);
    EXPECT_EQ(photo.error, std::to_string(i));
    EXPECT_EQ(photo.ok, i % 4 != 3);
    // Never more photos begun than taken plus the look-ahead of each worker.
    EXPECT_LE(started.load(), i + 1 + OrderedRenderer::kLookAhead * kWorkers);
    if (i % 6 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  EXPECT_EQ(started.load(), kCount);
}

TEST(ImportPipelineTest, ResultsNeverTakenLeaveNoFilesBehind) {
  testing::TempFolder folder;
  {
    OrderedRenderer renderer(
        10,
        [&](std::size_t i) {
          RenderedPhoto photo;
          photo.ok = true;
          photo.big = TemporaryFile(folder.path() + "/big-" + std::to_string(i));
          std::ofstream(photo.big.path()) << "x";
          return photo;
        },
        2);
    RenderedPhoto first = renderer.Take(0);
    ASSERT_TRUE(fs::exists(first.big.path()));
    ASSERT_TRUE(first.big.MoveTo(folder.path() + "/kept"));
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

// While jobs of several workers run, the library gives each image one
// thread; when the last such job ends, as many as before.
TEST(ImportPipelineTest, JobsOfSeveralWorkersGiveEachPhotoOneLibraryThread) {
  const unsigned before = ImagingThreads();
  {
    const OnePhotoPerThread alone(1);
    EXPECT_EQ(ImagingThreads(), before);
    const OnePhotoPerThread first(2);
    EXPECT_EQ(ImagingThreads(), 1u);
    { const OnePhotoPerThread second(3); }
    EXPECT_EQ(ImagingThreads(), 1u);  // the first job still runs
  }
  EXPECT_EQ(ImagingThreads(), before);
}

}  // namespace
}  // namespace lumireel
