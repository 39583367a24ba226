// The desktop host: the main window as a GTK 3 window, the movie control as a
// WebKitGTK web view playing the interface movie, and GTK dialogs.
//
// This header is what the program's entry point sees of the desktop host; it
// includes no GTK or WebKit headers.
#pragma once

#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/movie_control.h"
#include "platform/window.h"

namespace lumireel::platform::gtk {

// The main window, its movie control and the dialogs of one process.
//
// The thread that opened the host is the main thread: it owns the window and
// the web view, runs RunModal, and is where every request from the movie and
// every dialog is handled. Members of Window and Dialogs may be called from
// any thread (see window.h and dialogs.h); CallFunction too, and it never
// waits for the movie: it returns "" and the call reaches the movie after the
// calls made before it by the same thread. Once RunModal has returned, calls
// from other threads are dropped and dialogs they ask for are cancelled, so
// that no worker waits for a main loop that no longer runs.
class DesktopHost : public MovieControl, public Window, public Dialogs {
 public:
  ~DesktopHost() override = default;
};

// Connects to the display and creates the main window (hidden until RunModal)
// with its movie control. Returns null, with the reason in `error`, when no
// display can be opened.
// REQUIRES: called on the thread that runs GTK; a second host only after the
// first was destroyed.
std::unique_ptr<DesktopHost> OpenDesktopHost(std::string* error);

}  // namespace lumireel::platform::gtk
