// The headless host's window model on a virtual screen, and the cursor.
#include "platform/headless/headless_host.h"

namespace lumireel::platform::headless {

Size HeadlessHost::ScreenSize() { return screen_; }

WindowPlacement HeadlessHost::PlacementLocked() const {
  // A maximised window covers the screen; a minimised one keeps reporting the
  // rectangle it will come back to.
  Rect outer = state_ == ShowState::kMaximized ? Rect{0, 0, screen_.w, screen_.h} : normal_;
  return WindowPlacement{outer, state_, title_, control_};
}

void HeadlessHost::EmitWindowIfChanged() {
  std::string line = WindowLine(PlacementLocked());
  if (line == last_window_line_) return;
  last_window_line_ = line;
  // Written while window_mu_ is still held, so that the lines come out in the
  // order of the changes they show.
  WriteLine(line);
}

Rect HeadlessHost::OuterRect() {
  std::lock_guard lock(window_mu_);
  return PlacementLocked().outer;
}

void HeadlessHost::MoveWindow(const Rect& rect) {
  std::lock_guard lock(window_mu_);
  normal_ = rect;
  EmitWindowIfChanged();
}

void HeadlessHost::MoveControl(const Rect& rect) {
  std::lock_guard lock(window_mu_);
  control_ = rect;
  EmitWindowIfChanged();
}

void HeadlessHost::Show(ShowState state) {
  std::lock_guard lock(window_mu_);
  state_ = state;
  EmitWindowIfChanged();
}

ShowState HeadlessHost::State() {
  std::lock_guard lock(window_mu_);
  return state_;
}

void HeadlessHost::SetTitle(const std::string& title) {
  std::lock_guard lock(window_mu_);
  title_ = title;
  EmitWindowIfChanged();
}

void HeadlessHost::SetIcon(int resource, bool large) {
  std::lock_guard lock(window_mu_);
  (large ? large_icon_ : small_icon_) = resource;
}

int HeadlessHost::large_icon() const {
  std::lock_guard lock(window_mu_);
  return large_icon_;
}

int HeadlessHost::small_icon() const {
  std::lock_guard lock(window_mu_);
  return small_icon_;
}

void HeadlessHost::SendKeyToControl(int virtual_key) { WriteLine(ControlKeyLine(virtual_key)); }

void HeadlessHost::OpenWithDesktop(const std::string& path) { WriteLine(OpenLine(path)); }

Point HeadlessHost::CursorPosition() {
  std::lock_guard lock(cursor_mu_);
  return cursor_;
}

bool HeadlessHost::WaitForCursorChange(Point last, std::chrono::milliseconds timeout) {
  std::unique_lock lock(cursor_mu_);
  const std::uint64_t wakeups = cursor_wakeups_;
  cursor_cv_.wait_for(lock, timeout, [&] { return cursor_ != last || cursor_wakeups_ != wakeups; });
  return cursor_ != last;
}

void HeadlessHost::WakeCursorWaiters() {
  std::lock_guard lock(cursor_mu_);
  ++cursor_wakeups_;
  cursor_cv_.notify_all();
}

}  // namespace lumireel::platform::headless
