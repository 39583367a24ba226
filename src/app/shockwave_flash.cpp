#include "app/shockwave_flash.h"

namespace lumireel {

CShockwaveFlash::CShockwaveFlash(platform::MovieControl& control) : control_(control) {
  control_.SetFlashCallHandler([this](const std::string& request) { FireFlashCall(request); });
  // FSCommand events from the movie have no effect.
  control_.SetFSCommandHandler([](const std::string&, const std::string&) {});
}

}  // namespace lumireel
