// A queue of jobs of one kind (photo import, image edit, publishing): jobs run
// one at a time on the queue's own worker thread, in the order they were
// submitted. Each job owns copies of its arguments, so a job submitted while
// another runs never changes the running one.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace lumireel {

class JobQueue {
 public:
  using Job = std::function<void()>;

  // `on_change` is called (from any thread, without the queue's lock) after a
  // job was submitted and after a job ended.
  explicit JobQueue(std::string name, std::function<void()> on_change = {});
  // Lets the queued jobs finish, then joins the worker.
  ~JobQueue();
  JobQueue(const JobQueue&) = delete;
  JobQueue& operator=(const JobQueue&) = delete;

  // `tag`, when not empty, says what the job is about, for NextIs.
  void Submit(Job job, std::string tag = {});
  // True when the job that runs next (after the running one) was submitted
  // with the non-empty `tag`.
  bool NextIs(const std::string& tag) const;
  // True when no job is queued or running.
  bool Idle() const;
  // Blocks until Idle().
  void WaitIdle() const;
  const std::string& name() const { return name_; }

 private:
  void Run();

  const std::string name_;
  const std::function<void()> on_change_;
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  struct Queued {
    Job job;
    std::string tag;
  };
  std::deque<Queued> jobs_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace lumireel
