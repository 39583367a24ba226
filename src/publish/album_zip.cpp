#include "publish/album_zip.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "bridge/file_utils.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;

bool IsPartFolder(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

bool IsRealFolder(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

// Names in one folder, sorted; empty when it cannot be listed.
std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Owns an archive being written; discards it unless it was closed.
class ZipArchive {
 public:
  explicit ZipArchive(const std::string& path) {
    int error = 0;
    archive_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  }
  ~ZipArchive() {
    if (archive_ != nullptr) zip_discard(archive_);
  }
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  bool open() const { return archive_ != nullptr; }

  bool Add(const ZipEntry& entry) {
    // A length of -1 takes the file to its end.
    zip_source_t* source = zip_source_file(archive_, entry.source.c_str(), 0, -1);
    if (source == nullptr) return false;
    const zip_int64_t index =
        zip_file_add(archive_, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);  // the archive took it only when the add succeeded
      return false;
    }
    return zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_STORE,
                                    0) == 0;
  }

  // Writes the archive (temporary name, then rename). False leaves nothing.
  bool Close() {
    if (zip_close(archive_) != 0) return false;
    archive_ = nullptr;
    return true;
  }

 private:
  zip_t* archive_ = nullptr;
};

}  // namespace

std::vector<ZipEntry> BigImageEntries(const std::string& gallery) {
  const fs::path parts = fs::path(NativePath(gallery)) / "photoparts";
  std::vector<ZipEntry> entries;
  for (const std::string& part : NamesIn(parts)) {
    const fs::path big = parts / part / "big";
    if (!IsPartFolder(part) || !IsRealFolder(parts / part) || !IsRealFolder(big)) continue;
    for (const std::string& file : NamesIn(big)) {
      if (file.starts_with(".") || !IsRegularFile(big / file)) continue;
      entries.push_back({part + "/" + file, (big / file).string()});
    }
  }
  return entries;
}

bool WriteZipArchive(const std::string& target, const std::vector<ZipEntry>& entries) {
  ZipArchive archive(NativePath(target));
  if (!archive.open()) return false;
  for (const ZipEntry& entry : entries) {
    if (!archive.Add(entry)) return false;
  }
  return archive.Close();
}

bool WriteAlbumZip(const std::string& gallery) {
  const std::vector<ZipEntry> entries = BigImageEntries(gallery);
  return !entries.empty() && WriteZipArchive(JoinPath(gallery, kAlbumZipFile), entries);
}

}  // namespace lumireel
