// CVellumcast2App: brings the process up and runs the main window until the
// movie or the system closes it.
#pragma once

#include <string>

namespace lumireel {

class Pacing;
namespace platform {
class Dialogs;
class MovieControl;
class PasswordStore;
class Window;
}  // namespace platform

struct Jobs;

class CVellumcast2App {
 public:
  // The platform services, the pacing and the job queues the program runs on;
  // all must outlive the application.
  CVellumcast2App(platform::Window& window, platform::MovieControl& control,
                  platform::Dialogs& dialogs, Pacing& pacing, Jobs& jobs);

  // Start-up, then the main window's modal run. Returns the exit code: 0
  // when the window was closed, 1 when the workspace folder (the current
  // folder) cannot be read.
  int InitInstance();

  // Where upload passwords are kept, when the desktop has a store; it must
  // outlive every job. Without one the movie sends them with each command.
  // REQUIRES: before InitInstance.
  void SetPasswordStore(platform::PasswordStore* store) { passwords_ = store; }

 private:
  platform::Window& window_;
  platform::MovieControl& control_;
  platform::Dialogs& dialogs_;
  Pacing& pacing_;
  Jobs& jobs_;
  platform::PasswordStore* passwords_ = nullptr;
};

// The current folder, as the platform returns it; empty with a reason in
// `error` when it cannot be read.
std::string CurrentFolder(std::string* error);

}  // namespace lumireel
