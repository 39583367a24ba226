#include "e2e/support/headless_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace lumireel::testing {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kTranscriptLines = 40;
constexpr std::size_t kTranscriptWidth = 300;

int MillisUntil(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60000));
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::filesystem::path MakeTemporaryWorkspace() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumireel-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

HeadlessProcessOptions DefaultHeadlessOptions() {
  HeadlessProcessOptions options;
#ifdef LUMIREEL_BINARY
  options.program = LUMIREEL_BINARY;
#endif
  return options;
}

HeadlessProcess::HeadlessProcess(HeadlessProcessOptions options) {
  // A child that dies while we write to it must fail the write, not kill the tests.
  signal(SIGPIPE, SIG_IGN);
  if (options.workspace.empty()) {
    workspace_ = MakeTemporaryWorkspace();
    owns_workspace_ = !workspace_.empty();
  } else {
    workspace_ = options.workspace;
  }
  if (workspace_.empty()) {
    ADD_FAILURE() << "cannot create a temporary workspace: " << std::strerror(errno);
    return;
  }
  Spawn(options);
}

HeadlessProcess::~HeadlessProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    Reap(/*block=*/true);
  }
  CloseFd(stdin_fd_);
  CloseFd(stdout_fd_);
  CloseFd(pid_fd_);
  if (owns_workspace_) {
    std::error_code ignored;
    std::filesystem::remove_all(workspace_, ignored);
  }
}

void HeadlessProcess::Spawn(const HeadlessProcessOptions& options) {
  std::vector<std::string> args = {options.program.string(), "--headless", "--pace", "0"};
  args.insert(args.end(), options.extra_args.begin(), options.extra_args.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string folder = workspace_.string();

  int to_child[2];
  int from_child[2];
  if (pipe2(to_child, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  if (pipe2(from_child, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    close(to_child[0]);
    close(to_child[1]);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here on.
    signal(SIGPIPE, SIG_DFL);
    if (chdir(folder.c_str()) != 0 || dup2(to_child[0], STDIN_FILENO) < 0 ||
        dup2(from_child[1], STDOUT_FILENO) < 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  if (pid_ < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    close(to_child[1]);
    close(from_child[0]);
    return;
  }
  stdin_fd_ = to_child[1];
  stdout_fd_ = from_child[0];
  SetNonBlocking(stdin_fd_);
  SetNonBlocking(stdout_fd_);
#ifdef SYS_pidfd_open
  pid_fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
#endif
}

bool HeadlessProcess::Send(const Json& line, std::chrono::milliseconds timeout) {
  return SendRaw(line.dump(-1, ' ', false, Json::error_handler_t::replace), timeout);
}

bool HeadlessProcess::SendRaw(std::string line, std::chrono::milliseconds timeout) {
  if (line.empty() || line.back() != '\n') line += '\n';
  if (stdin_fd_ < 0) {
    ADD_FAILURE() << "cannot send after the input was closed: " << line.substr(0, 200);
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  std::size_t written = 0;
  while (written < line.size()) {
    // Keep reading while writing: a program blocked on a full output pipe
    // would otherwise never take the rest of a long line.
    pollfd fds[2] = {{stdin_fd_, POLLOUT, 0}, {stdout_fd_, POLLIN, 0}};
    const nfds_t count = output_ended_ ? 1 : 2;
    int ready = poll(fds, count, MillisUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      ADD_FAILURE() << "timed out writing an input line of " << line.size() << " bytes";
      return false;
    }
    if (count == 2 && fds[1].revents != 0) ReadSome(Clock::now());
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      ADD_FAILURE() << "the program no longer reads its input";
      return false;
    }
    if (fds[0].revents & POLLOUT) {
      ssize_t n = write(stdin_fd_, line.data() + written, line.size() - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        ADD_FAILURE() << "writing to the program: " << std::strerror(errno);
        return false;
      }
    }
  }
  return true;
}

void HeadlessProcess::CloseInput() { CloseFd(stdin_fd_); }

bool HeadlessProcess::ReadSome(Clock::time_point deadline) {
  if (output_ended_ || stdout_fd_ < 0) return false;
  pollfd fd = {stdout_fd_, POLLIN, 0};
  int ready = poll(&fd, 1, MillisUntil(deadline));
  if (ready <= 0) return false;
  bool got = false;
  char chunk[kReadChunk];
  // Bounded, so that a program writing without pause cannot keep us here.
  for (int i = 0; i < 64; ++i) {
    ssize_t n = read(stdout_fd_, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
      got = true;
    } else if (n == 0) {
      output_ended_ = true;
      break;
    } else if (errno != EINTR) {
      break;  // EAGAIN: all read for now
    }
  }
  return got;
}

std::optional<std::string> HeadlessProcess::TakeBufferedLine() {
  std::size_t end = buffer_.find('\n', scanned_);
  if (end == std::string::npos) {
    scanned_ = buffer_.size();
    // A last line without its line feed still counts once the output ended.
    if (!output_ended_ || start_ == buffer_.size()) return std::nullopt;
    end = buffer_.size();
  }
  std::string line = buffer_.substr(start_, end - start_);
  start_ = std::min(end + 1, buffer_.size());
  scanned_ = start_;
  // Drop what was taken now and then rather than at every line, so that many
  // short lines read at once cost no more than one pass.
  if (start_ == buffer_.size() || start_ > buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = scanned_ = 0;
  }
  return line;
}

std::optional<HeadlessProcess::Json> HeadlessProcess::NextLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (std::optional<std::string> text = TakeBufferedLine()) {
      transcript_.push_back(text->substr(0, kTranscriptWidth));
      if (transcript_.size() > kTranscriptLines) transcript_.pop_front();
      Json line = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
      if (line.is_discarded()) {
        ADD_FAILURE() << "output line is not JSON: " << text->substr(0, kTranscriptWidth);
        return Json{{"unparsed", *text}};
      }
      return line;
    }
    if (output_ended_) return std::nullopt;
    if (!ReadSome(deadline) && Clock::now() >= deadline) return std::nullopt;
  }
}

std::optional<std::vector<HeadlessProcess::Json>> HeadlessProcess::WaitFor(
    const Predicate& match, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::vector<Json> lines;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    std::optional<Json> line = NextLine(std::max(left, std::chrono::milliseconds(0)));
    if (!line) return std::nullopt;
    lines.push_back(std::move(*line));
    if (match(lines.back())) return lines;
  }
}

std::optional<std::vector<HeadlessProcess::Json>> HeadlessProcess::Sync(
    std::chrono::milliseconds timeout) {
  const Json synced = {{"synced", "sync-" + std::to_string(++next_token_)}};
  if (!Send(Json{{"sync", synced["synced"]}}, timeout)) return std::nullopt;
  auto lines = WaitFor([&](const Json& line) { return line == synced; }, timeout);
  if (lines) lines->pop_back();
  return lines;
}

void HeadlessProcess::Reap(bool block) {
  if (pid_ <= 0 || exit_status_) return;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done != pid_) return;
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<int> HeadlessProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    Reap(/*block=*/false);
    if (exit_status_ || pid_ <= 0) return exit_status_;
    if (Clock::now() >= deadline) return std::nullopt;
    // Wait for the process to end or to write; without a process descriptor,
    // look again every few milliseconds.
    pollfd fds[2];
    nfds_t count = 0;
    if (pid_fd_ >= 0) fds[count++] = {pid_fd_, POLLIN, 0};
    if (!output_ended_) fds[count++] = {stdout_fd_, POLLIN, 0};
    int wait_ms = pid_fd_ >= 0 ? MillisUntil(deadline) : std::min(MillisUntil(deadline), 10);
    if (poll(fds, count, wait_ms) > 0 && !output_ended_) ReadSome(Clock::now());
  }
}

std::string HeadlessProcess::Transcript() const {
  std::string text;
  for (const std::string& line : transcript_) text += line + "\n";
  return text;
}

}  // namespace lumireel::testing
