// A `lumireel --headless` child process for end-to-end tests: started in a
// workspace folder of its own, spoken to through JSON lines on its stdin and
// read from its stdout (its stderr goes to the test's stderr).
//
// Every wait has a timeout (20 s by default) so that a program that hangs
// fails the test instead of blocking the run. Reading keeps a transcript of
// the lines seen, for failure messages. Not thread-safe: one test thread
// drives one process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace lumireel::testing {

inline constexpr std::chrono::milliseconds kDefaultTimeout{20000};

struct HeadlessProcessOptions {
  // The program to start; the built `lumireel` when the tests know it.
  std::filesystem::path program;
  // Given after `--headless --pace 0`.
  std::vector<std::string> extra_args;
  // The workspace to start in. Empty: a fresh temporary folder, removed when
  // the process object goes; a folder given here is left in place.
  std::filesystem::path workspace;
};

// The options for the built `lumireel` in a fresh workspace.
HeadlessProcessOptions DefaultHeadlessOptions();

class HeadlessProcess {
 public:
  using Json = nlohmann::json;
  using Predicate = std::function<bool(const Json&)>;

  // Starts the process; a failure to start is reported as a test failure and
  // leaves running() false.
  explicit HeadlessProcess(HeadlessProcessOptions options = DefaultHeadlessOptions());
  // Kills the process if it still runs and removes a temporary workspace.
  ~HeadlessProcess();
  HeadlessProcess(const HeadlessProcess&) = delete;
  HeadlessProcess& operator=(const HeadlessProcess&) = delete;

  const std::filesystem::path& workspace() const { return workspace_; }
  pid_t pid() const { return pid_; }
  // True until the process has been seen to end.
  bool running() const { return pid_ > 0 && !exit_status_; }

  // Writes one input line. False (and a test failure) when the line could
  // not be written within the timeout or the input is closed.
  bool Send(const Json& line, std::chrono::milliseconds timeout = kDefaultTimeout);
  // Writes `line` as it is, adding the line feed if it has none.
  bool SendRaw(std::string line, std::chrono::milliseconds timeout = kDefaultTimeout);
  bool Invoke(const std::string& xml) { return Send(Json{{"invoke", xml}}); }
  bool Answer(const Json& answer) { return Send(Json{{"answer", answer}}); }
  // Ends the input (the program sees the window closed).
  void CloseInput();

  // The next output line; nullopt at the timeout or at the end of the output.
  // A line that is not JSON is a test failure and comes back as
  // {"unparsed": TEXT}.
  std::optional<Json> NextLine(std::chrono::milliseconds timeout = kDefaultTimeout);
  // Reads lines until one matches; returns them all, the match last. nullopt
  // when none matched before the timeout or the end of the output.
  std::optional<std::vector<Json>> WaitFor(const Predicate& match,
                                           std::chrono::milliseconds timeout = kDefaultTimeout);
  // Sends a sync line with a new token and returns the lines that came before
  // its answer; nullopt when the answer did not come.
  std::optional<std::vector<Json>> Sync(std::chrono::milliseconds timeout = kDefaultTimeout);

  // Waits for the process to end, reading (and keeping) its output meanwhile.
  // Returns the exit status, 128 + N for a death by signal N; nullopt at the
  // timeout.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = kDefaultTimeout);

  // The last lines read, one per line, for failure messages.
  std::string Transcript() const;

 private:
  using Clock = std::chrono::steady_clock;

  void Spawn(const HeadlessProcessOptions& options);
  // Reads what is available within `deadline`; false at the end of the
  // output or at the deadline with nothing read.
  bool ReadSome(Clock::time_point deadline);
  std::optional<std::string> TakeBufferedLine();
  void Reap(bool block);

  std::filesystem::path workspace_;
  bool owns_workspace_ = false;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  int pid_fd_ = -1;  // -1 where the system has no process descriptors
  std::optional<int> exit_status_;
  bool output_ended_ = false;
  std::string buffer_;       // output read; lines before start_ were taken
  std::size_t start_ = 0;    // where the next line begins in buffer_
  std::size_t scanned_ = 0;  // buffer_ between start_ and this holds no line feed
  std::deque<std::string> transcript_;
  std::uint64_t next_token_ = 0;
};

}  // namespace lumireel::testing
