// The one way onto the main thread: tasks handed over from any thread run on
// the thread that iterates GLib's default main context, in the order they
// were handed over.
//
// Each task runs from an idle source of its own, and the source of the next
// task is added before a task runs, so that a task that runs a nested loop
// (a modal dialog) does not hold back the tasks after it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace lumireel::platform::gtk {

class MainThreadQueue {
 public:
  // The calling thread becomes the main thread.
  MainThreadQueue();
  // Drops the tasks not yet run. REQUIRES: main thread.
  ~MainThreadQueue();
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  bool OnMainThread() const { return std::this_thread::get_id() == main_thread_; }

  // Queues `task`. Returns false, and drops the task, once Close was called.
  // Any thread.
  bool Post(std::function<void()> task);

  // Runs `task` on the main thread and waits until it has run; on the main
  // thread it runs at once. Returns false when the task did not run because
  // the queue was closed before it could. Any thread. A worker must not hold
  // anything the main thread may wait for.
  bool RunAndWait(const std::function<void()>& task);

  // Stops taking tasks, drops those not yet run and wakes every waiting
  // RunAndWait. Any thread.
  void Close();
  bool closed() const;

 private:
  // What a RunAndWait waits for; guarded by mu_.
  struct Waiter {
    bool started = false;  // taken from the queue: it will run to the end
    bool done = false;
  };
  struct Task {
    std::function<void()> run;
    std::shared_ptr<Waiter> waiter;  // null for Post
  };

  static int RunNext(void* self);
  bool Queue(Task task);
  // REQUIRES: mu_ held.
  void ScheduleLocked();

  const std::thread::id main_thread_;
  mutable std::mutex mu_;
  std::condition_variable done_cv_;
  std::deque<Task> tasks_;  // guarded by mu_
  unsigned source_id_ = 0;  // guarded by mu_: 0 when none is pending
  bool closed_ = false;     // guarded by mu_
};

}  // namespace lumireel::platform::gtk
