// One connection to the server folder an album's web gallery goes to, over
// SFTP, FTP or FTPS (explicit TLS), through libcurl. The connection is
// opened by the first request and kept for the following ones.
//
// SFTP logs in with the user's keys (~/.ssh/id_ed25519, id_ecdsa or id_rsa),
// the SSH agent or the password, and checks the server's host key against
// the user's known-hosts file: a key not listed there is refused unless it
// is the one the user accepted, which is then added to the file; a key that
// differs from the listed one is always refused. FTPS checks the server's
// certificate against the system's authorities (or `ca_file`).
//
// Not thread-safe: one thread uses one RemoteFolder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "upload/upload_settings.h"

namespace lumireel {

enum class UploadError {
  kNone,
  kLogin,           // the server refused the user name or password
  kUnknownHost,     // the host name does not resolve
  kUnreachable,     // nothing answers at that host and port
  kRefused,         // the folder is read-only or the disk is full
  kLost,            // the connection broke off
  kHostKeyUnknown,  // SFTP: a host key not in known-hosts, not accepted
  kHostKeyChanged,  // SFTP: the host key differs from the one in known-hosts
  kCertificate,     // FTPS: the server's certificate cannot be trusted
  kCancelled,
  kOther,
};

struct RemoteResult {
  UploadError error = UploadError::kNone;
  std::string detail;  // libcurl's words, for the log; never a password
  bool ok() const { return error == UploadError::kNone; }
};

struct RemoteFolderOptions {
  UploadSettings settings;
  std::string password;             // may be empty (keys, agent, anonymous FTP)
  std::string accepted_fingerprint; // "SHA256:…" the user accepted, or empty
  std::string known_hosts;          // the known-hosts file
  std::string key_folder;           // where the user's keys are (~/.ssh)
  std::string ca_file;              // FTPS authorities; empty: the system's
  // Called during transfers with the bytes of the current file sent so far;
  // returning false cancels the request (kCancelled).
  std::function<bool(std::uint64_t sent)> on_progress;
};

// The known-hosts file and key folder of the user: $LUMIREEL_KNOWN_HOSTS or
// $HOME/.ssh/known_hosts, and $HOME/.ssh.
[[nodiscard]] std::string UserKnownHostsFile();
[[nodiscard]] std::string UserKeyFolder();

class RemoteFolder {
 public:
  explicit RemoteFolder(RemoteFolderOptions options);
  ~RemoteFolder();
  RemoteFolder(const RemoteFolder&) = delete;
  RemoteFolder& operator=(const RemoteFolder&) = delete;

  // Logs in and looks at the folder (it may be missing: uploads create it).
  RemoteResult Probe();
  // The file `path` (inside the folder) into `body`; `missing` is set when
  // the server has no such file (or folder) and the result is then ok.
  // Files over `limit` bytes are refused (kOther).
  RemoteResult Fetch(const std::string& path, std::string& body, bool& missing,
                     std::uint64_t limit);
  // Sends the local file to `path`, creating missing folders. When `path`
  // already holds a first part of the file (a cut-off earlier send), only
  // the rest is sent; `resumed_at` tells from where.
  RemoteResult Put(const std::string& local_file, const std::string& path, std::uint64_t size,
                   std::uint64_t& resumed_at);
  // The size of the file `path` on the server, as the server tells it.
  RemoteResult SizeOf(const std::string& path, std::uint64_t& size);
  // Renames `from` to `to`, replacing `to`; where the server refuses to
  // rename over a file, the old one is moved aside and back again when the
  // new one cannot take its place.
  RemoteResult Rename(const std::string& from, const std::string& to);
  // Deletes files; then folders, which goes only where they are empty.
  // Files already gone are no failure.
  RemoteResult Remove(const std::vector<std::string>& files,
                      const std::vector<std::string>& folders);

  // SFTP: the fingerprint of the host key the server showed ("SHA256:…"),
  // empty before a connection or for FTP.
  std::string host_fingerprint() const;

  struct Curl;  // libcurl's handle and what its callbacks work on

 private:
  RemoteResult Perform(const std::string& url);
  RemoteResult Commands(const std::vector<std::string>& commands);
  std::vector<std::string> RenameCommands(const std::string& from, const std::string& to) const;
  std::string ServerUrl() const;  // scheme, host and port
  std::string Url(const std::string& path) const;
  std::string Absolute(const std::string& path) const;
  void Reset();

  RemoteFolderOptions options_;
  std::unique_ptr<Curl> curl_;
};

// The alert keys of an error: "upload_<what>_h" and "upload_<what>".
[[nodiscard]] std::string UploadErrorKey(UploadError error);

}  // namespace lumireel
