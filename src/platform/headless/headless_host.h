// The headless host: the movie control, the main window and the dialogs of a
// program driven by JSON lines on a pair of streams instead of a screen.
//
// Input lines come from `in` (see headless_protocol.h for their forms). A
// reader thread takes them as they arrive: answers for dialogs and the cursor
// position take effect at once; every other line becomes a task that the main
// loop (RunModal) runs in arrival order, interleaved with the tasks given to
// Post. Output lines go to `out`, each written whole and flushed under one
// lock, so that lines from one thread keep their order. The constructor
// unties `in` from any output stream: a tied std::cin would flush std::cout
// from the reader thread, outside that lock.
//
// A sync line is answered once the idle check holds; until then the loop runs
// posted tasks only (a worker may need the main thread to finish its job) and
// leaves later input lines waiting. The end of the input counts as the system
// closing the window, and from then on a dialog with no answer queued is
// cancelled at once.
//
// The window is a model on a virtual screen: it starts in the normal state at
// (0, 0, 800, 600) with an empty title, and writes a window line whenever what
// that line shows changes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/dialogs.h"
#include "platform/headless/headless_protocol.h"
#include "platform/movie_control.h"
#include "platform/window.h"

namespace lumireel::platform::headless {

class HeadlessHost final : public MovieControl, public Window, public Dialogs {
 public:
  // `in` and `out` must outlive the host. Nothing is read before Start.
  HeadlessHost(std::istream& in, std::ostream& out, Size screen);
  // Waits for the reader thread, which ends only with the input: the input
  // must have ended (or must end) before the host is destroyed.
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Starts the reader thread. Install the handlers and the idle check first.
  void Start();

  // The predicate a `sync` line waits for: true when no job is running or
  // queued. Without one, the program counts as idle.
  // REQUIRES: called before RunModal. The predicate runs on the main thread.
  void SetIdleCheck(std::function<bool()> idle);
  // Tells a waiting `sync` to ask the idle check again. Any thread.
  void NotifyJobsChanged();

  // Waits until the cursor is somewhere other than `last`, until
  // WakeCursorWaiters is called, or until `timeout` passes. Returns true when
  // the cursor is not at `last`. Any thread; lets a tracking worker follow the
  // pointer without spinning.
  bool WaitForCursorChange(Point last, std::chrono::milliseconds timeout);
  // Ends every current WaitForCursorChange (for a worker that must stop).
  void WakeCursorWaiters();

  // Writes {"exit": code} as the last output line and ends the process with
  // `code` at once, without waiting for other threads. Any thread.
  [[noreturn]] void Exit(int code);

  // MovieControl. CallFunction writes a call line and returns "".
  void SetMovie(const std::string& path) override;
  std::string CallFunction(const std::string& request) override;
  void SetReturnValue(const std::string& reply) override;
  void DisableLocalSecurity() override;

  // Window.
  int RunModal() override;
  void Post(std::function<void()> task) override;
  Size ScreenSize() override;
  Rect OuterRect() override;
  void MoveWindow(const Rect& rect) override;
  void MoveControl(const Rect& rect) override;
  void Show(ShowState state) override;
  ShowState State() override;
  void SetTitle(const std::string& title) override;
  void SetIcon(int resource, bool large) override;
  Point CursorPosition() override;
  void SendKeyToControl(int virtual_key) override;
  void OpenWithDesktop(const std::string& path) override;
  void PostQuit(int exit_code) override;

  // Dialogs. Any thread; one dialog at a time. Each writes its line, then
  // takes the oldest queued answer or waits for the next one. A message box
  // with only OK does not wait: without a queued answer it is answered OK.
  // Once the input has ended and no answer is queued, dialogs are cancelled.
  MessageResult ShowMessageBox(const MessageBoxRequest& request) override;
  std::optional<std::vector<std::string>> OpenFiles(const OpenFileRequest& request) override;
  std::optional<std::string> PickFolder(const FolderRequest& request) override;
  // True when an answer line is queued.
  bool AnswerWaiting() override;

  // Icons set so far (0 when none), for tests.
  int large_icon() const;
  int small_icon() const;

 private:
  // A task for the main loop; `seq` keeps input lines and posted tasks in the
  // order they arrived.
  struct Task {
    std::uint64_t seq;
    std::function<void()> run;
  };
  // What the main loop does next.
  enum class Step { kQuit, kInput, kPosted, kCheckIdle };

  void ReadInput();
  void HandleLine(const std::string& line);
  void EndOfInput();
  void QueueInput(std::function<void()> task);
  void BeginSync(std::string token);
  Step NextStep(std::unique_lock<std::mutex>& lock);

  void WriteLine(std::string_view line);
  // REQUIRES: window_mu_ held.
  void EmitWindowIfChanged();
  WindowPlacement PlacementLocked() const;

  void PushAnswer(Answer answer);
  // The oldest queued answer; when none is queued, waits for one if `wait`.
  // nullopt when nothing came (no wait, or the input has ended).
  std::optional<Answer> TakeAnswer(bool wait);

  std::istream& in_;
  std::ostream& out_;
  const Size screen_;
  std::thread reader_;

  std::mutex out_mu_;  // one output line at a time

  // The main loop.
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Task> input_;                 // guarded by mu_
  std::deque<Task> posted_;                // guarded by mu_
  std::uint64_t next_seq_ = 0;             // guarded by mu_
  std::optional<int> quit_code_;           // guarded by mu_
  std::optional<std::string> sync_token_;  // guarded by mu_: the sync waiting for idleness
  bool recheck_idle_ = false;              // guarded by mu_
  std::function<bool()> idle_check_;       // set before RunModal, then used on the main thread

  // The window model.
  mutable std::mutex window_mu_;
  Rect normal_{0, 0, 800, 600};           // guarded by window_mu_
  Rect control_;                          // guarded by window_mu_
  ShowState state_ = ShowState::kNormal;  // guarded by window_mu_
  std::string title_;                     // guarded by window_mu_
  std::string last_window_line_;          // guarded by window_mu_
  int large_icon_ = 0;                    // guarded by window_mu_
  int small_icon_ = 0;                    // guarded by window_mu_

  // The cursor.
  std::mutex cursor_mu_;
  std::condition_variable cursor_cv_;
  Point cursor_;                      // guarded by cursor_mu_
  std::uint64_t cursor_wakeups_ = 0;  // guarded by cursor_mu_

  // Dialogs and their answers.
  std::mutex dialog_mu_;  // held while a dialog is open
  std::mutex answers_mu_;
  std::condition_variable answers_cv_;
  std::deque<Answer> answers_;  // guarded by answers_mu_
  bool input_ended_ = false;    // guarded by answers_mu_
};

}  // namespace lumireel::platform::headless
