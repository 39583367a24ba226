#include "platform_headless/line_streams.h"

#include <string_view>

namespace lumireel::testing {

void FedInput::Feed(const std::string& text) {
  std::lock_guard lock(mu_);
  pending_ += text;
  cv_.notify_all();
}

void FedInput::Close() {
  std::lock_guard lock(mu_);
  closed_ = true;
  cv_.notify_all();
}

FedInput::int_type FedInput::underflow() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [&] { return !pending_.empty() || closed_; });
  if (pending_.empty()) return traits_type::eof();
  current_.swap(pending_);
  pending_.clear();
  setg(current_.data(), current_.data(), current_.data() + current_.size());
  return traits_type::to_int_type(current_.front());
}

std::optional<std::string> CapturedOutput::NextLine(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  if (!cv_.wait_for(lock, timeout, [&] { return taken_ < lines_.size(); })) return std::nullopt;
  return lines_[taken_++];
}

std::vector<std::string> CapturedOutput::Lines() const {
  std::lock_guard lock(mu_);
  return lines_;
}

CapturedOutput::int_type CapturedOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char ch = traits_type::to_char_type(c);
  xsputn(&ch, 1);
  return c;
}

std::streamsize CapturedOutput::xsputn(const char* text, std::streamsize size) {
  std::lock_guard lock(mu_);
  std::string_view rest(text, static_cast<std::size_t>(size));
  for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
    partial_.append(rest.substr(0, end));
    lines_.push_back(std::move(partial_));
    partial_.clear();
    rest.remove_prefix(end + 1);
    cv_.notify_all();
  }
  partial_.append(rest);
  return size;
}

}  // namespace lumireel::testing
