// The headless host's input reader, main loop, movie control and exit.
// The window model is in headless_window.cpp, the dialogs in
// headless_dialogs.cpp.
#include "platform/headless/headless_host.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <type_traits>
#include <utility>
#include <variant>

namespace lumireel::platform::headless {

HeadlessHost::HeadlessHost(std::istream& in, std::ostream& out, Size screen)
    : in_(in), out_(out), screen_(screen) {
  // std::cin flushes std::cout before every read; from the reader thread that
  // flush would race with the lines being written (and write some twice).
  in_.tie(nullptr);
  std::lock_guard lock(window_mu_);
  last_window_line_ = WindowLine(PlacementLocked());
}

HeadlessHost::~HeadlessHost() {
  if (reader_.joinable()) reader_.join();
}

void HeadlessHost::Start() {
  if (reader_.joinable()) return;
  reader_ = std::thread([this] { ReadInput(); });
}

void HeadlessHost::SetIdleCheck(std::function<bool()> idle) { idle_check_ = std::move(idle); }

void HeadlessHost::NotifyJobsChanged() {
  std::lock_guard lock(mu_);
  recheck_idle_ = true;
  cv_.notify_all();
}

// ---- Input ----------------------------------------------------------------

void HeadlessHost::ReadInput() {
  std::string line;
  while (std::getline(in_, line)) HandleLine(line);
  EndOfInput();
}

void HeadlessHost::HandleLine(const std::string& line) {
  InputLine input = ParseInputLine(line);
  std::visit(
      [this](auto& item) {
        using T = std::decay_t<decltype(item)>;
        if constexpr (std::is_same_v<T, InvokeInput>) {
          QueueInput([this, request = std::move(item.request)] { FireFlashCall(request); });
        } else if constexpr (std::is_same_v<T, FSCommandInput>) {
          QueueInput([this, command = std::move(item.command), args = std::move(item.args)] {
            FireFSCommand(command, args);
          });
        } else if constexpr (std::is_same_v<T, AnswerInput>) {
          PushAnswer(std::move(item.answer));
        } else if constexpr (std::is_same_v<T, CursorInput>) {
          std::lock_guard lock(cursor_mu_);
          cursor_ = item.position;
          cursor_cv_.notify_all();
        } else if constexpr (std::is_same_v<T, KeyInput>) {
          QueueInput([this, key = item.key] { FireKey(key); });
        } else if constexpr (std::is_same_v<T, CloseInput>) {
          QueueInput([this] { FireClose(); });
        } else if constexpr (std::is_same_v<T, SyncInput>) {
          QueueInput([this, token = std::move(item.token)] { BeginSync(token); });
        } else if constexpr (std::is_same_v<T, BadInput>) {
          // Reported at once, so that a bad answer line shows up even while a
          // dialog blocks the main loop.
          WriteLine(ErrorLine(item.error));
        } else {
          static_assert(std::is_same_v<T, BlankInput>);
        }
      },
      input);
}

void HeadlessHost::EndOfInput() {
  {
    std::lock_guard lock(answers_mu_);
    input_ended_ = true;
    answers_cv_.notify_all();
  }
  // The end of the input is the system closing the window.
  QueueInput([this] { FireClose(); });
}

void HeadlessHost::QueueInput(std::function<void()> task) {
  std::lock_guard lock(mu_);
  input_.push_back(Task{next_seq_++, std::move(task)});
  cv_.notify_all();
}

// ---- Main loop ------------------------------------------------------------

void HeadlessHost::Post(std::function<void()> task) {
  std::lock_guard lock(mu_);
  posted_.push_back(Task{next_seq_++, std::move(task)});
  cv_.notify_all();
}

void HeadlessHost::PostQuit(int exit_code) {
  std::lock_guard lock(mu_);
  if (!quit_code_) quit_code_ = exit_code;
  cv_.notify_all();
}

// Runs on the main thread, as the task of a sync line: from now until the
// program is idle, the loop runs posted tasks only (a worker may need the main
// thread to finish) and leaves later input lines waiting.
void HeadlessHost::BeginSync(std::string token) {
  std::lock_guard lock(mu_);
  sync_token_ = std::move(token);
  recheck_idle_ = true;
}

HeadlessHost::Step HeadlessHost::NextStep(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    if (quit_code_) return Step::kQuit;
    if (sync_token_) {
      if (recheck_idle_) return Step::kCheckIdle;
      if (!posted_.empty()) return Step::kPosted;
    } else {
      bool has_input = !input_.empty();
      bool has_posted = !posted_.empty();
      if (has_input && (!has_posted || input_.front().seq < posted_.front().seq)) {
        return Step::kInput;
      }
      if (has_posted) return Step::kPosted;
    }
    cv_.wait(lock);
  }
}

int HeadlessHost::RunModal() {
  std::unique_lock lock(mu_);
  for (;;) {
    Step step = NextStep(lock);
    if (step == Step::kQuit) return *quit_code_;
    if (step == Step::kCheckIdle) {
      recheck_idle_ = false;
      lock.unlock();
      bool idle = !idle_check_ || idle_check_();
      lock.lock();
      if (idle && sync_token_) {
        std::string token = std::move(*sync_token_);
        sync_token_.reset();
        lock.unlock();
        WriteLine(SyncedLine(token));
        lock.lock();
      }
      continue;
    }
    std::deque<Task>& queue = step == Step::kInput ? input_ : posted_;
    std::function<void()> run = std::move(queue.front().run);
    queue.pop_front();
    // A posted task may be what a waiting sync is waiting for.
    if (step == Step::kPosted && sync_token_) recheck_idle_ = true;
    lock.unlock();
    run();
    lock.lock();
  }
}

// ---- Output ---------------------------------------------------------------

void HeadlessHost::WriteLine(std::string_view line) {
  std::lock_guard lock(out_mu_);
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.put('\n');
  out_.flush();
}

void HeadlessHost::Exit(int code) {
  // Never released: no line may follow the exit line.
  out_mu_.lock();
  std::string line = ExitLine(code);
  line += '\n';
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
  std::_Exit(code);
}

// ---- Movie control --------------------------------------------------------

void HeadlessHost::SetMovie(const std::string& path) { WriteLine(MovieLine(path)); }

std::string HeadlessHost::CallFunction(const std::string& request) {
  WriteLine(CallLine(request));
  return {};
}

void HeadlessHost::SetReturnValue(const std::string& reply) { WriteLine(ReplyLine(reply)); }

void HeadlessHost::DisableLocalSecurity() {}

}  // namespace lumireel::platform::headless
