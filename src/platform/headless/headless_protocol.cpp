#include "platform/headless/headless_protocol.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

namespace lumireel::platform::headless {

namespace {

using Json = nlohmann::ordered_json;

// Compact, UTF-8 kept as it is, bad bytes replaced: dumping never throws.
std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Line(const char* key, Json value) {
  Json line;
  line[key] = std::move(value);
  return Dump(line);
}

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// Deepest nesting of arrays and objects in a JSON text, stopping as soon as it
// exceeds `limit`. The parser and the dumper recurse over nesting, so a line
// of a few million brackets must not reach them.
int NestingDepth(std::string_view text, int limit) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      ++depth;
      if (depth > deepest) deepest = depth;
      if (deepest > limit) break;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// A key or value quoted in an error text, shortened so that the error stays short.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string quoted = "\"" + std::string(text.substr(0, kMax));
  if (text.size() > kMax) quoted += "...";
  return quoted + "\"";
}

std::optional<int> ToInt(const Json& value) {
  if (value.is_number_unsigned()) {
    auto v = value.get<std::uint64_t>();
    if (v > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return std::nullopt;
    return static_cast<int>(v);
  }
  if (value.is_number_integer()) {
    auto v = value.get<std::int64_t>();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
      return std::nullopt;
    }
    return static_cast<int>(v);
  }
  return std::nullopt;
}

std::optional<Answer> ParseAnswer(const Json& value) {
  if (!value.is_object() || value.size() != 1) return std::nullopt;
  const std::string& key = value.begin().key();
  const Json& item = value.front();
  Answer answer;
  if (key == "files" && item.is_array()) {
    answer.kind = Answer::Kind::kFiles;
    for (const Json& file : item) {
      if (!file.is_string()) return std::nullopt;
      answer.files.push_back(file.get<std::string>());
    }
  } else if (key == "folder" && item.is_string()) {
    answer.kind = Answer::Kind::kFolder;
    answer.folder = item.get<std::string>();
  } else if (key == "button" && item == "ok") {
    answer.kind = Answer::Kind::kButtonOk;
  } else if (key == "button" && item == "cancel") {
    answer.kind = Answer::Kind::kButtonCancel;
  } else if (key == "cancel" && item == true) {
    answer.kind = Answer::Kind::kCancel;
  } else {
    return std::nullopt;
  }
  return answer;
}

InputLine ParseMember(const std::string& key, const Json& value) {
  if (key == "invoke") {
    if (!value.is_string()) return BadInput{"\"invoke\" must be a string"};
    return InvokeInput{value.get<std::string>()};
  }
  if (key == "fscommand") {
    if (!value.is_array() || value.size() != 2 || !value[0].is_string() || !value[1].is_string()) {
      return BadInput{"\"fscommand\" must be an array of two strings [command, args]"};
    }
    return FSCommandInput{value[0].get<std::string>(), value[1].get<std::string>()};
  }
  if (key == "answer") {
    std::optional<Answer> answer = ParseAnswer(value);
    if (!answer) {
      return BadInput{
          "\"answer\" must be one of {\"files\": [path, ...]}, {\"folder\": path}, "
          "{\"button\": \"ok\"}, {\"button\": \"cancel\"}, {\"cancel\": true}"};
    }
    return AnswerInput{std::move(*answer)};
  }
  if (key == "cursor") {
    std::optional<int> x, y;
    if (value.is_array() && value.size() == 2) {
      x = ToInt(value[0]);
      y = ToInt(value[1]);
    }
    if (!x || !y) return BadInput{"\"cursor\" must be an array of two integers [x, y]"};
    return CursorInput{Point{*x, *y}};
  }
  if (key == "key") {
    if (value == "Return") return KeyInput{WindowKey::kReturn};
    if (value == "Escape") return KeyInput{WindowKey::kEscape};
    return BadInput{"\"key\" must be \"Return\" or \"Escape\""};
  }
  if (key == "close") {
    if (value != true) return BadInput{"\"close\" must be true"};
    return CloseInput{};
  }
  if (key == "sync") return SyncInput{Dump(value)};
  return BadInput{"unknown key " + Quoted(key)};
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return "error";
    case MessageIcon::kQuestion:
      return "question";
    case MessageIcon::kWarning:
      return "warning";
    case MessageIcon::kInfo:
      break;
  }
  return "info";
}

const char* StateName(ShowState state) {
  switch (state) {
    case ShowState::kMaximized:
      return "maximized";
    case ShowState::kMinimized:
      return "minimized";
    case ShowState::kNormal:
      break;
  }
  return "normal";
}

Json RectObject(const Rect& rect) {
  Json object;
  object["x"] = rect.x;
  object["y"] = rect.y;
  object["w"] = rect.w;
  object["h"] = rect.h;
  return object;
}

Json DialogObject(const char* kind, std::string_view title, std::string_view filter,
                  std::string_view default_ext) {
  Json dialog;
  dialog["kind"] = kind;
  dialog["title"] = title;
  dialog["filter"] = filter;
  dialog["default_ext"] = default_ext;
  return dialog;
}

}  // namespace

InputLine ParseInputLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (IsBlank(line)) return BlankInput{};
  if (NestingDepth(line, kMaxInputDepth) > kMaxInputDepth) {
    return BadInput{"input line is nested more than " + std::to_string(kMaxInputDepth) +
                    " levels deep"};
  }
  Json parsed;
  try {
    parsed = Json::parse(line);
  } catch (const Json::parse_error& e) {
    return BadInput{"input line is not valid JSON (error at byte " + std::to_string(e.byte) + ")"};
  } catch (const std::exception&) {
    return BadInput{"input line could not be read as JSON"};
  }
  if (!parsed.is_object()) return BadInput{"input line must be a JSON object"};
  if (parsed.size() != 1) {
    return BadInput{"input line must be an object with exactly one key, not " +
                    std::to_string(parsed.size())};
  }
  return ParseMember(parsed.begin().key(), parsed.front());
}

std::string MovieLine(std::string_view path) { return Line("movie", path); }

std::string CallLine(std::string_view request) { return Line("call", request); }

std::string ReplyLine(std::string_view reply) { return Line("reply", reply); }

std::string WindowLine(const WindowPlacement& placement) {
  Json window = RectObject(placement.outer);
  window["state"] = StateName(placement.state);
  window["title"] = placement.title;
  window["control"] = RectObject(placement.control);
  return Line("window", std::move(window));
}

std::string ControlKeyLine(int virtual_key) { return Line("control_key", virtual_key); }

std::string OpenLine(std::string_view path) { return Line("open", path); }

std::string OpenFileDialogLine(const OpenFileRequest& request) {
  return Line("dialog", DialogObject(request.multiple ? "open-files" : "open-file", request.title,
                                     request.filter, request.default_ext));
}

std::string FolderDialogLine(const FolderRequest& request) {
  return Line("dialog", DialogObject("folder", request.title, "", ""));
}

std::string MessageBoxLine(const MessageBoxRequest& request) {
  Json box;
  box["caption"] = request.caption;
  box["text"] = request.text;
  box["icon"] = IconName(request.icon);
  box["buttons"] = request.buttons == MessageButtons::kOkCancel ? "okcancel" : "ok";
  return Line("messagebox", std::move(box));
}

std::string SyncedLine(std::string_view token) {
  // The token came from ParseInputLine, so it is valid and shallow JSON; fall
  // back to null rather than throw if it is not.
  Json value = Json::parse(token, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) value = nullptr;
  return Line("synced", std::move(value));
}

std::string ExitLine(int code) { return Line("exit", code); }

std::string ErrorLine(std::string_view text) { return Line("error", text); }

}  // namespace lumireel::platform::headless
