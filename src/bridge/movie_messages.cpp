#include "bridge/movie_messages.h"

#include <string>

#include "platform/movie_control.h"

namespace lumireel {
namespace {

constexpr std::string_view kInvokeOpen = "<invoke name=\"";
constexpr std::string_view kInvokeArgsOpen = "\" returntype=\"xml\"><arguments>";
constexpr std::string_view kInvokeArgsClose = "</arguments></invoke>";

// A call without arguments: <invoke name="F" returntype="xml"><arguments/></invoke>.
std::string EmptyCall(std::string_view function) {
  std::string message;
  message.append(kInvokeOpen).append(function).append("\" returntype=\"xml\"><arguments/></invoke>");
  return message;
}

// Builds a call from already formatted argument elements.
std::string Call(std::string_view function, std::string_view arguments) {
  std::string message;
  message.reserve(kInvokeOpen.size() + function.size() + kInvokeArgsOpen.size() +
                  arguments.size() + kInvokeArgsClose.size());
  message.append(kInvokeOpen).append(function).append(kInvokeArgsOpen);
  message.append(arguments).append(kInvokeArgsClose);
  return message;
}

void AppendString(std::string& out, std::string_view text) {
  out.append("<string>").append(EncodeMessageText(text)).append("</string>");
}

void AppendNumber(std::string& out, int number) {
  out.append("<number>").append(std::to_string(number)).append("</number>");
}

}  // namespace

std::string EncodeMessageText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string SetGlobPathMessage(std::string_view root) {
  std::string args;
  AppendString(args, root);
  return Call("setGlobPath", args);
}

std::string ShowAlertMessage(std::string_view title_key, std::string_view message_key, int number) {
  std::string args;
  AppendString(args, title_key);
  AppendString(args, message_key);
  AppendNumber(args, number);
  return Call("showAlert", args);
}

std::string ReloadContentMessage() { return EmptyCall("reloadContent"); }
std::string ReloadPreviewMessage() { return EmptyCall("reloadPreview"); }
std::string ReloadBigImgMessage() { return EmptyCall("reloadBigImg"); }
std::string CloseProgressBarMessage() { return EmptyCall("closeProgressBar"); }

std::string CreateProgressBarMessage(std::string_view label_key) {
  std::string args;
  AppendString(args, label_key);
  return Call("createProgressBar", args);
}

std::string ShowProgressMessage(int first, int second) {
  std::string args;
  AppendNumber(args, first);
  AppendNumber(args, second);
  return Call("showProgress", args);
}

std::string ShowUploadProgressMessage(int files_done, int files_total, int kib_done,
                                      int kib_total) {
  std::string args;
  for (int number : {files_done, files_total, kib_done, kib_total}) AppendNumber(args, number);
  return Call("showUploadProgress", args);
}

std::string AskHostKeyMessage(std::string_view host, std::string_view fingerprint,
                              std::string_view command) {
  std::string args;
  AppendString(args, host);
  AppendString(args, fingerprint);
  AppendString(args, command);
  return Call("askHostKey", args);
}

std::string SetKeyWordsMessage(std::string_view keywords) {
  std::string args;
  args.append("<string>").append(keywords).append("</string>");
  return Call("setKeyWords", args);
}

std::string SetFileMessage(std::string_view full_path, std::string_view file_name) {
  std::string args;
  AppendString(args, full_path);
  AppendString(args, file_name);
  return Call("setFile", args);
}

std::string SetFileMessage(std::string_view full_path) {
  std::string args;
  AppendString(args, full_path);
  return Call("setFile", args);
}

std::string ReadFileReply(std::string_view value) {
  std::string reply = "<invoke name=\"ReadFile\" returntype=\"xml\"><string>";
  reply.append(EncodeMessageText(value)).append("</string></invoke>");
  return reply;
}

std::string PublishedFoldersReply(std::string_view album_id, std::string_view picked,
                                  std::string_view cd, std::string_view web) {
  std::string reply = "<invoke name=\"PublishedFolders\" returntype=\"xml\">";
  for (std::string_view value : {album_id, picked, cd, web}) {
    reply.append("<string>").append(EncodeMessageText(value)).append("</string>");
  }
  reply.append("</invoke>");
  return reply;
}

std::string CallMovie(platform::MovieControl& movie, const std::string& message) {
  return movie.CallFunction(message);
}

void SendAlert(platform::MovieControl& movie, std::string_view title_key,
               std::string_view message_key, std::int8_t number) {
  CallMovie(movie, ShowAlertMessage(title_key, message_key, number));
}

void ReplyToMovie(platform::MovieControl& movie, const std::string& reply) {
  movie.SetReturnValue(reply);
}

}  // namespace lumireel
