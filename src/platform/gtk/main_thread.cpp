#include "platform/gtk/main_thread.h"

#include <glib.h>

namespace lumireel::platform::gtk {

MainThreadQueue::MainThreadQueue() : main_thread_(std::this_thread::get_id()) {}

MainThreadQueue::~MainThreadQueue() {
  Close();
  std::lock_guard lock(mu_);
  if (source_id_ != 0) g_source_remove(source_id_);
}

bool MainThreadQueue::Post(std::function<void()> task) {
  return Queue(Task{std::move(task), nullptr});
}

bool MainThreadQueue::Queue(Task task) {
  std::lock_guard lock(mu_);
  if (closed_) return false;
  tasks_.push_back(std::move(task));
  if (source_id_ == 0) ScheduleLocked();
  return true;
}

void MainThreadQueue::ScheduleLocked() {
  source_id_ = g_idle_add_full(G_PRIORITY_DEFAULT, &MainThreadQueue::RunNext, this, nullptr);
}

int MainThreadQueue::RunNext(void* self) {
  auto* queue = static_cast<MainThreadQueue*>(self);
  Task task;
  {
    std::lock_guard lock(queue->mu_);
    queue->source_id_ = 0;
    if (queue->closed_ || queue->tasks_.empty()) return G_SOURCE_REMOVE;
    task = std::move(queue->tasks_.front());
    queue->tasks_.pop_front();
    if (task.waiter) task.waiter->started = true;
    // Added before the task runs: a nested loop inside it still runs the rest.
    if (!queue->tasks_.empty()) queue->ScheduleLocked();
  }
  task.run();
  if (task.waiter) {
    std::lock_guard lock(queue->mu_);
    task.waiter->done = true;
    queue->done_cv_.notify_all();
  }
  return G_SOURCE_REMOVE;
}

bool MainThreadQueue::RunAndWait(const std::function<void()>& task) {
  if (OnMainThread()) {
    if (closed()) return false;
    task();
    return true;
  }
  auto waiter = std::make_shared<Waiter>();
  // `task` is used by reference: this thread waits for a task once it has
  // started, and a task not started by the time the queue closes never runs.
  if (!Queue(Task{[&task] { task(); }, waiter})) return false;
  std::unique_lock lock(mu_);
  done_cv_.wait(lock, [&] { return waiter->done || (closed_ && !waiter->started); });
  return waiter->done;
}

void MainThreadQueue::Close() {
  std::lock_guard lock(mu_);
  closed_ = true;
  tasks_.clear();
  done_cv_.notify_all();
}

bool MainThreadQueue::closed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

}  // namespace lumireel::platform::gtk
