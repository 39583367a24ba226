#include "platform/gtk/main_thread.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <thread>
#include <vector>

namespace lumireel::platform::gtk {
namespace {

using namespace std::chrono_literals;

// Iterates the default main context on this thread until `done` holds or
// five seconds pass; returns `done()`.
bool RunUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, FALSE);
    std::this_thread::sleep_for(1ms);
  }
  return done();
}

TEST(MainThreadQueueTest, TasksOfEachThreadRunOnTheMainThreadInOrder) {
  MainThreadQueue queue;
  const std::thread::id main_id = std::this_thread::get_id();
  constexpr int kThreads = 4;
  constexpr int kTasks = 200;
  std::map<int, std::vector<int>> seen;  // touched on the main thread only
  int off_main = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kTasks; ++i) {
        EXPECT_TRUE(queue.Post([&, t, i] {
          if (std::this_thread::get_id() != main_id) ++off_main;
          seen[t].push_back(i);
        }));
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  ASSERT_TRUE(RunUntil([&] {
    int total = 0;
    for (const auto& [t, list] : seen) total += static_cast<int>(list.size());
    return total == kThreads * kTasks;
  }));
  EXPECT_EQ(off_main, 0);
  std::vector<int> expected(kTasks);
  for (int i = 0; i < kTasks; ++i) expected[i] = i;
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], expected) << "thread " << t;
}

// A task that runs a loop of its own (as a dialog does) must not hold back
// the tasks queued after it; here the first waits for the second.
TEST(MainThreadQueueTest, ATaskInANestedLoopDoesNotHoldBackLaterTasks) {
  MainThreadQueue queue;
  bool second_ran = false;
  bool first_saw_second = false;
  bool first_done = false;
  queue.Post([&] {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!second_ran && std::chrono::steady_clock::now() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(1ms);
    }
    first_saw_second = second_ran;
    first_done = true;
  });
  queue.Post([&] { second_ran = true; });
  ASSERT_TRUE(RunUntil([&] { return first_done; }));
  EXPECT_TRUE(first_saw_second);
}

TEST(MainThreadQueueTest, RunAndWaitReturnsAfterTheTaskRan) {
  MainThreadQueue queue;
  const std::thread::id main_id = std::this_thread::get_id();
  std::atomic<bool> finished{false};
  std::thread::id ran_on;
  int value = 0;
  bool ran = false;
  std::thread worker([&] {
    ran = queue.RunAndWait([&] {
      ran_on = std::this_thread::get_id();
      value = 42;
    });
    finished = true;
  });
  ASSERT_TRUE(RunUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(ran_on, main_id);

  // On the main thread itself it runs at once.
  value = 0;
  EXPECT_TRUE(queue.RunAndWait([&] { value = 7; }));
  EXPECT_EQ(value, 7);
}

// At the end of the program the main loop stops; a worker that asked for a
// dialog then must not wait forever.
TEST(MainThreadQueueTest, ClosingReleasesAWaitingWorkerWithoutRunningItsTask) {
  MainThreadQueue queue;
  std::atomic<bool> task_ran{false};
  std::promise<bool> result;
  std::thread worker([&] { result.set_value(queue.RunAndWait([&] { task_ran = true; })); });
  std::this_thread::sleep_for(50ms);  // the worker is waiting; the loop is not run
  queue.Close();
  std::future<bool> answer = result.get_future();
  ASSERT_EQ(answer.wait_for(5s), std::future_status::ready);
  worker.join();
  EXPECT_FALSE(answer.get());
  for (int i = 0; i < 20; ++i) g_main_context_iteration(nullptr, FALSE);
  EXPECT_FALSE(task_ran);
}

TEST(MainThreadQueueTest, NothingIsTakenOnceClosed) {
  MainThreadQueue queue;
  bool ran = false;
  queue.Close();
  EXPECT_FALSE(queue.Post([&] { ran = true; }));
  EXPECT_FALSE(queue.RunAndWait([&] { ran = true; }));
  std::thread worker([&] { EXPECT_FALSE(queue.RunAndWait([&] { ran = true; })); });
  worker.join();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumireel::platform::gtk
