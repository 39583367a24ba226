// Real servers for the upload tests, started on 127.0.0.1 on free high
// ports and stopped when the object goes: Debian's sshd (SFTP) with a host
// key and a user key made by ssh-keygen, pyftpdlib (FTP, slowed down on
// demand) and vsftpd (FTPS, with a certificate made by openssl). Each serves a folder of the test's own, so
// the test reads what arrived straight from the disk.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumireel::testing {

// A port on 127.0.0.1 that nothing listens on now.
int FreePort();

// A child process of the test; killed (if still running) when it goes.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts `argv` (output to `log`) and waits until `port` takes
  // connections. False (the process stopped) when it does not within 10 s.
  bool Start(const std::vector<std::string>& argv, int port, const std::string& log);
  // SIGKILL, as a server that dies or a cable pulled; waits for the end.
  void Stop();

 private:
  pid_t pid_ = -1;
};

class SshServer {
 public:
  // Makes the keys and the configuration in `folder`; the client's home
  // (with .ssh/id_ed25519 and, later, .ssh/known_hosts) is `folder`/home.
  explicit SshServer(const std::string& folder);
  // `read_only`: the SFTP server refuses every write (sftp-server -R).
  bool Start(bool read_only = false);
  void Stop() { process_.Stop(); }
  // A new host key, as a server reinstalled or one that impersonates it.
  bool ChangeHostKey();
  // What `ssh-keygen -l` says of the host key: "SHA256:…".
  std::string Fingerprint() const;

  int port() const { return port_; }
  const std::string& home() const { return home_; }
  // The login name: the user the test runs as.
  const std::string& user() const { return user_; }

 private:
  std::string folder_;
  std::string home_;
  std::string user_;
  int port_;
  ServerProcess process_;
};

struct FtpOptions {
  std::string user = "anna";
  std::string password = "s3cret";
  std::string perm = "elradfmw";  // pyftpdlib's letters; "elr" is read-only
  int bytes_per_second = 0;  // 0: as fast as it goes
};

class FtpServer {
 public:
  // Serves `root`; its log goes into `folder`.
  FtpServer(const std::string& folder, const std::string& root);
  bool Start(const FtpOptions& options);
  void Stop() { process_.Stop(); }
  int port() const { return port_; }

 private:
  std::string folder_;
  std::string root_;
  int port_;
  ServerProcess process_;
};

// vsftpd serving explicit FTPS (TLS for login and data) to the anonymous
// user, who may write in the folder `root()`/site. Needs root: vsftpd runs
// as root and gives the folder to its `ftp` user.
class FtpsServer {
 public:
  explicit FtpsServer(const std::string& folder);
  bool Start();
  void Stop() { process_.Stop(); }
  int port() const { return port_; }
  // What the anonymous user's "/" is.
  std::string root() const { return folder_ + "/root"; }
  // The server's certificate, for the clients to trust.
  std::string certificate() const { return folder_ + "/cert.pem"; }

 private:
  std::string folder_;
  int port_;
  ServerProcess process_;
};

// Runs a shell command; true when it exits 0.
bool Shell(const std::string& command);

}  // namespace lumireel::testing
