// The file commands of the movie: it keeps much of its own data in files and
// asks the program to read, write, copy and delete them, to create and remove
// folders and to let the user pick media files.
//
// Paths are taken as given, except the relative commands (WriteLFile,
// UnlinkLFile) which put the workspace root and a separator in front of the
// name. Failures are reported by movie alerts where the command has one.
// REQUIRES: every member runs on the main thread.
#pragma once

#include <string>

namespace lumireel {

namespace platform {
class Dialogs;
class MovieControl;
}  // namespace platform

class FileCommands {
 public:
  FileCommands(platform::MovieControl& movie, platform::Dialogs& dialogs, std::string root_path);

  // Creates the last folder of the path; an existing folder or a missing
  // parent is a failure, reported by the mkdir_error alert.
  void MakeDir(const std::string& path);
  // Removes the folder and everything in it; the result is not reported.
  void RmDir(const std::string& path);
  // Deletes the file; the result is not reported.
  void UnlinkFile(const std::string& path);
  // Deletes root + "\" + name; a failure is reported by unlink_file_error.
  void UnlinkLFile(const std::string& name);
  // Writes the content as UTF-8; a failure is reported by write_file_error.
  void WriteFile(const std::string& path, const std::string& content);
  // Writes root + "\" + name with every line feed as carriage return + line
  // feed; a failure is reported by write_file_error.
  void WriteLFile(const std::string& name, const std::string& content);
  // Copies source over destination; without source or destination the
  // "Attention" alert. With more than two arguments in the request, the
  // alert with the given keys follows the copy whatever its result.
  void MoveFile(const std::string& source, const std::string& destination,
                const std::string& message_key, const std::string& title_key,
                size_t argument_count);
  // File-open dialogs; a choice is sent back with setFile.
  void MoveMedia(const std::string& pattern);
  void MoveLogo();
  void MoveMp3();
  // Replies with the file's text; empty for a missing, unreadable file or a
  // folder.
  void ReadFile(const std::string& path);

 private:
  std::string Relative(const std::string& name) const;

  platform::MovieControl& movie_;
  platform::Dialogs& dialogs_;
  const std::string root_path_;
};

}  // namespace lumireel
