// Message boxes, the open-file dialog and the folder picker.
//
// Every member may be called from any thread: a worker that shows a dialog
// waits while the dialog runs on the main thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumireel::platform {

enum class MessageIcon { kError, kQuestion, kWarning, kInfo };
enum class MessageButtons { kOk, kOkCancel };
enum class MessageResult { kOk, kCancel };

struct MessageBoxRequest {
  std::string caption;
  std::string text;
  MessageIcon icon = MessageIcon::kInfo;
  MessageButtons buttons = MessageButtons::kOk;
  // True when the box belongs to the main window; false for a box without owner.
  bool owned_by_main_window = true;
};

struct OpenFileRequest {
  std::string title;           // empty: the platform's default title
  std::string filter;          // "Description|pattern; pattern|..." pairs
  std::string default_ext;
  std::string initial_name;    // for example "*.*"
  bool multiple = false;
  bool owned_by_main_window = true;
  // Photos to import: a desktop dialog may add a filter of every picture
  // format the program reads, beside the program's own filters.
  bool photos = false;
};

struct FolderRequest {
  std::string title;
  std::string initial_folder;  // empty: none
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  virtual MessageResult ShowMessageBox(const MessageBoxRequest& request) = 0;
  // The chosen files as full paths, in the order the dialog reports them;
  // nullopt when the dialog was cancelled.
  virtual std::optional<std::vector<std::string>> OpenFiles(const OpenFileRequest& request) = 0;
  // The chosen folder, or nullopt when the picker was cancelled.
  virtual std::optional<std::string> PickFolder(const FolderRequest& request) = 0;
  // True when the next dialog's answer was given ahead, so that the dialog
  // will not wait for the user.
  virtual bool AnswerWaiting() { return false; }
};

}  // namespace lumireel::platform
