// Streams for driving a headless host in-process: an input the test feeds
// while the host reads it, and an output whose lines the test waits for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace lumireel::testing {

// Reading blocks until text is fed or the input is closed (then end of file).
class FedInput : public std::streambuf {
 public:
  FedInput() : stream_(this) {}
  std::istream& stream() { return stream_; }
  void Feed(const std::string& text);
  void FeedLine(const std::string& line) { Feed(line + "\n"); }
  void Close();

 protected:
  int_type underflow() override;

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::string pending_;  // guarded by mu_
  bool closed_ = false;  // guarded by mu_
  std::string current_;  // the reader's, being read
  std::istream stream_;
};

// Keeps every line written to it.
class CapturedOutput : public std::streambuf {
 public:
  CapturedOutput() : stream_(this) {}
  std::ostream& stream() { return stream_; }
  // The next line not yet taken, waiting up to `timeout` for it.
  std::optional<std::string> NextLine(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  std::vector<std::string> Lines() const;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize size) override;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::string partial_;             // guarded by mu_
  std::vector<std::string> lines_;  // guarded by mu_
  std::size_t taken_ = 0;           // guarded by mu_
  std::ostream stream_;
};

}  // namespace lumireel::testing
