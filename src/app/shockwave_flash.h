// CShockwaveFlash: the program's wrapper of the movie-player control. It
// offers the four control operations the program uses and delivers the
// control's FlashCall event to one handler; FSCommand events are ignored.
#pragma once

#include <functional>
#include <string>

#include "platform/movie_control.h"

namespace lumireel {

class CShockwaveFlash : public platform::MovieControl {
 public:
  // Wraps `control`, which must outlive the wrapper.
  explicit CShockwaveFlash(platform::MovieControl& control);

  // Assigns the movie to play.
  void Movie(const std::string& path) { SetMovie(path); }

  void SetMovie(const std::string& path) override { control_.SetMovie(path); }
  std::string CallFunction(const std::string& request) override {
    return control_.CallFunction(request);
  }
  void SetReturnValue(const std::string& reply) override { control_.SetReturnValue(reply); }
  void DisableLocalSecurity() override { control_.DisableLocalSecurity(); }

 private:
  platform::MovieControl& control_;
};

}  // namespace lumireel
