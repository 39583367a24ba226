// The JSON lines of the headless host: reading one input line into a value
// the host acts on, and writing each output line.
//
// Every output function returns one compact JSON object without the final
// line feed; keys appear in the documented order. Texts that are not valid
// UTF-8 have the bad bytes replaced by U+FFFD; nothing here throws for any
// text. The functions are pure and may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/dialogs.h"
#include "platform/window.h"

namespace lumireel::platform::headless {

// What a dialog or a message box is answered with.
struct Answer {
  enum class Kind { kFiles, kFolder, kButtonOk, kButtonCancel, kCancel };
  Kind kind = Kind::kCancel;
  std::vector<std::string> files;  // kFiles
  std::string folder;              // kFolder
};

struct InvokeInput {
  std::string request;
};
struct FSCommandInput {
  std::string command;
  std::string args;
};
struct AnswerInput {
  Answer answer;
};
struct CursorInput {
  Point position;
};
struct KeyInput {
  WindowKey key;
};
struct CloseInput {};
struct SyncInput {
  std::string token;  // the token as compact JSON, echoed back by SyncedLine
};
// A line that is empty or only white space; it is ignored.
struct BlankInput {};
// A line that is not one of the above; `error` says why in one line.
struct BadInput {
  std::string error;
};

using InputLine = std::variant<InvokeInput, FSCommandInput, AnswerInput, CursorInput, KeyInput,
                               CloseInput, SyncInput, BlankInput, BadInput>;

// Reads one input line (without its line feed; a final carriage return is
// ignored). Never throws for any input; a line nested deeper than
// kMaxInputDepth is refused rather than parsed.
InputLine ParseInputLine(std::string_view line);
inline constexpr int kMaxInputDepth = 64;

// What the window line shows: the outer rectangle as OuterRect reports it.
struct WindowPlacement {
  Rect outer;
  ShowState state = ShowState::kNormal;
  std::string title;
  Rect control;
  bool operator==(const WindowPlacement&) const = default;
};

std::string MovieLine(std::string_view path);
std::string CallLine(std::string_view request);
std::string ReplyLine(std::string_view reply);
std::string WindowLine(const WindowPlacement& placement);
std::string ControlKeyLine(int virtual_key);
// The desktop was asked to open the folder or page at `path`.
std::string OpenLine(std::string_view path);
std::string OpenFileDialogLine(const OpenFileRequest& request);
std::string FolderDialogLine(const FolderRequest& request);
std::string MessageBoxLine(const MessageBoxRequest& request);
// `token` as kept by SyncInput.
std::string SyncedLine(std::string_view token);
std::string ExitLine(int code);
std::string ErrorLine(std::string_view text);

}  // namespace lumireel::platform::headless
