#include "bridge/job_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "bridge/pacing.h"

namespace lumireel {
namespace {

using namespace std::chrono_literals;

TEST(JobQueueTest, JobsFromManyThreadsRunOneAtATimeEachInItsOrder) {
  constexpr int kThreads = 4;
  constexpr int kJobsEach = 50;
  std::atomic<int> changes{0};
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::vector<int>> seen(kThreads);  // written by the worker only
  {
    JobQueue queue("test", [&] { ++changes; });
    std::vector<std::thread> submitters;
    for (int t = 0; t < kThreads; ++t) {
      submitters.emplace_back([&, t] {
        for (int i = 0; i < kJobsEach; ++i) {
          queue.Submit([&, t, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            seen[t].push_back(i);
            running.fetch_sub(1);
          });
        }
      });
    }
    for (std::thread& s : submitters) s.join();
    queue.WaitIdle();
    EXPECT_TRUE(queue.Idle());
  }
  EXPECT_FALSE(overlapped);
  // One change when each job was submitted and one when it ended.
  EXPECT_EQ(changes.load(), 2 * kThreads * kJobsEach);
  for (const std::vector<int>& order : seen) {
    ASSERT_EQ(order.size(), static_cast<std::size_t>(kJobsEach));
    for (int i = 0; i < kJobsEach; ++i) EXPECT_EQ(order[i], i);
  }
}

TEST(JobQueueTest, BusyWhileAJobRunsAndQueuedJobsFinishBeforeTheQueueGoes) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<int> done;
  auto queue = std::make_unique<JobQueue>("test");
  EXPECT_TRUE(queue->Idle());
  queue->Submit([&done, released] {
    released.wait();
    done.push_back(1);
  });
  queue->Submit([&done] { done.push_back(2); });
  EXPECT_FALSE(queue->Idle());
  std::thread releaser([&release] {
    std::this_thread::sleep_for(20ms);
    release.set_value();
  });
  queue.reset();  // waits for both jobs
  releaser.join();
  EXPECT_EQ(done, (std::vector<int>{1, 2}));
}

// A running job sees what the job behind it is about, never itself.
TEST(JobQueueTest, NextIsTellsTheTagOfTheJobBehindTheRunningOne) {
  JobQueue queue("test");
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<std::vector<bool>> first_saw, second_saw;
  queue.Submit(
      [&] {
        released.wait();
        first_saw.set_value({queue.NextIs("a"), queue.NextIs("b"), queue.NextIs("")});
      },
      "a");
  queue.Submit([&] { second_saw.set_value({queue.NextIs("b"), queue.NextIs("")}); }, "b");
  queue.Submit([] {});  // no tag
  release.set_value();
  EXPECT_EQ(first_saw.get_future().get(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(second_saw.get_future().get(), (std::vector<bool>{false, false}));
  queue.WaitIdle();
}

TEST(PacingTest, ScalesPausesAndInterruptEndsThemFromAnyThread) {
  EXPECT_EQ(Pacing(0).Scale(1500ms), 0ms);
  EXPECT_EQ(Pacing(0.5).Scale(1500ms), 750ms);
  EXPECT_EQ(Pacing(-2).factor(), 0);

  Pacing none(0);
  auto start = std::chrono::steady_clock::now();
  none.Pause(std::chrono::hours(1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

  Pacing slow(1);
  std::thread waiter([&slow] { slow.Pause(std::chrono::hours(1)); });
  std::this_thread::sleep_for(20ms);
  start = std::chrono::steady_clock::now();
  slow.Interrupt();
  waiter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  slow.Pause(std::chrono::hours(1));  // later pauses end at once too
}

}  // namespace
}  // namespace lumireel
