#include "bridge/job_queue.h"

namespace lumireel {

JobQueue::JobQueue(std::string name, std::function<void()> on_change)
    : name_(std::move(name)), on_change_(std::move(on_change)) {}

JobQueue::~JobQueue() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    cv_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
}

void JobQueue::Submit(Job job, std::string tag) {
  {
    std::lock_guard lock(mu_);
    jobs_.push_back({std::move(job), std::move(tag)});
    if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
    cv_.notify_all();
  }
  if (on_change_) on_change_();
}

bool JobQueue::NextIs(const std::string& tag) const {
  std::lock_guard lock(mu_);
  return !tag.empty() && !jobs_.empty() && jobs_.front().tag == tag;
}

bool JobQueue::Idle() const {
  std::lock_guard lock(mu_);
  return jobs_.empty() && !running_;
}

void JobQueue::WaitIdle() const {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [this] { return jobs_.empty() && !running_; });
}

void JobQueue::Run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mu_);
      cv_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping with nothing left
      job = std::move(jobs_.front().job);
      jobs_.pop_front();
      running_ = true;
    }
    job();
    {
      std::lock_guard lock(mu_);
      running_ = false;
      cv_.notify_all();
    }
    if (on_change_) on_change_();
  }
}

}  // namespace lumireel
