// Upload passwords in the desktop's secret service (GNOME Keyring, KWallet
// and the like) through libsecret.
#pragma once

#include <memory>

#include "platform/password_store.h"

namespace lumireel::platform::gtk {

// A store on the session's secret service. Each call asks the service; where
// none runs, Lookup finds nothing and Store fails, so the movie goes on
// asking for the password.
std::unique_ptr<PasswordStore> OpenSecretPasswordStore();

}  // namespace lumireel::platform::gtk
