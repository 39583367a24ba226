// The invoke messages the program sends to the movie, and the three ways it
// talks to the movie: calling a movie function, showing a movie alert and
// answering the request being handled.
//
// Text values inside a message are entity-encoded (& < > " '), so every
// message the movie receives is well-formed; a value without any of those
// characters appears exactly as given. Keyword lists are the one exception:
// they are kept in the encoded form in which the movie sent them and go back
// unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumireel {

namespace platform {
class MovieControl;
}

// Replaces & < > " ' by their references.
std::string EncodeMessageText(std::string_view text);

std::string SetGlobPathMessage(std::string_view root);
// `number` is written in decimal, with its sign.
std::string ShowAlertMessage(std::string_view title_key, std::string_view message_key, int number);
std::string ReloadContentMessage();
std::string ReloadPreviewMessage();
std::string ReloadBigImgMessage();
std::string CreateProgressBarMessage(std::string_view label_key);
// The two numbers in the order the caller gives them: (total, done).
std::string ShowProgressMessage(int first, int second);
std::string CloseProgressBarMessage();
// An upload's progress: files done and in all, then kibibytes done and in all.
std::string ShowUploadProgressMessage(int files_done, int files_total, int kib_done, int kib_total);
// Asks the user about a server's host key that is not known yet; `command`
// is the command the movie sends again, with the fingerprint, when the user
// accepts it.
std::string AskHostKeyMessage(std::string_view host, std::string_view fingerprint,
                              std::string_view command);
// `keywords` is inserted as it is (already in the movie's encoded form).
std::string SetKeyWordsMessage(std::string_view keywords);
std::string SetFileMessage(std::string_view full_path, std::string_view file_name);
std::string SetFileMessage(std::string_view full_path);
// The reply to ReadFile carrying `value`.
std::string ReadFileReply(std::string_view value);
// The reply to PublishedFolders: the album id, the picked folder, the CD
// gallery's folder and the web gallery's folder, each as one <string>, in
// that order; a gallery that was not built whole is an empty string.
std::string PublishedFoldersReply(std::string_view album_id, std::string_view picked,
                                  std::string_view cd, std::string_view web);

// Calls a function of the movie; the answer is returned (callers discard it).
// Safe from any thread; calls of one thread keep their order.
std::string CallMovie(platform::MovieControl& movie, const std::string& message);
// Sends showAlert with the two keys and a signed 8-bit number.
void SendAlert(platform::MovieControl& movie, std::string_view title_key,
               std::string_view message_key, std::int8_t number);
// Answers the request being handled.
// REQUIRES: main thread, while the request's handler runs.
void ReplyToMovie(platform::MovieControl& movie, const std::string& reply);

}  // namespace lumireel
