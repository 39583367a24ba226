// Uploading a web gallery through the real program to real servers on
// 127.0.0.1: sshd for SFTP, pyftpdlib for FTP and FTPS. The commands go in
// as the movie sends them; after every run the server's folder is compared
// with the local gallery file by file, and after a failure the files a
// visitor can see must still be those of the last complete upload.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "e2e/support/headless_process.h"
#include "e2e/support/upload_servers.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::FtpOptions;
using testing::FtpServer;
using testing::HeadlessProcess;
using testing::SshServer;
using Tree = std::map<std::string, std::string>;

// A movie call seen on the output: its function and its arguments as text.
struct Call {
  std::string name;
  std::vector<std::string> args;
};

std::optional<Call> CallOf(const Json& line) {
  if (!line.contains("call")) return std::nullopt;
  const std::string text = line["call"];
  static const std::regex name_pattern("name=\"([^\"]+)\"");
  static const std::regex arg_pattern("<(string|number)>([^<]*)</(string|number)>");
  std::smatch name;
  if (!std::regex_search(text, name, name_pattern)) return std::nullopt;
  Call call{name[1], {}};
  for (std::sregex_iterator it(text.begin(), text.end(), arg_pattern), end; it != end; ++it) {
    call.args.push_back((*it)[2]);
  }
  return call;
}

std::vector<Call> CallsOf(const std::vector<Json>& lines, const std::string& name) {
  std::vector<Call> calls;
  for (const Json& line : lines) {
    std::optional<Call> call = CallOf(line);
    if (call && call->name == name) calls.push_back(*call);
  }
  return calls;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Every file below `folder` with its content; with `visible_only`, what a
// visitor of the web server sees: names beginning with "." left out.
Tree TreeOf(const fs::path& folder, bool visible_only = false) {
  Tree tree;
  if (!fs::exists(folder)) return tree;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().filename().string();
    if (visible_only && name[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) tree[fs::relative(it->path(), folder).string()] = Read(it->path());
  }
  return tree;
}

class UploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gallery_ = fs::path(scratch_.path()) / "published" / "web";
    remote_ = fs::path(scratch_.path()) / "server";
    fs::create_directories(remote_);
  }
  void TearDown() override {
    app_.reset();
    for (const char* name : {"HOME", "LUMIREEL_UPLOAD_CA_FILE"}) {
      const auto old = saved_.find(name);
      if (old == saved_.end()) continue;
      if (old->second) {
        setenv(name, old->second->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

  // Set before the program starts, which takes them over.
  void SetEnv(const char* name, const std::string& value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    setenv(name, value.c_str(), 1);
  }

  void StartProgram() {
    app_ = std::make_unique<HeadlessProcess>();
    ASSERT_TRUE(app_->running());
    ASSERT_TRUE(app_->Sync());
  }

  // The album's `ftp` element, as the movie writes it.
  void SetTarget(const std::string& protocol, const std::string& host, int port,
                 const std::string& user, const std::string& folder) {
    Write(app_->workspace() / "quillmaralbumsettings/quillmaralbums.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\" ?><albums location=\"MyAlbums\">"
          "<album id=\"1\"><name>Holiday</name><skeen>snakeeye</skeen><logo /><ftp protocol=\"" +
              protocol + "\" host=\"" + host + "\" port=\"" + std::to_string(port) +
              "\" user=\"" + user + "\" folder=\"" + folder + "\" /></album></albums>");
  }

  // The gallery as published: version 1, then 2 with index.html changed,
  // photo folder 2 gone and a photo added.
  void WriteGallery(int version) {
    Write(gallery_ / "index.html", "<html>version " + std::to_string(version) + "</html>");
    Write(gallery_ / "zel_ui/player.js", "play();");
    Write(gallery_ / "photoparts/1/big/1.jpg", RandomBytes(150000, 1));
    Write(gallery_ / "photoparts/1/big/Sea & sky.jpg", RandomBytes(2000, 2));
    if (version == 1) {
      Write(gallery_ / "photoparts/2/big/3.jpg", RandomBytes(3000, 3));
    } else {
      fs::remove_all(gallery_ / "photoparts/2");
      Write(gallery_ / "photoparts/1/big/4.jpg", RandomBytes(4000, 4));
    }
  }

  static std::string Invoke(const std::string& command, const std::vector<std::string>& args) {
    std::string xml = "<invoke name=\"" + command + "\" returntype=\"xml\"><arguments>";
    for (const std::string& arg : args) xml += "<string>" + arg + "</string>";
    return xml + "</arguments></invoke>";
  }

  // One command run to its end: the lines it gave.
  std::vector<Json> Run(const std::string& command, const std::vector<std::string>& args) {
    EXPECT_TRUE(app_->Invoke(Invoke(command, args)));
    std::optional<std::vector<Json>> lines = app_->Sync(std::chrono::seconds(60));
    EXPECT_TRUE(lines) << app_->Transcript();
    return lines.value_or(std::vector<Json>());
  }
  std::vector<Json> Upload(const std::string& password, const std::string& key = "") {
    return Run("UploadGallery", {"1", gallery_.string(), password, key});
  }

  // The message key of the run's last alert, or the function that ended it.
  static std::string Ending(const std::vector<Json>& lines) {
    std::string ending;
    for (const Json& line : lines) {
      std::optional<Call> call = CallOf(line);
      if (call && call->name == "showAlert") ending = call->args.at(1);
      if (call && call->name == "askHostKey") ending = "askHostKey";
    }
    return ending;
  }

  testing::TempFolder scratch_;
  fs::path gallery_;
  fs::path remote_;
  std::unique_ptr<HeadlessProcess> app_;
  std::map<std::string, std::optional<std::string>> saved_;
};

// SFTP: the unknown host key is shown and, once accepted, pinned; a second
// upload sends only what changed and deletes what went; a read-only server
// and a changed host key refuse the upload and leave the server's gallery
// as it was.
TEST_F(UploadTest, SftpPinsHostKeySendsChangesAndRefusesReadOnlyAndChangedKey) {
  SshServer ssh(scratch_.path() + "/ssh");
  ASSERT_TRUE(ssh.Start());
  SetEnv("HOME", ssh.home());
  StartProgram();
  const fs::path folder = remote_ / "www" / "holiday";
  SetTarget("sftp", "127.0.0.1", ssh.port(), ssh.user(), folder.string());
  WriteGallery(1);

  std::vector<Json> lines = Run("TestUploadConnection", {"1", "", ""});
  std::vector<Call> asked = CallsOf(lines, "askHostKey");
  ASSERT_EQ(asked.size(), 1u) << app_->Transcript();
  EXPECT_EQ(asked[0].args.at(0), "127.0.0.1:" + std::to_string(ssh.port()));
  EXPECT_EQ(asked[0].args.at(1), ssh.Fingerprint());
  EXPECT_EQ(asked[0].args.at(2), "TestUploadConnection");
  EXPECT_FALSE(fs::exists(ssh.home() + "/.ssh/known_hosts"));

  EXPECT_EQ(Ending(Upload("", ssh.Fingerprint())), "upload_done") << app_->Transcript();
  EXPECT_EQ(TreeOf(folder), TreeOf(gallery_));
  EXPECT_TRUE(TreeOf(gallery_).contains("lumireel-manifest.txt"));
  const std::string pinned = Read(ssh.home() + "/.ssh/known_hosts");
  EXPECT_EQ(pinned.rfind("[127.0.0.1]:" + std::to_string(ssh.port()) + " ssh-ed25519 ", 0), 0u)
      << pinned;
  EXPECT_EQ(Ending(Run("TestUploadConnection", {"1", "", ""})), "upload_test_ok");

  WriteGallery(2);
  lines = Upload("");
  EXPECT_EQ(Ending(lines), "upload_done") << app_->Transcript();
  const std::vector<Call> progress = CallsOf(lines, "showUploadProgress");
  ASSERT_FALSE(progress.empty());
  // index.html, 4.jpg and the manifest; the unchanged photos stay.
  EXPECT_EQ(progress.back().args, (std::vector<std::string>{"3", "3", "4", "4"}));
  EXPECT_EQ(TreeOf(folder), TreeOf(gallery_));
  EXPECT_FALSE(fs::exists(folder / "photoparts/2")) << "the emptied photo folder goes too";

  const Tree before = TreeOf(folder);
  ssh.Stop();
  ASSERT_TRUE(ssh.Start(/*read_only=*/true));
  WriteGallery(1);
  EXPECT_EQ(Ending(Upload("")), "upload_refused");
  EXPECT_EQ(TreeOf(folder), before);

  ssh.Stop();
  ASSERT_TRUE(ssh.ChangeHostKey());
  ASSERT_TRUE(ssh.Start());
  EXPECT_EQ(Ending(Upload("", ssh.Fingerprint())), "upload_hostkey_changed");
  EXPECT_EQ(TreeOf(folder), before);
  EXPECT_EQ(Read(ssh.home() + "/.ssh/known_hosts"), pinned);
}

// FTP: a wrong password and a read-only folder are refused with their own
// alerts and change nothing on the server; unknown and silent hosts too.
TEST_F(UploadTest, FtpRefusesWrongPasswordReadOnlyFolderAndMissingHosts) {
  FtpServer ftp(scratch_.path(), remote_.string());
  FtpOptions options;
  ASSERT_TRUE(ftp.Start(options));
  StartProgram();
  SetTarget("ftp", "127.0.0.1", ftp.port(), options.user, "/site");
  WriteGallery(1);

  EXPECT_EQ(Ending(Upload("wrong")), "upload_login");
  EXPECT_TRUE(TreeOf(remote_).empty());
  EXPECT_EQ(Ending(Upload(options.password)), "upload_done") << app_->Transcript();
  EXPECT_EQ(TreeOf(remote_ / "site"), TreeOf(gallery_));

  const Tree before = TreeOf(remote_);
  ftp.Stop();
  options.perm = "elr";
  ASSERT_TRUE(ftp.Start(options));
  WriteGallery(2);
  EXPECT_EQ(Ending(Upload(options.password)), "upload_refused");
  EXPECT_EQ(TreeOf(remote_), before);

  SetTarget("ftp", "no-such-host.invalid", ftp.port(), options.user, "/site");
  EXPECT_EQ(Ending(Upload(options.password)), "upload_unknown_host");
  SetTarget("ftp", "127.0.0.1", testing::FreePort(), options.user, "/site");
  EXPECT_EQ(Ending(Upload(options.password)), "upload_unreachable");
  EXPECT_EQ(TreeOf(remote_), before);
}

// FTPS: TLS for the login and the data, with the server's certificate
// checked; one the program has no reason to trust is refused.
TEST_F(UploadTest, FtpsUploadsOverTlsAndRefusesAnUntrustedCertificate) {
  if (::geteuid() != 0) GTEST_SKIP() << "vsftpd runs as root";
  testing::FtpsServer ftps(scratch_.path() + "/ftps");
  ASSERT_TRUE(ftps.Start());
  StartProgram();
  SetTarget("ftps", "127.0.0.1", ftps.port(), "anonymous", "/site/holiday");
  WriteGallery(1);
  EXPECT_EQ(Ending(Upload("")), "upload_certificate") << "a certificate of no known authority";
  EXPECT_TRUE(TreeOf(ftps.root()).empty());

  SetEnv("LUMIREEL_UPLOAD_CA_FILE", ftps.certificate());
  StartProgram();
  SetTarget("ftps", "127.0.0.1", ftps.port(), "anonymous", "/site/holiday");
  EXPECT_EQ(Ending(Upload("")), "upload_done") << app_->Transcript();
  EXPECT_EQ(TreeOf(fs::path(ftps.root()) / "site/holiday"), TreeOf(gallery_));
  WriteGallery(2);
  EXPECT_EQ(Ending(Upload("")), "upload_done") << app_->Transcript();
  EXPECT_EQ(TreeOf(fs::path(ftps.root()) / "site/holiday"), TreeOf(gallery_));
}

// An upload can be cancelled; one cut off by the server's end leaves the old
// gallery visible and goes on, next time, from where it stopped.
TEST_F(UploadTest, FtpCancelledAndCutOffUploadsGoOnLater) {
  FtpServer ftp(scratch_.path(), remote_.string());
  FtpOptions options;
  options.bytes_per_second = 200 * 1024;
  ASSERT_TRUE(ftp.Start(options));
  StartProgram();
  SetTarget("ftp", "127.0.0.1", ftp.port(), options.user, "/site");
  WriteGallery(1);
  // Sent last (paths go in byte order), and slowly.
  Write(gallery_ / "zel_ui/zz-video.bin", RandomBytes(2000000, 5));
  const size_t all_files = TreeOf(gallery_).size() + 1;  // and the manifest

  const auto files_done = [](size_t files) {
    return [files](const Json& line) {
      std::optional<Call> call = CallOf(line);
      return call && call->name == "showUploadProgress" &&
             std::stoul(call->args.at(0)) >= files;
    };
  };
  const auto alert = [](const Json& line) {
    std::optional<Call> call = CallOf(line);
    return call && call->name == "showAlert";
  };

  ASSERT_TRUE(app_->Invoke(Invoke("UploadGallery", {"1", "", options.password, ""})));
  EXPECT_EQ(Ending(*app_->Sync()), "upload_nogallery") << "no gallery was published yet";

  ASSERT_TRUE(app_->Invoke(Invoke("UploadGallery", {"1", gallery_.string(), options.password, ""})));
  ASSERT_TRUE(app_->WaitFor(files_done(1))) << app_->Transcript();
  ASSERT_TRUE(app_->Invoke(Invoke("CancelUpload", {})));
  std::optional<std::vector<Json>> lines = app_->WaitFor(alert);
  ASSERT_TRUE(lines);
  EXPECT_EQ(Ending(*lines), "upload_cancelled");
  EXPECT_FALSE(fs::exists(remote_ / "site/lumireel-manifest.txt"));

  ASSERT_TRUE(app_->Invoke(Invoke("UploadGallery", {"1", gallery_.string(), options.password, ""})));
  ASSERT_TRUE(app_->WaitFor(files_done(3))) << app_->Transcript();
  ftp.Stop();
  lines = app_->WaitFor(alert);
  ASSERT_TRUE(lines);
  EXPECT_EQ(Ending(*lines), "upload_lost");
  // What a visitor sees is whole: each file there is the gallery's own, and
  // the manifest that would call the upload complete is not there.
  const Tree local = TreeOf(gallery_);
  const Tree visible = TreeOf(remote_ / "site", /*visible_only=*/true);
  for (const auto& [path, bytes] : visible) EXPECT_EQ(bytes, local.at(path)) << path;
  EXPECT_GE(visible.size(), 3u);
  EXPECT_FALSE(visible.contains("lumireel-manifest.txt"));

  // The last file changes before the upload goes on: its cut-off part, if
  // any, is of content that is no more and must not stay on the server.
  Write(gallery_ / "zel_ui/zz-video.bin", RandomBytes(2000000, 6));
  options.bytes_per_second = 0;
  ASSERT_TRUE(ftp.Start(options));
  const std::vector<Json> resumed = Upload(options.password);
  EXPECT_EQ(Ending(resumed), "upload_done") << app_->Transcript();
  const std::vector<Call> progress = CallsOf(resumed, "showUploadProgress");
  ASSERT_FALSE(progress.empty());
  EXPECT_LE(std::stoul(progress.back().args.at(1)), all_files - visible.size() + 1)
      << "the files already in place are not sent again";
  EXPECT_EQ(TreeOf(remote_ / "site"), TreeOf(gallery_)) << "no temporary file is left";
  EXPECT_FALSE(fs::exists(gallery_.string() + ".lumireel-upload"));
}

}  // namespace
}  // namespace lumireel
