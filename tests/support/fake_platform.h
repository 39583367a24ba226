// In-memory platform for unit tests: a movie control that records what the
// program sends, a window model and dialogs answered from a queue.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/dialogs.h"
#include "platform/movie_control.h"
#include "platform/window.h"

namespace lumireel::testing {

class FakeMovieControl : public platform::MovieControl {
 public:
  void SetMovie(const std::string& path) override;
  std::string CallFunction(const std::string& request) override;
  void SetReturnValue(const std::string& reply) override;
  void DisableLocalSecurity() override;

  // Delivers a request as the movie would.
  void SendRequest(const std::string& request) { FireFlashCall(request); }
  void SendFSCommand(const std::string& command, const std::string& args) {
    FireFSCommand(command, args);
  }

  std::vector<std::string> calls() const;
  std::vector<std::string> replies() const;
  std::string movie() const;
  int local_security_disabled() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::string> calls_;
  std::vector<std::string> replies_;
  std::string movie_;
  int local_security_disabled_ = 0;
};

class FakeWindow : public platform::Window {
 public:
  explicit FakeWindow(platform::Size screen = {1280, 1024}) : screen_(screen) {}

  int RunModal() override;
  void Post(std::function<void()> task) override;
  platform::Size ScreenSize() override;
  platform::Rect OuterRect() override;
  void MoveWindow(const platform::Rect& rect) override;
  void MoveControl(const platform::Rect& rect) override;
  void Show(platform::ShowState state) override;
  platform::ShowState State() override;
  void SetTitle(const std::string& title) override;
  void SetIcon(int resource, bool large) override;
  platform::Point CursorPosition() override;
  void SendKeyToControl(int virtual_key) override;
  void OpenWithDesktop(const std::string& path) override;
  void PostQuit(int exit_code) override;

  // Runs the tasks posted so far on the calling thread.
  void RunPending();
  void PressKey(platform::WindowKey key) { FireKey(key); }
  void CloseBySystem() { FireClose(); }
  void SetCursor(platform::Point p);
  platform::Rect control() const;
  std::string title() const;
  std::vector<int> keys() const;
  std::vector<std::string> opened() const;
  std::optional<int> quit_code() const;
  int large_icon() const;
  int small_icon() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
  platform::Size screen_;
  platform::Rect normal_{0, 0, 800, 600};
  platform::Rect control_;
  platform::ShowState state_ = platform::ShowState::kNormal;
  std::string title_;
  platform::Point cursor_;
  std::vector<int> keys_;
  std::vector<std::string> opened_;
  std::optional<int> quit_code_;
  int large_icon_ = 0;
  int small_icon_ = 0;
};

// Answers dialogs from a queue; an empty queue answers OK-only boxes with OK
// and cancels everything else.
class FakeDialogs : public platform::Dialogs {
 public:
  using Answer = std::variant<platform::MessageResult, std::vector<std::string>, std::string,
                              std::nullopt_t>;

  void QueueButton(platform::MessageResult result);
  void QueueFiles(std::vector<std::string> files);
  void QueueFolder(std::string folder);
  void QueueCancel();

  platform::MessageResult ShowMessageBox(const platform::MessageBoxRequest& request) override;
  std::optional<std::vector<std::string>> OpenFiles(
      const platform::OpenFileRequest& request) override;
  std::optional<std::string> PickFolder(const platform::FolderRequest& request) override;

  std::vector<platform::MessageBoxRequest> boxes() const;
  std::vector<platform::OpenFileRequest> file_dialogs() const;
  std::vector<platform::FolderRequest> folder_dialogs() const;

 private:
  std::optional<Answer> Next();

  mutable std::mutex mu_;
  std::deque<Answer> answers_;
  std::vector<platform::MessageBoxRequest> boxes_;
  std::vector<platform::OpenFileRequest> file_dialogs_;
  std::vector<platform::FolderRequest> folder_dialogs_;
};

}  // namespace lumireel::testing
