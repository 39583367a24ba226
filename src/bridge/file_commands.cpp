#include "bridge/file_commands.h"

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "platform/dialogs.h"
#include "platform/movie_control.h"

namespace lumireel {
namespace {

// The file name of a chosen path: what follows its last separator.
std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

FileCommands::FileCommands(platform::MovieControl& movie, platform::Dialogs& dialogs,
                           std::string root_path)
    : movie_(movie), dialogs_(dialogs), root_path_(std::move(root_path)) {}

std::string FileCommands::Relative(const std::string& name) const {
  return JoinPath(root_path_, name);
}

void FileCommands::MakeDir(const std::string& path) {
  if (!MakeFolder(path)) SendAlert(movie_, "mkdir_error_h", "mkdir_error", 0);
}

void FileCommands::RmDir(const std::string& path) { RemoveFolder(path); }

void FileCommands::UnlinkFile(const std::string& path) { RemoveFile(path); }

void FileCommands::UnlinkLFile(const std::string& name) {
  if (!RemoveFile(Relative(name))) {
    SendAlert(movie_, "unlink_file_error_h", "unlink_file_error", 0);
  }
}

void FileCommands::WriteFile(const std::string& path, const std::string& content) {
  if (!WriteTextFileUtf8(path, content)) {
    SendAlert(movie_, "write_file_error_h", "write_file_error", 0);
  }
}

void FileCommands::WriteLFile(const std::string& name, const std::string& content) {
  if (!WriteTextFileCrLf(Relative(name), content)) {
    SendAlert(movie_, "write_file_error_h", "write_file_error", 0);
  }
}

void FileCommands::MoveFile(const std::string& source, const std::string& destination,
                            const std::string& message_key, const std::string& title_key,
                            size_t argument_count) {
  if (source.empty() || destination.empty()) {
    SendAlert(movie_, "Attention", "Some arguments is empty", 1);
    return;
  }
  CopyFileReplacing(source, destination);
  if (argument_count > 2) SendAlert(movie_, title_key, message_key, 1);
}

namespace {

// The platform's standard open dialog as the picking commands use it: one
// existing file, "*.*" as the initial name, owned by the main window.
std::optional<std::string> PickOneFile(platform::Dialogs& dialogs, std::string filter,
                                       std::string default_ext) {
  platform::OpenFileRequest request;
  request.filter = std::move(filter);
  request.default_ext = std::move(default_ext);
  request.initial_name = "*.*";
  request.multiple = false;
  std::optional<std::vector<std::string>> files = dialogs.OpenFiles(request);
  if (!files || files->empty() || files->front().empty()) return std::nullopt;
  return files->front();
}

}  // namespace

void FileCommands::MoveMedia(const std::string& pattern) {
  if (auto path = PickOneFile(dialogs_, pattern + "|" + pattern + "|", pattern)) {
    CallMovie(movie_, SetFileMessage(*path, BaseName(*path)));
  }
}

void FileCommands::MoveLogo() {
  if (auto path = PickOneFile(dialogs_,
                              "Graphic Formats (*.swf,*.jpg,*.jpeg,*.png)|*.swf; *.jpg; *.jpeg; *.png;|",
                              "*.swf,*.jpeg,*.jpg,*.png")) {
    CallMovie(movie_, SetFileMessage(*path, BaseName(*path)));
  }
}

void FileCommands::MoveMp3() {
  if (auto path = PickOneFile(dialogs_, "Mp3 Files (*.mp3)|*.mp3|", "*.mp3")) {
    CallMovie(movie_, SetFileMessage(*path));
  }
}

void FileCommands::ReadFile(const std::string& path) {
  std::optional<std::string> text = ReadTextFileUtf8(path);
  ReplyToMovie(movie_, ReadFileReply(text ? *text : std::string()));
}

}  // namespace lumireel
