// The main window that holds the movie control.
#pragma once

#include <functional>
#include <string>

namespace lumireel::platform {

struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool operator==(const Rect&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int w = 0;
  int h = 0;
  bool operator==(const Size&) const = default;
};

enum class ShowState { kNormal, kMaximized, kMinimized };

// Keys the main window handles itself.
enum class WindowKey { kReturn, kEscape };

// The main window and the main thread's loop. Every member may be called from
// any thread unless stated; implementations marshal to the thread that owns
// the window where they need to.
class Window {
 public:
  using KeyHandler = std::function<void(WindowKey key)>;
  using CloseHandler = std::function<void()>;

  virtual ~Window() = default;

  // Runs the main loop until PostQuit; returns the exit code given to it.
  // REQUIRES: called once, on the main thread.
  virtual int RunModal() = 0;
  // Runs `task` on the main thread, after the tasks posted before it.
  virtual void Post(std::function<void()> task) = 0;

  // Size of the primary screen in pixels.
  virtual Size ScreenSize() = 0;
  // Outer rectangle of the window in screen coordinates (frame included).
  virtual Rect OuterRect() = 0;
  // Moves and sizes the window (in its normal state) and repaints it.
  virtual void MoveWindow(const Rect& rect) = 0;
  // Moves and sizes the movie control in the window's client coordinates.
  virtual void MoveControl(const Rect& rect) = 0;
  virtual void Show(ShowState state) = 0;
  virtual ShowState State() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Sets the large and the small icon from the program's icon resources
  // (130, 136, 137 or 138).
  virtual void SetIcon(int resource, bool large) = 0;
  // Pointer position in screen coordinates.
  virtual Point CursorPosition() = 0;
  // Sends a key-down of the given virtual key to the movie control.
  virtual void SendKeyToControl(int virtual_key) = 0;
  // Opens `path` (a folder or a page, already checked by the caller) with the
  // desktop's handler for it: the file manager or the browser. Returns at
  // once; what the desktop starts runs on its own.
  virtual void OpenWithDesktop(const std::string& path) = 0;
  // Ends the main loop; RunModal then returns `exit_code`.
  virtual void PostQuit(int exit_code) = 0;

  // Handlers of key presses in the window and of the system closing the
  // window; both run on the main thread.
  void SetKeyHandler(KeyHandler handler) { on_key_ = std::move(handler); }
  void SetCloseHandler(CloseHandler handler) { on_close_ = std::move(handler); }

 protected:
  void FireKey(WindowKey key) {
    if (on_key_) on_key_(key);
  }
  void FireClose() {
    if (on_close_) on_close_();
  }

 private:
  KeyHandler on_key_;
  CloseHandler on_close_;
};

}  // namespace lumireel::platform
