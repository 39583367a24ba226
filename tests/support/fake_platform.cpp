#include "support/fake_platform.h"

namespace lumireel::testing {

void FakeMovieControl::SetMovie(const std::string& path) {
  std::lock_guard lock(mu_);
  movie_ = path;
}

std::string FakeMovieControl::CallFunction(const std::string& request) {
  std::lock_guard lock(mu_);
  calls_.push_back(request);
  return {};
}

void FakeMovieControl::SetReturnValue(const std::string& reply) {
  std::lock_guard lock(mu_);
  replies_.push_back(reply);
}

void FakeMovieControl::DisableLocalSecurity() {
  std::lock_guard lock(mu_);
  ++local_security_disabled_;
}

std::vector<std::string> FakeMovieControl::calls() const {
  std::lock_guard lock(mu_);
  return calls_;
}

std::vector<std::string> FakeMovieControl::replies() const {
  std::lock_guard lock(mu_);
  return replies_;
}

std::string FakeMovieControl::movie() const {
  std::lock_guard lock(mu_);
  return movie_;
}

int FakeMovieControl::local_security_disabled() const {
  std::lock_guard lock(mu_);
  return local_security_disabled_;
}

int FakeWindow::RunModal() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mu_);
      cv_.wait(lock, [&] { return quit_code_.has_value() || !tasks_.empty(); });
      if (tasks_.empty()) return *quit_code_;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void FakeWindow::Post(std::function<void()> task) {
  std::lock_guard lock(mu_);
  tasks_.push_back(std::move(task));
  cv_.notify_all();
}

void FakeWindow::RunPending() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard lock(mu_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
}

platform::Size FakeWindow::ScreenSize() { return screen_; }

platform::Rect FakeWindow::OuterRect() {
  std::lock_guard lock(mu_);
  if (state_ == platform::ShowState::kMaximized) return {0, 0, screen_.w, screen_.h};
  return normal_;
}

void FakeWindow::MoveWindow(const platform::Rect& rect) {
  std::lock_guard lock(mu_);
  normal_ = rect;
}

void FakeWindow::MoveControl(const platform::Rect& rect) {
  std::lock_guard lock(mu_);
  control_ = rect;
}

void FakeWindow::Show(platform::ShowState state) {
  std::lock_guard lock(mu_);
  state_ = state;
}

platform::ShowState FakeWindow::State() {
  std::lock_guard lock(mu_);
  return state_;
}

void FakeWindow::SetTitle(const std::string& title) {
  std::lock_guard lock(mu_);
  title_ = title;
}

void FakeWindow::SetIcon(int resource, bool large) {
  std::lock_guard lock(mu_);
  (large ? large_icon_ : small_icon_) = resource;
}

platform::Point FakeWindow::CursorPosition() {
  std::lock_guard lock(mu_);
  return cursor_;
}

void FakeWindow::SendKeyToControl(int virtual_key) {
  std::lock_guard lock(mu_);
  keys_.push_back(virtual_key);
}

void FakeWindow::OpenWithDesktop(const std::string& path) {
  std::lock_guard lock(mu_);
  opened_.push_back(path);
}

void FakeWindow::PostQuit(int exit_code) {
  std::lock_guard lock(mu_);
  quit_code_ = exit_code;
  cv_.notify_all();
}

void FakeWindow::SetCursor(platform::Point p) {
  std::lock_guard lock(mu_);
  cursor_ = p;
}

platform::Rect FakeWindow::control() const {
  std::lock_guard lock(mu_);
  return control_;
}

std::string FakeWindow::title() const {
  std::lock_guard lock(mu_);
  return title_;
}

std::vector<int> FakeWindow::keys() const {
  std::lock_guard lock(mu_);
  return keys_;
}

std::vector<std::string> FakeWindow::opened() const {
  std::lock_guard lock(mu_);
  return opened_;
}

std::optional<int> FakeWindow::quit_code() const {
  std::lock_guard lock(mu_);
  return quit_code_;
}

int FakeWindow::large_icon() const {
  std::lock_guard lock(mu_);
  return large_icon_;
}

int FakeWindow::small_icon() const {
  std::lock_guard lock(mu_);
  return small_icon_;
}

void FakeDialogs::QueueButton(platform::MessageResult result) {
  std::lock_guard lock(mu_);
  answers_.emplace_back(result);
}

void FakeDialogs::QueueFiles(std::vector<std::string> files) {
  std::lock_guard lock(mu_);
  answers_.emplace_back(std::move(files));
}

void FakeDialogs::QueueFolder(std::string folder) {
  std::lock_guard lock(mu_);
  answers_.emplace_back(std::move(folder));
}

void FakeDialogs::QueueCancel() {
  std::lock_guard lock(mu_);
  answers_.emplace_back(std::nullopt);
}

std::optional<FakeDialogs::Answer> FakeDialogs::Next() {
  if (answers_.empty()) return std::nullopt;
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

platform::MessageResult FakeDialogs::ShowMessageBox(const platform::MessageBoxRequest& request) {
  std::lock_guard lock(mu_);
  boxes_.push_back(request);
  std::optional<Answer> answer = Next();
  if (answer) {
    if (auto* button = std::get_if<platform::MessageResult>(&*answer)) return *button;
    if (std::holds_alternative<std::nullopt_t>(*answer)) return platform::MessageResult::kCancel;
  }
  return request.buttons == platform::MessageButtons::kOk ? platform::MessageResult::kOk
                                                          : platform::MessageResult::kCancel;
}

std::optional<std::vector<std::string>> FakeDialogs::OpenFiles(
    const platform::OpenFileRequest& request) {
  std::lock_guard lock(mu_);
  file_dialogs_.push_back(request);
  std::optional<Answer> answer = Next();
  if (answer) {
    if (auto* files = std::get_if<std::vector<std::string>>(&*answer)) return *files;
    if (auto* file = std::get_if<std::string>(&*answer)) return std::vector<std::string>{*file};
  }
  return std::nullopt;
}

std::optional<std::string> FakeDialogs::PickFolder(const platform::FolderRequest& request) {
  std::lock_guard lock(mu_);
  folder_dialogs_.push_back(request);
  std::optional<Answer> answer = Next();
  if (answer) {
    if (auto* folder = std::get_if<std::string>(&*answer)) return *folder;
  }
  return std::nullopt;
}

std::vector<platform::MessageBoxRequest> FakeDialogs::boxes() const {
  std::lock_guard lock(mu_);
  return boxes_;
}

std::vector<platform::OpenFileRequest> FakeDialogs::file_dialogs() const {
  std::lock_guard lock(mu_);
  return file_dialogs_;
}

std::vector<platform::FolderRequest> FakeDialogs::folder_dialogs() const {
  std::lock_guard lock(mu_);
  return folder_dialogs_;
}

}  // namespace lumireel::testing
