#include "upload/manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/sha256.h"

namespace lumireel {
namespace {

constexpr std::string_view kManifestHeader = "lumireel-manifest 1";

bool IsHexDigest(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// "SHA SIZE PATH" into `manifest`; false when the line is not one.
bool ParseEntry(std::string_view line, Manifest& manifest) {
  const size_t first = line.find(' ');
  if (first == std::string_view::npos) return false;
  const size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return false;
  ManifestEntry entry;
  entry.sha256 = std::string(line.substr(0, first));
  const std::string_view size = line.substr(first + 1, second - first - 1);
  const auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), entry.size);
  const std::string path(line.substr(second + 1));
  if (ec != std::errc() || end != size.data() + size.size() || size.empty() ||
      !IsHexDigest(entry.sha256) || !IsGalleryPath(path)) {
    return false;
  }
  manifest[path] = entry;
  return true;
}

std::string EntryLine(const std::string& path, const ManifestEntry& entry) {
  return entry.sha256 + " " + std::to_string(entry.size) + " " + path;
}

// The lines of `text`, without their line feeds; a last line without one is
// returned in `partial` instead (a journal line cut off by a kill).
std::vector<std::string_view> Lines(std::string_view text, std::string_view* partial) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (partial != nullptr) *partial = text.substr(start);
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

bool IsGalleryPath(std::string_view path) {
  if (path.empty()) return false;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (unsigned char c : part) {
      if (c < 0x20 || c == 0x7f || c == '\\') return false;
    }
    if (end == path.size()) return true;
    start = end + 1;
  }
}

std::optional<std::string> Sha256OfFile(const std::string& path) {
  std::FILE* file = std::fopen(NativePath(path).c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> owner(file, &std::fclose);
  Sha256 digest;
  std::vector<char> buffer(1 << 16);
  while (true) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    if (!digest.Update(buffer.data(), got)) return std::nullopt;
    if (got < buffer.size()) break;
  }
  if (std::ferror(file)) return std::nullopt;
  return digest.FinishHex();
}

std::string Sha256OfText(std::string_view text) {
  Sha256 digest;
  digest.Update(text.data(), text.size());
  return digest.FinishHex().value_or(std::string());
}

std::optional<Manifest> ScanGallery(const std::string& folder, std::string* error) {
  namespace fs = std::filesystem;
  Manifest manifest;
  std::error_code ec;
  const fs::path root(NativePath(folder));
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) {
    if (error != nullptr) *error = folder;
    return std::nullopt;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
    const std::string relative = it->path().lexically_relative(root).generic_string();
    if (relative == kManifestName) continue;
    const std::optional<std::string> sha = Sha256OfFile(it->path().string());
    const std::uintmax_t size = it->file_size(ec);
    if (!IsGalleryPath(relative) || !sha || ec) {
      if (error != nullptr) *error = it->path().string();
      return std::nullopt;
    }
    manifest[relative] = {static_cast<std::uint64_t>(size), *sha};
  }
  if (ec) {
    if (error != nullptr) *error = folder;
    return std::nullopt;
  }
  return manifest;
}

std::string ManifestText(const Manifest& manifest) {
  std::string text(kManifestHeader);
  text += '\n';
  for (const auto& [path, entry] : manifest) text += EntryLine(path, entry) + '\n';
  return text;
}

std::optional<Manifest> ParseManifest(std::string_view text) {
  std::string_view partial;
  const std::vector<std::string_view> lines = Lines(text, &partial);
  if (!partial.empty() || lines.empty() || lines[0] != kManifestHeader) return std::nullopt;
  Manifest manifest;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!ParseEntry(lines[i], manifest)) return std::nullopt;
  }
  return manifest;
}

UploadJournal::UploadJournal(const std::string& gallery, std::string target)
    : target_(std::move(target)) {
  std::string folder = NativePath(gallery);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  path_ = folder + ".lumireel-upload";
}

Manifest UploadJournal::Apply(Manifest remote) const {
  const std::optional<std::string> text = ReadTextFileUtf8(path_, LinkPolicy::kRefuse);
  if (!text) return remote;
  const std::vector<std::string_view> lines = Lines(*text, nullptr);
  if (lines.empty() || lines[0] != target_) return remote;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    // Lines that do not read (a torn write) are passed over: at worst a
    // file is sent again.
    if (line.starts_with("+ ")) {
      ParseEntry(line.substr(2), remote);
    } else if (line.starts_with("- ") && IsGalleryPath(line.substr(2))) {
      remote.erase(std::string(line.substr(2)));
    }
  }
  return remote;
}

bool UploadJournal::RecordPut(const std::string& path, const ManifestEntry& entry) {
  return Append("+ " + EntryLine(path, entry));
}

bool UploadJournal::RecordRemove(const std::string& path) { return Append("- " + path); }

bool UploadJournal::RecordTemporary(const std::string& path) { return Append("~ " + path); }

std::vector<std::string> UploadJournal::Temporaries() const {
  std::vector<std::string> temporaries;
  const std::optional<std::string> text = ReadTextFileUtf8(path_, LinkPolicy::kRefuse);
  if (!text) return temporaries;
  const std::vector<std::string_view> lines = Lines(*text, nullptr);
  if (lines.empty() || lines[0] != target_) return temporaries;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string path(lines[i].substr(std::min<size_t>(2, lines[i].size())));
    if (lines[i].starts_with("~ ") && IsGalleryPath(path)) temporaries.push_back(path);
  }
  return temporaries;
}

void UploadJournal::Clear() { RemoveFile(path_); }

bool UploadJournal::Append(const std::string& line) {
  const std::optional<std::string> text = ReadTextFileUtf8(path_, LinkPolicy::kRefuse);
  const bool fresh = !text || Lines(*text, nullptr).empty() || Lines(*text, nullptr)[0] != target_;
  if (fresh && !WriteFileAtomic(path_, target_ + "\n")) return false;
  // A line appended and synced: a kill loses at most the line being written.
  const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  // A line torn by a kill is closed with a tab first, which no path holds,
  // so that it never reads as a shorter path and spoils only itself.
  const bool torn = !fresh && !text->empty() && text->back() != '\n';
  const std::string bytes = (torn ? "\t\n" : "") + line + "\n";
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  const bool synced = ::fdatasync(fd) == 0;
  ::close(fd);
  return written && synced;
}

}  // namespace lumireel
