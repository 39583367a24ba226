// The movie-player control that hosts the interface movie.
//
// The movie sends requests (invoke XML texts) that reach the program through
// the FlashCall handler; the program calls functions of the movie with
// CallFunction and answers the request being handled with SetReturnValue.
#pragma once

#include <functional>
#include <string>

namespace lumireel::platform {

class MovieControl {
 public:
  using RequestHandler = std::function<void(const std::string& request)>;
  using CommandHandler =
      std::function<void(const std::string& command, const std::string& args)>;

  virtual ~MovieControl() = default;

  // Gives the control the movie to play. A path that does not exist leaves
  // the control empty; no error is reported.
  // REQUIRES: called on the main thread.
  virtual void SetMovie(const std::string& path) = 0;

  // Calls a function of the movie with an invoke message and returns the
  // movie's answer (empty when there is none). Safe to call from any thread;
  // the calls of one thread reach the movie in the order they were made.
  virtual std::string CallFunction(const std::string& request) = 0;

  // Answers the request currently being handled.
  // REQUIRES: called on the main thread while a request handler runs.
  virtual void SetReturnValue(const std::string& reply) = 0;

  // Lets the movie read local files (kept for the control's contract).
  virtual void DisableLocalSecurity() = 0;

  // Installs the handler of the movie's requests (FlashCall) and of its
  // FSCommand events. Both run on the main thread.
  void SetFlashCallHandler(RequestHandler handler) { on_flash_call_ = std::move(handler); }
  void SetFSCommandHandler(CommandHandler handler) { on_fs_command_ = std::move(handler); }

 protected:
  // For implementations: deliver a request or an FSCommand from the movie.
  void FireFlashCall(const std::string& request) {
    if (on_flash_call_) on_flash_call_(request);
  }
  void FireFSCommand(const std::string& command, const std::string& args) {
    if (on_fs_command_) on_fs_command_(command, args);
  }

 private:
  RequestHandler on_flash_call_;
  CommandHandler on_fs_command_;
};

}  // namespace lumireel::platform
