// The desktop's store of secrets, where the passwords of upload servers are
// kept instead of in any file of the program. A server is named by its
// protocol, host, port and user. The desktop host gives one where a secret
// service answers; the headless host has none, and the movie then sends the
// password with each command.
#pragma once

#include <optional>
#include <string>

namespace lumireel::platform {

struct SecretServer {
  std::string protocol;  // "sftp", "ftp", "ftps"
  std::string host;
  int port = 0;
  std::string user;
};

class PasswordStore {
 public:
  virtual ~PasswordStore() = default;
  // The password kept for `server`; nullopt when there is none or the store
  // does not answer. May block; safe from any thread.
  virtual std::optional<std::string> Lookup(const SecretServer& server) = 0;
  // Keeps `password` for `server`, replacing what was kept; false when the
  // store refused or does not answer. May block; safe from any thread.
  virtual bool Store(const SecretServer& server, const std::string& password) = 0;
};

}  // namespace lumireel::platform
