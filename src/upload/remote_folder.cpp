#include "upload/remote_folder.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "bridge/file_utils.h"

namespace lumireel {
namespace {

constexpr long kConnectSeconds = 20;
// A transfer that moves less than one byte a second for this long is taken
// for a lost connection.
constexpr long kStalledSeconds = 30;

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  out.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return out;
}

std::string Sha256Raw(std::string_view bytes) {
  unsigned char sum[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), sum, &length, EVP_sha256(), nullptr) != 1) return {};
  return std::string(reinterpret_cast<const char*>(sum), length);
}

// The key's type name, which an SSH key blob begins with (a 32-bit length
// and the name, e.g. "ssh-ed25519").
std::string KeyTypeOf(std::string_view blob) {
  if (blob.size() < 4) return {};
  const size_t length = (static_cast<unsigned char>(blob[0]) << 24) |
                        (static_cast<unsigned char>(blob[1]) << 16) |
                        (static_cast<unsigned char>(blob[2]) << 8) |
                        static_cast<unsigned char>(blob[3]);
  if (length == 0 || length > 64 || blob.size() < 4 + length) return {};
  return std::string(blob.substr(4, length));
}

// The host as known-hosts names it: "host" on port 22, "[host]:port" else.
std::string KnownHostName(const UploadSettings& settings) {
  if (settings.port == 22) return settings.host;
  return "[" + settings.host + "]:" + std::to_string(settings.port);
}

// Adds one line to the known-hosts file, replacing the file atomically so
// that the user's other entries are never half-written.
bool PinHostKey(const std::string& known_hosts, const std::string& line) {
  const std::unique_lock<std::mutex> lock = LockFilePath(known_hosts);
  // ~/.ssh is made (private) when the user has none yet.
  const std::string native = NativePath(known_hosts);
  const size_t slash = native.rfind('/');
  if (slash != std::string::npos && slash > 0 && !IsFolder(native.substr(0, slash))) {
    ::mkdir(native.substr(0, slash).c_str(), 0700);
  }
  std::string text = ReadTextFileUtf8(known_hosts, LinkPolicy::kFollow).value_or(std::string());
  if (!text.empty() && text.back() != '\n') text += '\n';
  return WriteFileAtomic(known_hosts, text + line + "\n");
}

std::string QuotedSftpPath(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

UploadError Classify(CURLcode code) {
  switch (code) {
    case CURLE_OK: return UploadError::kNone;
    case CURLE_COULDNT_RESOLVE_HOST: return UploadError::kUnknownHost;
    case CURLE_COULDNT_CONNECT: return UploadError::kUnreachable;
    case CURLE_LOGIN_DENIED: return UploadError::kLogin;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_QUOTE_ERROR:
    case CURLE_FILESIZE_EXCEEDED: return UploadError::kRefused;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE: return UploadError::kCertificate;
    case CURLE_ABORTED_BY_CALLBACK: return UploadError::kCancelled;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSH:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_WEIRD_SERVER_REPLY: return UploadError::kLost;
    default: return UploadError::kOther;
  }
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string HomeFolder() { return EnvOr("HOME", "/"); }

}  // namespace

// What libcurl's callbacks work on; one per RemoteFolder.
struct RemoteFolder::Curl {
  CURL* easy = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  curl_slist* commands = nullptr;

  // The host key check.
  std::string fingerprint;
  UploadError key_verdict = UploadError::kNone;
  std::string accepted;
  std::string known_hosts;
  std::string known_host_name;

  // The transfer under way.
  std::FILE* source = nullptr;
  std::uint64_t resumed_at = 0;
  std::string* body = nullptr;
  std::uint64_t limit = 0;
  bool too_large = false;
  CURLcode last_code = CURLE_OK;
  const std::function<bool(std::uint64_t)>* on_progress = nullptr;

  ~Curl() {
    curl_slist_free_all(commands);
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

namespace {

int OnHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match,
              void* state) {
  auto& curl = *static_cast<RemoteFolder::Curl*>(state);
  if (found == nullptr || found->key == nullptr || found->len == 0) {
    curl.key_verdict = UploadError::kHostKeyUnknown;
    return CURLKHSTAT_REJECT;
  }
  const std::string blob(found->key, found->len);
  std::string fingerprint = Base64(Sha256Raw(blob));
  while (!fingerprint.empty() && fingerprint.back() == '=') fingerprint.pop_back();
  curl.fingerprint = "SHA256:" + fingerprint;
  if (match == CURLKHMATCH_OK) return CURLKHSTAT_FINE;
  if (match == CURLKHMATCH_MISMATCH) {
    curl.key_verdict = UploadError::kHostKeyChanged;
    return CURLKHSTAT_REJECT;
  }
  const std::string type = KeyTypeOf(blob);
  if (curl.accepted.empty() || curl.accepted != curl.fingerprint || type.empty()) {
    curl.key_verdict = UploadError::kHostKeyUnknown;
    return CURLKHSTAT_REJECT;
  }
  // Accepted by the user: pinned, so that the next connection checks it.
  PinHostKey(curl.known_hosts, curl.known_host_name + " " + type + " " + Base64(blob));
  return CURLKHSTAT_FINE;
}

size_t ReadSource(char* buffer, size_t size, size_t count, void* state) {
  auto& curl = *static_cast<RemoteFolder::Curl*>(state);
  const size_t got = std::fread(buffer, size, count, curl.source);
  if (got == 0 && std::ferror(curl.source)) return CURL_READFUNC_ABORT;
  return got;
}

int SeekSource(void* state, curl_off_t offset, int origin) {
  auto& curl = *static_cast<RemoteFolder::Curl*>(state);
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  if (::fseeko(curl.source, static_cast<off_t>(offset), SEEK_SET) != 0) return CURL_SEEKFUNC_FAIL;
  curl.resumed_at = static_cast<std::uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

size_t WriteBody(char* data, size_t size, size_t count, void* state) {
  auto& curl = *static_cast<RemoteFolder::Curl*>(state);
  const size_t bytes = size * count;
  if (curl.body == nullptr) return bytes;  // a listing nobody asked for
  if (curl.body->size() + bytes > curl.limit) {
    curl.too_large = true;
    return 0;
  }
  curl.body->append(data, bytes);
  return bytes;
}

int OnTransfer(void* state, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto& curl = *static_cast<RemoteFolder::Curl*>(state);
  if (curl.on_progress == nullptr || !*curl.on_progress) return 0;
  return (*curl.on_progress)(curl.resumed_at + static_cast<std::uint64_t>(sent)) ? 0 : 1;
}

}  // namespace

std::string UserKnownHostsFile() {
  return EnvOr("LUMIREEL_KNOWN_HOSTS", HomeFolder() + "/.ssh/known_hosts");
}

std::string UserKeyFolder() { return HomeFolder() + "/.ssh"; }

RemoteFolder::RemoteFolder(RemoteFolderOptions options)
    : options_(std::move(options)), curl_(std::make_unique<Curl>()) {
  static std::once_flag global;
  std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_->easy = curl_easy_init();
  curl_->accepted = options_.accepted_fingerprint;
  curl_->known_hosts = options_.known_hosts;
  curl_->known_host_name = KnownHostName(options_.settings);
  curl_->on_progress = &options_.on_progress;
}

RemoteFolder::~RemoteFolder() = default;

std::string RemoteFolder::host_fingerprint() const { return curl_->fingerprint; }

std::string RemoteFolder::Absolute(const std::string& path) const {
  return options_.settings.folder + "/" + path;
}

std::string RemoteFolder::ServerUrl() const {
  const UploadSettings& s = options_.settings;
  const std::string host = s.host.find(':') != std::string::npos ? "[" + s.host + "]" : s.host;
  return std::string(s.protocol == UploadProtocol::kSftp ? "sftp://" : "ftp://") + host + ":" +
         std::to_string(s.port);
}

std::string RemoteFolder::Url(const std::string& path) const {
  // FTP paths are relative to the login folder unless they begin with an
  // encoded "/"; the folder is absolute for both.
  std::string url =
      ServerUrl() + (options_.settings.protocol == UploadProtocol::kSftp ? "" : "/%2F");
  const std::string absolute = Absolute(path);
  size_t start = 1;  // after the leading "/"
  while (true) {
    const size_t end = std::min(absolute.find('/', start), absolute.size());
    const std::string part = absolute.substr(start, end - start);
    url += "/";
    char* escaped = curl_easy_escape(curl_->easy, part.data(), static_cast<int>(part.size()));
    if (escaped != nullptr) url += escaped;
    curl_free(escaped);
    if (end == absolute.size()) break;
    start = end + 1;
  }
  return url;
}

void RemoteFolder::Reset() {
  CURL* easy = curl_->easy;
  curl_easy_reset(easy);  // keeps the open connection
  curl_slist_free_all(curl_->commands);
  curl_->commands = nullptr;
  curl_->error[0] = '\0';
  curl_->source = nullptr;
  curl_->resumed_at = 0;
  curl_->body = nullptr;
  curl_->too_large = false;
  const UploadSettings& s = options_.settings;
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, curl_->error);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "sftp,ftp");
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStalledSeconds);
  curl_easy_setopt(easy, CURLOPT_USERNAME, s.user.c_str());
  curl_easy_setopt(easy, CURLOPT_PASSWORD, options_.password.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, curl_.get());
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnTransfer);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, curl_.get());
  if (s.protocol == UploadProtocol::kSftp) {
    curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES,
                     static_cast<long>(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT |
                                       CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
    curl_easy_setopt(easy, CURLOPT_SSH_KNOWNHOSTS, options_.known_hosts.c_str());
    curl_easy_setopt(easy, CURLOPT_SSH_KEYFUNCTION, &OnHostKey);
    curl_easy_setopt(easy, CURLOPT_SSH_KEYDATA, curl_.get());
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
      const std::string key = options_.key_folder + "/" + name;
      if (!FileExists(key)) continue;
      curl_easy_setopt(easy, CURLOPT_SSH_PRIVATE_KEYFILE, key.c_str());
      const std::string public_key = key + ".pub";
      curl_easy_setopt(easy, CURLOPT_SSH_PUBLIC_KEYFILE,
                       FileExists(public_key) ? public_key.c_str() : "");
      break;
    }
  } else {
    curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR));
    if (s.protocol == UploadProtocol::kFtps) {
      curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      if (!options_.ca_file.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, options_.ca_file.c_str());
    }
  }
}

RemoteResult RemoteFolder::Perform(const std::string& url) {
  curl_easy_setopt(curl_->easy, CURLOPT_URL, url.c_str());
  curl_->key_verdict = UploadError::kNone;
  const CURLcode code = curl_easy_perform(curl_->easy);
  curl_->last_code = code;
  RemoteResult result;
  result.error = Classify(code);
  if (code == CURLE_PEER_FAILED_VERIFICATION && curl_->key_verdict != UploadError::kNone) {
    result.error = curl_->key_verdict;
  }
  if (curl_->too_large) result.error = UploadError::kOther;
  if (!result.ok()) {
    result.detail = curl_->error[0] != '\0' ? curl_->error : curl_easy_strerror(code);
  }
  return result;
}

RemoteResult RemoteFolder::Commands(const std::vector<std::string>& commands) {
  Reset();
  for (const std::string& command : commands) {
    curl_->commands = curl_slist_append(curl_->commands, command.c_str());
  }
  curl_easy_setopt(curl_->easy, CURLOPT_QUOTE, curl_->commands);
  curl_easy_setopt(curl_->easy, CURLOPT_NOBODY, 1L);
  // The server's root, which always exists; the commands name full paths.
  return Perform(ServerUrl() + "/");
}

RemoteResult RemoteFolder::Probe() { return Commands({}); }

RemoteResult RemoteFolder::Fetch(const std::string& path, std::string& body, bool& missing,
                                 std::uint64_t limit) {
  Reset();
  body.clear();
  missing = false;
  curl_->body = &body;
  curl_->limit = limit;
  RemoteResult result = Perform(Url(path));
  // No such file, or no such folder yet: a server the gallery never went to.
  if (curl_->last_code == CURLE_REMOTE_FILE_NOT_FOUND ||
      curl_->last_code == CURLE_REMOTE_ACCESS_DENIED) {
    body.clear();
    missing = true;
    result = {};
  }
  return result;
}

RemoteResult RemoteFolder::Put(const std::string& local_file, const std::string& path,
                               std::uint64_t size, std::uint64_t& resumed_at) {
  Reset();
  std::FILE* source = std::fopen(NativePath(local_file).c_str(), "rb");
  if (source == nullptr) return {UploadError::kOther, "cannot read " + local_file};
  curl_->source = source;
  CURL* easy = curl_->easy;
  curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, &ReadSource);
  curl_easy_setopt(easy, CURLOPT_READDATA, curl_.get());
  curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &SeekSource);
  curl_easy_setopt(easy, CURLOPT_SEEKDATA, curl_.get());
  curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  // Goes on from the end of what an earlier, cut-off send left there.
  curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR));
  RemoteResult result = Perform(Url(path));
  resumed_at = curl_->resumed_at;
  curl_->source = nullptr;
  std::fclose(source);
  return result;
}

RemoteResult RemoteFolder::SizeOf(const std::string& path, std::uint64_t& size) {
  Reset();
  size = 0;
  curl_easy_setopt(curl_->easy, CURLOPT_NOBODY, 1L);
  RemoteResult result = Perform(Url(path));
  if (!result.ok()) return result;
  curl_off_t length = -1;
  if (curl_easy_getinfo(curl_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
      length < 0) {
    return {UploadError::kOther, "the server does not tell the size of " + path};
  }
  size = static_cast<std::uint64_t>(length);
  return result;
}

std::vector<std::string> RemoteFolder::RenameCommands(const std::string& from,
                                                      const std::string& to) const {
  const std::string a = Absolute(from);
  const std::string b = Absolute(to);
  if (options_.settings.protocol == UploadProtocol::kSftp) {
    return {"rename " + QuotedSftpPath(a) + " " + QuotedSftpPath(b)};
  }
  return {"RNFR " + a, "RNTO " + b};
}

RemoteResult RemoteFolder::Rename(const std::string& from, const std::string& to) {
  RemoteResult result = Commands(RenameCommands(from, to));
  if (result.error != UploadError::kRefused) return result;
  // Servers that do not rename over an existing file (OpenSSH's SFTP among
  // them): the old file steps aside first and comes back when the new one
  // cannot take its place, so the name is missing for a moment at most and
  // never holds half a file.
  const std::string aside = from + ".old";
  (void)Remove({aside}, {});  // one a killed run left there
  if (!Commands(RenameCommands(to, aside)).ok()) return result;
  result = Commands(RenameCommands(from, to));
  if (!result.ok()) {
    (void)Commands(RenameCommands(aside, to));
    return result;
  }
  return Remove({aside}, {});
}

RemoteResult RemoteFolder::Remove(const std::vector<std::string>& files,
                                  const std::vector<std::string>& folders) {
  const bool sftp = options_.settings.protocol == UploadProtocol::kSftp;
  std::vector<std::string> commands;
  for (const std::string& file : files) {
    commands.push_back(sftp ? "*rm " + QuotedSftpPath(Absolute(file)) : "*DELE " + Absolute(file));
  }
  for (const std::string& folder : folders) {
    commands.push_back(sftp ? "*rmdir " + QuotedSftpPath(Absolute(folder))
                            : "*RMD " + Absolute(folder));
  }
  if (commands.empty()) return {};
  return Commands(commands);
}

std::string UploadErrorKey(UploadError error) {
  switch (error) {
    case UploadError::kNone: return "upload_done";
    case UploadError::kLogin: return "upload_login";
    case UploadError::kUnknownHost: return "upload_unknown_host";
    case UploadError::kUnreachable: return "upload_unreachable";
    case UploadError::kRefused: return "upload_refused";
    case UploadError::kLost: return "upload_lost";
    case UploadError::kHostKeyUnknown: return "upload_hostkey_unknown";
    case UploadError::kHostKeyChanged: return "upload_hostkey_changed";
    case UploadError::kCertificate: return "upload_certificate";
    case UploadError::kCancelled: return "upload_cancelled";
    case UploadError::kOther: return "upload_failed";
  }
  return "upload_failed";
}

}  // namespace lumireel
