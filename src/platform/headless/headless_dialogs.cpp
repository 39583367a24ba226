// The headless host's dialogs: each writes a line describing itself and is
// answered by the answer lines of the input.
#include "platform/headless/headless_host.h"

namespace lumireel::platform::headless {

void HeadlessHost::PushAnswer(Answer answer) {
  std::lock_guard lock(answers_mu_);
  answers_.push_back(std::move(answer));
  answers_cv_.notify_all();
}

bool HeadlessHost::AnswerWaiting() {
  std::lock_guard lock(answers_mu_);
  return !answers_.empty();
}

std::optional<Answer> HeadlessHost::TakeAnswer(bool wait) {
  std::unique_lock lock(answers_mu_);
  if (wait) answers_cv_.wait(lock, [&] { return !answers_.empty() || input_ended_; });
  if (answers_.empty()) return std::nullopt;
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

MessageResult HeadlessHost::ShowMessageBox(const MessageBoxRequest& request) {
  std::lock_guard dialog(dialog_mu_);
  WriteLine(MessageBoxLine(request));
  const bool ok_only = request.buttons == MessageButtons::kOk;
  std::optional<Answer> answer = TakeAnswer(/*wait=*/!ok_only);
  if (!answer) return ok_only ? MessageResult::kOk : MessageResult::kCancel;
  return answer->kind == Answer::Kind::kButtonOk ? MessageResult::kOk : MessageResult::kCancel;
}

std::optional<std::vector<std::string>> HeadlessHost::OpenFiles(const OpenFileRequest& request) {
  std::lock_guard dialog(dialog_mu_);
  WriteLine(OpenFileDialogLine(request));
  std::optional<Answer> answer = TakeAnswer(/*wait=*/true);
  if (!answer || answer->kind != Answer::Kind::kFiles || answer->files.empty()) {
    return std::nullopt;
  }
  if (!request.multiple) answer->files.resize(1);
  return std::move(answer->files);
}

std::optional<std::string> HeadlessHost::PickFolder(const FolderRequest& request) {
  std::lock_guard dialog(dialog_mu_);
  WriteLine(FolderDialogLine(request));
  std::optional<Answer> answer = TakeAnswer(/*wait=*/true);
  if (!answer || answer->kind != Answer::Kind::kFolder) return std::nullopt;
  return std::move(answer->folder);
}

}  // namespace lumireel::platform::headless
