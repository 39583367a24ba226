// Upload passwords and the desktop's secret store, through the upload
// commands in-process against a real FTP server: a password that logged in
// is kept for its server and used when the movie sends none; one that was
// refused is not kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <tuple>

#include "bridge/job_queue.h"
#include "bridge/movie_messages.h"
#include "e2e/support/upload_servers.h"
#include "platform/password_store.h"
#include "publish/published_galleries.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"
#include "upload/upload_commands.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

// A secret store kept in memory, as the desktop's would keep it.
class MemoryPasswordStore : public platform::PasswordStore {
 public:
  std::optional<std::string> Lookup(const platform::SecretServer& server) override {
    const std::lock_guard<std::mutex> lock(mu_);
    const auto it = kept_.find(Key(server));
    if (it == kept_.end()) return std::nullopt;
    return it->second;
  }
  bool Store(const platform::SecretServer& server, const std::string& password) override {
    const std::lock_guard<std::mutex> lock(mu_);
    kept_[Key(server)] = password;
    return true;
  }
  std::map<std::string, std::string> kept() const {
    const std::lock_guard<std::mutex> lock(mu_);
    return kept_;
  }
  static std::string Key(const platform::SecretServer& server) {
    return server.protocol + " " + server.user + "@" + server.host + ":" +
           std::to_string(server.port);
  }

 private:
  mutable std::mutex mu_;
  std::map<std::string, std::string> kept_;
};

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(UploadPasswordTest, KeepsPasswordsThatLoggedInAndUsesThemWhenNoneIsSent) {
  testing::TempFolder scratch;
  const fs::path root = fs::path(scratch.path()) / "workspace";
  const fs::path gallery = fs::path(scratch.path()) / "web";
  const fs::path server = fs::path(scratch.path()) / "server";
  fs::create_directories(server);
  testing::FtpServer ftp(scratch.path(), server.string());
  testing::FtpOptions options;
  ASSERT_TRUE(ftp.Start(options));
  Write(root / "quillmaralbumsettings/quillmaralbums.xml",
        "<albums><album id=\"1\"><ftp protocol=\"ftp\" host=\"127.0.0.1\" port=\"" +
            std::to_string(ftp.port()) + "\" user=\"anna\" folder=\"/\" /></album></albums>");
  Write(gallery / "index.html", "<html></html>");

  testing::FakeMovieControl movie;
  MemoryPasswordStore passwords;
  PublishedGalleries published;
  JobQueue queue("publish");
  UploadCommandHandler uploads(movie, queue, root.string(), published, &passwords);
  const auto alert_of = [&](const UploadRequest& request) {
    const size_t before = movie.calls().size();
    uploads.UploadGallery(request);
    queue.WaitIdle();
    const std::vector<std::string> calls = movie.calls();
    return calls.size() > before ? calls.back() : std::string();
  };
  const std::string key =
      "ftp anna@127.0.0.1:" + std::to_string(ftp.port());

  EXPECT_EQ(alert_of({"1", gallery.string(), "", ""}),
            ShowAlertMessage("upload_login_h", "upload_login", 1))
      << "nothing kept yet, and the server wants a password";
  EXPECT_EQ(alert_of({"1", gallery.string(), "wrong", ""}),
            ShowAlertMessage("upload_login_h", "upload_login", 1));
  EXPECT_TRUE(passwords.kept().empty()) << "a refused password is not kept";

  EXPECT_EQ(alert_of({"1", gallery.string(), options.password, ""}),
            ShowAlertMessage("upload_done_h", "upload_done", 1));
  EXPECT_EQ(passwords.kept(), (std::map<std::string, std::string>{{key, options.password}}));

  Write(gallery / "index.html", "<html>changed</html>");
  EXPECT_EQ(alert_of({"1", gallery.string(), "", ""}),
            ShowAlertMessage("upload_done_h", "upload_done", 1))
      << "the kept password logs in";
  std::ifstream in(server / "index.html");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "<html>changed</html>");
}

}  // namespace
}  // namespace lumireel
