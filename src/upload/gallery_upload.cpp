#include "upload/gallery_upload.h"

#include <optional>
#include <set>
#include <vector>

#include "bridge/file_utils.h"
#include "upload/manifest.h"

namespace lumireel {
namespace {

// How many times one file is sent before a broken-off send counts as a lost
// connection.
constexpr int kSendAttempts = 4;

// The largest server manifest read; one of a real gallery is far smaller.
constexpr std::uint64_t kManifestLimit = 64u << 20;

// Where `path` is sent before it is whole: beside it, hidden, named after
// the content, so that a cut-off send of the same content is continued and
// one of other content is never.
std::string TemporaryName(const std::string& path, const ManifestEntry& entry) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + "." + entry.sha256.substr(0, 16) + ".lumireel-part";
}

// The folders of `removed` files that no file of `kept` lies in, deepest
// first, so that each is tried only after what it held.
std::vector<std::string> EmptiedFolders(const std::vector<std::string>& removed,
                                        const Manifest& kept) {
  std::set<std::string> keep;
  for (const auto& [path, entry] : kept) {
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      keep.insert(path.substr(0, slash));
    }
  }
  std::set<std::string> folders;
  for (const std::string& path : removed) {
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      if (!keep.contains(path.substr(0, slash))) folders.insert(path.substr(0, slash));
    }
  }
  std::vector<std::string> deepest_first(folders.rbegin(), folders.rend());
  return deepest_first;
}

class Run {
 public:
  Run(const std::string& gallery, RemoteFolderOptions options,
      const std::function<bool(const UploadProgress&)>& progress)
      : gallery_(gallery),
        journal_(gallery, TargetName(options.settings)),
        progress_(progress) {
    options.on_progress = [this](std::uint64_t sent) { return Report(sent); };
    remote_.emplace(std::move(options));
  }

  UploadOutcome Go();

 private:
  bool Report(std::uint64_t current_file_sent) {
    UploadProgress now = done_;
    now.bytes_done += current_file_sent;
    return !progress_ || progress_(now);
  }
  // Sends one file under its temporary name and renames it into place.
  RemoteResult Send(const std::string& local, const std::string& path, const ManifestEntry& entry);
  // kLost unless the server holds `size` bytes under `temporary`.
  RemoteResult CheckSent(const std::string& temporary, std::uint64_t size);
  UploadOutcome Finish(RemoteResult result) {
    // A server that answered earlier in this run and now takes no new
    // connection went away during the upload.
    if (answered_ && result.error == UploadError::kUnreachable) result.error = UploadError::kLost;
    UploadOutcome outcome = outcome_;
    outcome.result = std::move(result);
    outcome.fingerprint = remote_->host_fingerprint();
    return outcome;
  }

  const std::string gallery_;
  UploadJournal journal_;
  const std::function<bool(const UploadProgress&)>& progress_;
  std::optional<RemoteFolder> remote_;
  UploadProgress done_;
  UploadOutcome outcome_;
  std::set<std::string> renamed_;  // temporary files renamed into place in this run
  bool answered_ = false;          // the server answered a request of this run
};

RemoteResult Run::CheckSent(const std::string& temporary, std::uint64_t size) {
  std::uint64_t held = 0;
  RemoteResult result = remote_->SizeOf(temporary, held);
  if (!result.ok() || held == size) return result;
  // More than the file: not a first part to go on from, so it starts afresh.
  if (held > size) (void)remote_->Remove({temporary}, {});
  return {UploadError::kLost, "the server holds " + std::to_string(held) + " of " +
                                  std::to_string(size) + " bytes of " + temporary};
}

RemoteResult Run::Send(const std::string& local, const std::string& path,
                       const ManifestEntry& entry) {
  const std::string temporary = TemporaryName(path, entry);
  std::uint64_t resumed_at = 0;
  journal_.RecordTemporary(temporary);
  RemoteResult result = remote_->Put(local, temporary, entry.size, resumed_at);
  // Some servers end a data connection badly now and then (vsftpd's "426"
  // after TLS 1.3), and may even report a send complete that they did not
  // store whole. The file takes its name only once the server holds all of
  // its bytes; a send cut short goes on from where the server's copy ends,
  // a few times, and a server that is really gone fails again at once.
  for (int attempt = 1;; ++attempt) {
    if (result.ok()) result = CheckSent(temporary, entry.size);
    if (result.error != UploadError::kLost || attempt == kSendAttempts) break;
    result = remote_->Put(local, temporary, entry.size, resumed_at);
    if (result.error == UploadError::kUnreachable) result.error = UploadError::kLost;
  }
  if (result.ok()) result = remote_->Rename(temporary, path);
  if (!result.ok()) return result;
  renamed_.insert(temporary);
  journal_.RecordPut(path, entry);
  done_.files_done += 1;
  done_.bytes_done += entry.size;
  ++outcome_.sent;
  if (!Report(0)) return {UploadError::kCancelled, ""};
  return {};
}

UploadOutcome Run::Go() {
  std::string unreadable;
  const std::optional<Manifest> local = ScanGallery(gallery_, &unreadable);
  if (!local) return Finish({UploadError::kOther, "cannot read " + unreadable});
  const std::string manifest_text = ManifestText(*local);
  const std::string manifest_file = JoinPath(gallery_, kManifestName);
  if (!WriteFileAtomic(manifest_file, manifest_text)) {
    return Finish({UploadError::kOther, "cannot write " + manifest_file});
  }

  std::string body;
  bool missing = false;
  RemoteResult fetched = remote_->Fetch(kManifestName, body, missing, kManifestLimit);
  if (!fetched.ok()) return Finish(fetched);
  answered_ = true;
  // A manifest that does not read is taken for none: everything is sent and
  // nothing deleted, as on a first upload.
  const Manifest server = journal_.Apply(ParseManifest(body).value_or(Manifest()));

  std::vector<std::string> to_send;
  for (const auto& [path, entry] : *local) {
    const auto there = server.find(path);
    if (there == server.end() || there->second != entry) {
      to_send.push_back(path);
      done_.bytes_total += entry.size;
    }
  }
  std::vector<std::string> to_remove;
  for (const auto& [path, entry] : server) {
    if (!local->contains(path) && path != kManifestName) to_remove.push_back(path);
  }
  done_.files_total = to_send.size() + 1;
  done_.bytes_total += manifest_text.size();
  if (!Report(0)) return Finish({UploadError::kCancelled, ""});

  for (const std::string& path : to_send) {
    const ManifestEntry& entry = local->at(path);
    const RemoteResult sent = Send(JoinPath(gallery_, path), path, entry);
    if (!sent.ok()) return Finish(sent);
  }
  if (!to_remove.empty()) {
    const RemoteResult removed = remote_->Remove(to_remove, EmptiedFolders(to_remove, *local));
    if (!removed.ok()) return Finish(removed);
    for (const std::string& path : to_remove) journal_.RecordRemove(path);
    outcome_.removed = to_remove.size();
  }
  const ManifestEntry manifest_entry{manifest_text.size(), Sha256OfText(manifest_text)};
  const RemoteResult last = Send(manifest_file, kManifestName, manifest_entry);
  if (!last.ok()) return Finish(last);
  // What earlier, cut-off sends of content that changed since left behind;
  // the ones renamed into place are gone already, which is no failure.
  std::vector<std::string> left;
  for (const std::string& temporary : journal_.Temporaries()) {
    if (!renamed_.contains(temporary)) left.push_back(temporary);
  }
  const RemoteResult swept = remote_->Remove(left, {});
  if (!swept.ok()) return Finish(swept);
  journal_.Clear();
  return Finish({});
}

}  // namespace

UploadOutcome UploadGallery(const std::string& gallery, RemoteFolderOptions options,
                            const std::function<bool(const UploadProgress&)>& progress) {
  Run run(gallery, std::move(options), progress);
  return run.Go();
}

UploadOutcome TestConnection(RemoteFolderOptions options) {
  RemoteFolder remote(std::move(options));
  UploadOutcome outcome;
  outcome.result = remote.Probe();
  outcome.fingerprint = remote.host_fingerprint();
  return outcome;
}

}  // namespace lumireel
