// Where the interface movie lives, and which addresses the movie's page may
// show: the movie itself and local files at or below the workspace root.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumireel::platform::gtk {

// The file system path of the movie the program names: it joins the
// workspace root and the movie's name with a backslash, which becomes a
// slash here; a relative path is taken from the current folder. The result
// is normalised ("a/./b" and "a//b" give "a/b").
std::string MovieFilePath(std::string_view program_path);

// The file:// address of `folder` with a trailing slash, every character
// that needs it escaped ("/a b/" gives "file:///a%20b/"); empty when the
// folder is not an absolute path.
std::string FolderUri(const std::string& folder);

// The page address of the movie: the workspace root as the program's own
// scheme serves it. Every file the page loads comes through that scheme's
// handler, which serves only files at or below the root.
inline constexpr char kWorkspaceScheme[] = "lumireel";
inline constexpr char kWorkspaceUri[] = "lumireel://workspace/";

// Decides whether an address names a local file at or below one folder (the
// workspace root). Symbolic links are followed before the test, so that a
// link inside the root cannot show a file outside it.
class LocalFilePolicy {
 public:
  LocalFilePolicy() = default;
  // `root` must be an absolute path; it is resolved once, here.
  explicit LocalFilePolicy(const std::string& root);

  // True for a file:// address on this machine (no host, or "localhost")
  // whose path is the root or lies below it. Query and fragment are ignored.
  // False for every other scheme, for addresses that do not decode, and for
  // every address when the policy has no root.
  bool Allows(std::string_view uri) const;

  // The file that a workspace address (kWorkspaceUri followed by an escaped
  // path below the root; query and fragment ignored) names, with links
  // resolved; nullopt when it is not such an address or the file does not
  // lie at or below the root once links are resolved.
  std::optional<std::string> WorkspaceFile(std::string_view uri) const;

 private:
  std::string root_;  // resolved, without a trailing slash ("/" stays "/")
};

}  // namespace lumireel::platform::gtk
