#include "platform/gtk/movie_location.h"

#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace lumireel::platform::gtk {
namespace {

namespace fs = std::filesystem;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFreeDeleter>;

// The path with symbolic links resolved as far as it exists; the rest is
// normalised lexically. Empty on failure.
std::string Resolve(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(path, ec);
  if (ec) return {};
  std::string text = resolved.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool IsAtOrBelow(const std::string& path, const std::string& root) {
  if (path == root) return true;
  if (root == "/") return !path.empty() && path.front() == '/';
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}

}  // namespace

std::string MovieFilePath(std::string_view program_path) {
  std::string path(program_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  fs::path result(path);
  if (result.is_relative()) {
    std::error_code ec;
    result = fs::absolute(result, ec);
    if (ec) result = fs::path(path);
  }
  return result.lexically_normal().string();
}

std::string FolderUri(const std::string& folder) {
  if (folder.empty() || folder.front() != '/') return {};
  std::string path = folder;
  if (path.back() != '/') path += '/';
  GString uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  return uri ? std::string(uri.get()) : std::string();
}

LocalFilePolicy::LocalFilePolicy(const std::string& root) {
  if (!root.empty() && root.front() == '/') root_ = Resolve(root);
}

bool LocalFilePolicy::Allows(std::string_view uri) const {
  if (root_.empty()) return false;
  // A file address carries no query; a fragment only points into the page.
  const std::size_t end = uri.find_first_of("?#");
  const std::string address(uri.substr(0, end));
  char* host = nullptr;
  GString path(g_filename_from_uri(address.c_str(), &host, nullptr));
  GString host_owner(host);
  if (!path) return false;
  if (host != nullptr && *host != '\0' && g_ascii_strcasecmp(host, "localhost") != 0) {
    return false;
  }
  const std::string resolved = Resolve(path.get());
  return !resolved.empty() && IsAtOrBelow(resolved, root_);
}

std::optional<std::string> LocalFilePolicy::WorkspaceFile(std::string_view uri) const {
  const std::string_view prefix = kWorkspaceUri;
  if (root_.empty() || uri.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view rest = uri.substr(prefix.size());
  rest = rest.substr(0, rest.find_first_of("?#"));
  const std::string file_uri = FolderUri(root_) + std::string(rest);
  if (!Allows(file_uri)) return std::nullopt;
  GString path(g_filename_from_uri(file_uri.c_str(), nullptr, nullptr));
  if (!path) return std::nullopt;
  return Resolve(path.get());
}

}  // namespace lumireel::platform::gtk
