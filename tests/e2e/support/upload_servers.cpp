#include "e2e/support/upload_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace lumireel::testing {
namespace {

bool Connects(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return 0;
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

bool ServerProcess::Start(const std::vector<std::string>& argv, int port, const std::string& log) {
  Stop();
  pid_ = ::fork();
  if (pid_ == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Connects(port)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

SshServer::SshServer(const std::string& folder)
    : folder_(folder), home_(folder + "/home"), port_(FreePort()) {
  const passwd* me = ::getpwuid(::geteuid());
  user_ = me != nullptr ? me->pw_name : "root";
  std::filesystem::create_directories(home_ + "/.ssh");
  Shell("ssh-keygen -q -t ed25519 -N '' -C test-user -f " + Quoted(home_ + "/.ssh/id_ed25519"));
  Shell("cp " + Quoted(home_ + "/.ssh/id_ed25519.pub") + " " + Quoted(folder_ + "/authorized_keys"));
  ChangeHostKey();
  // sshd keeps its privilege-separation folder there when it runs as root.
  if (::geteuid() == 0) ::mkdir("/run/sshd", 0755);
}

bool SshServer::Start(bool read_only) {
  {
    std::ofstream config(folder_ + "/sshd_config");
    config << "ListenAddress 127.0.0.1:" << port_ << "\n"
           << "HostKey " << folder_ << "/host_key\n"
           << "AuthorizedKeysFile " << folder_ << "/authorized_keys\n"
           << "PermitRootLogin prohibit-password\n"
           << "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
           << "UsePAM no\nStrictModes no\nPidFile none\n"
           << "Subsystem sftp /usr/lib/openssh/sftp-server" << (read_only ? " -R" : "")
           << "\n";
  }
  return process_.Start({"/usr/sbin/sshd", "-D", "-e", "-f", folder_ + "/sshd_config"}, port_,
                        folder_ + "/sshd.log");
}

bool SshServer::ChangeHostKey() {
  std::filesystem::remove(folder_ + "/host_key");
  std::filesystem::remove(folder_ + "/host_key.pub");
  return Shell("ssh-keygen -q -t ed25519 -N '' -f " + Quoted(folder_ + "/host_key"));
}

std::string SshServer::Fingerprint() const {
  const std::string out = folder_ + "/fingerprint";
  Shell("ssh-keygen -l -f " + Quoted(folder_ + "/host_key.pub") + " > " + Quoted(out));
  std::ifstream in(out);
  std::string bits, fingerprint;
  in >> bits >> fingerprint;
  return fingerprint;
}

FtpServer::FtpServer(const std::string& folder, const std::string& root)
    : folder_(folder), root_(root), port_(FreePort()) {}

bool FtpServer::Start(const FtpOptions& options) {
  std::vector<std::string> argv = {"/usr/bin/python3",
                                   std::string(LUMIREEL_SOURCE_DIR) + "/tests/e2e/support/ftp_server.py",
                                   std::to_string(port_), root_, options.user, options.password,
                                   options.perm};
  if (options.bytes_per_second > 0) {
    argv.insert(argv.end(), {"--limit", std::to_string(options.bytes_per_second)});
  }
  return process_.Start(argv, port_, folder_ + "/ftp.log");
}

FtpsServer::FtpsServer(const std::string& folder) : folder_(folder), port_(FreePort()) {
  std::filesystem::create_directories(folder_ + "/root/site");
  std::filesystem::create_directories(folder_ + "/empty");
  Shell("chown ftp " + Quoted(folder_ + "/root/site"));
  Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout " + Quoted(folder_ + "/key.pem") +
        " -out " + Quoted(certificate()) + " 2>/dev/null");
  std::ofstream config(folder_ + "/vsftpd.conf");
  config << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
         << "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
         << "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
         << "anon_umask=022\nno_anon_password=YES\nanon_root=" << root() << "\n"
         << "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
         << "force_anon_data_ssl=YES\nrequire_ssl_reuse=NO\n"
         // A data connection may end without a TLS close (libcurl's does at
         // times): the file is whole, which the size check already tells.
         << "strict_ssl_read_eof=NO\nstrict_ssl_write_shutdown=NO\n"
         << "rsa_cert_file=" << certificate() << "\nrsa_private_key_file=" << folder_
         << "/key.pem\nsecure_chroot_dir=" << folder_ << "/empty\n"
         // Containers often refuse the sandbox's system calls and namespaces.
         << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
         << "vsftpd_log_file=" << folder_ << "/vsftpd.log\n";
}

bool FtpsServer::Start() {
  return process_.Start({"/usr/sbin/vsftpd", folder_ + "/vsftpd.conf"}, port_,
                        folder_ + "/vsftpd.out");
}

}  // namespace lumireel::testing
