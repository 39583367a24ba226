// The desktop host's dialogs: GTK message dialogs and file choosers. Each
// runs on the main thread; a worker that asks for one waits meanwhile.
#include <algorithm>

#include "platform/gtk/file_filter.h"
#include "platform/gtk/gtk_host.h"

namespace lumireel::platform::gtk {
namespace {

GtkMessageType MessageType(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return GTK_MESSAGE_ERROR;
    case MessageIcon::kQuestion:
      return GTK_MESSAGE_QUESTION;
    case MessageIcon::kWarning:
      return GTK_MESSAGE_WARNING;
    case MessageIcon::kInfo:
      return GTK_MESSAGE_INFO;
  }
  return GTK_MESSAGE_INFO;
}

// The program names folders with either separator.
std::string LocalPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Where the open-file dialog starts the first time: the user's pictures.
std::string FirstOpenFolder() {
  const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  if (pictures != nullptr && g_file_test(pictures, G_FILE_TEST_IS_DIR)) return pictures;
  return g_get_home_dir();
}

struct DialogRun {
  GMainLoop* loop;
  int response;
};

void OnDialogResponse(GtkDialog*, int response, gpointer data) {
  auto* run = static_cast<DialogRun*>(data);
  run->response = response;
  g_main_loop_quit(run->loop);
}

gboolean OnDialogDelete(GtkWidget*, GdkEvent*, gpointer data) {
  OnDialogResponse(nullptr, GTK_RESPONSE_DELETE_EVENT, data);
  return TRUE;
}

}  // namespace

int GtkHost::RunDialog(GtkWidget* dialog, bool modal) {
  {
    std::lock_guard lock(state_mu_);
    if (quit_requested_) return GTK_RESPONSE_CANCEL;
  }
  GtkWindow* window = GTK_WINDOW(dialog);
  gtk_window_set_modal(window, modal);
  if (modal) gtk_window_set_transient_for(window, GTK_WINDOW(window_));
  DialogRun run{g_main_loop_new(nullptr, FALSE), GTK_RESPONSE_NONE};
  const gulong response_id =
      g_signal_connect(dialog, "response", G_CALLBACK(OnDialogResponse), &run);
  const gulong delete_id =
      g_signal_connect(dialog, "delete-event", G_CALLBACK(OnDialogDelete), &run);
  open_dialogs_.push_back(dialog);
  gtk_window_present(window);
  g_main_loop_run(run.loop);
  open_dialogs_.erase(std::remove(open_dialogs_.begin(), open_dialogs_.end(), dialog),
                      open_dialogs_.end());
  g_signal_handler_disconnect(dialog, response_id);
  g_signal_handler_disconnect(dialog, delete_id);
  g_main_loop_unref(run.loop);
  gtk_widget_hide(dialog);
  return run.response;
}

void GtkHost::CancelDialogs() {
  const std::vector<GtkWidget*> dialogs = open_dialogs_;
  for (GtkWidget* dialog : dialogs) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
}

// ---- Message boxes --------------------------------------------------------

MessageResult GtkHost::ShowMessageBox(const MessageBoxRequest& request) {
  // A box that could not be shown counts as closed: OK when OK is all it offers.
  MessageResult result =
      request.buttons == MessageButtons::kOk ? MessageResult::kOk : MessageResult::kCancel;
  main_.RunAndWait([&] { result = RunMessageBox(request); });
  return result;
}

MessageResult GtkHost::RunMessageBox(const MessageBoxRequest& request) {
  const bool ok_only = request.buttons == MessageButtons::kOk;
  TopLevel dialog(gtk_message_dialog_new(
      nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, MessageType(request.icon),
      ok_only ? GTK_BUTTONS_OK : GTK_BUTTONS_OK_CANCEL, "%s", ValidUtf8(request.text).c_str()));
  gtk_window_set_title(GTK_WINDOW(dialog.get()), ValidUtf8(request.caption).c_str());
  gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_OK);
  const int response = RunDialog(dialog.get(), request.owned_by_main_window);
  // Closing a box that only offers OK is answering OK.
  if (ok_only) return MessageResult::kOk;
  return response == GTK_RESPONSE_OK ? MessageResult::kOk : MessageResult::kCancel;
}

// ---- Open-file dialog -----------------------------------------------------

std::optional<std::vector<std::string>> GtkHost::OpenFiles(const OpenFileRequest& request) {
  std::optional<std::vector<std::string>> files;
  main_.RunAndWait([&] {
    // Files dropped on the window answer the import they started, once.
    if (request.photos) files = dropped_.Take(std::chrono::steady_clock::now());
    if (files) {
      if (!request.multiple) files->resize(1);
    } else {
      files = RunOpenFiles(request);
    }
  });
  return files;
}

bool GtkHost::AnswerWaiting() { return dropped_.Waiting(std::chrono::steady_clock::now()); }

std::optional<std::vector<std::string>> GtkHost::RunOpenFiles(const OpenFileRequest& request) {
  const std::string title = request.title.empty() ? "Open" : ValidUtf8(request.title);
  TopLevel dialog(gtk_file_chooser_dialog_new(title.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_OPEN,
                                              "_Cancel", GTK_RESPONSE_CANCEL, "_Open",
                                              GTK_RESPONSE_ACCEPT, nullptr));
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
  gtk_file_chooser_set_select_multiple(chooser, request.multiple);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  std::vector<DialogFilter> filters = ParseFileFilters(request.filter);
  // The program gives "*.*" as the initial name, which only says which files
  // to show; that matters here only when no filter is given.
  if (filters.empty() && request.initial_name.find_first_of("*?") != std::string::npos) {
    filters = ParseFileFilters(request.initial_name + "|" + request.initial_name + "|");
  }
  filters = WithDesktopFilters(std::move(filters), request.photos);
  for (const DialogFilter& entry : filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, ValidUtf8(entry.name).c_str());
    for (const std::string& pattern : entry.patterns) {
      gtk_file_filter_add_pattern(filter, ValidUtf8(pattern).c_str());
    }
    gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
  }
  if (last_open_folder_.empty()) last_open_folder_ = FirstOpenFolder();
  gtk_file_chooser_set_current_folder(chooser, last_open_folder_.c_str());
  gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_ACCEPT);

  if (RunDialog(dialog.get(), request.owned_by_main_window) != GTK_RESPONSE_ACCEPT) {
    return std::nullopt;
  }
  std::vector<std::string> files;
  GSList* names = gtk_file_chooser_get_filenames(chooser);
  for (GSList* name = names; name != nullptr; name = name->next) {
    if (name->data != nullptr) files.emplace_back(static_cast<const char*>(name->data));
  }
  g_slist_free_full(names, g_free);
  if (files.empty()) return std::nullopt;
  if (!request.multiple) files.resize(1);
  GOwnedString folder(gtk_file_chooser_get_current_folder(chooser));
  if (folder) last_open_folder_ = folder.get();
  return files;
}

// ---- Folder picker --------------------------------------------------------

std::optional<std::string> GtkHost::PickFolder(const FolderRequest& request) {
  std::optional<std::string> folder;
  main_.RunAndWait([&] { folder = RunPickFolder(request); });
  return folder;
}

std::optional<std::string> GtkHost::RunPickFolder(const FolderRequest& request) {
  const std::string title = request.title.empty() ? "Select Folder" : ValidUtf8(request.title);
  TopLevel dialog(gtk_file_chooser_dialog_new(
      title.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel", GTK_RESPONSE_CANCEL,
      "_Select", GTK_RESPONSE_ACCEPT, nullptr));
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
  gtk_file_chooser_set_local_only(chooser, TRUE);
  // A picker without a folder to show opens on "Recent", where Select stays
  // greyed out: it opens in the folder chosen last, else the home folder.
  std::string shown = request.initial_folder.empty() ? last_picked_folder_
                                                     : LocalPath(request.initial_folder);
  if (shown.empty() || !g_file_test(shown.c_str(), G_FILE_TEST_IS_DIR)) shown = g_get_home_dir();
  gtk_file_chooser_set_current_folder(chooser, shown.c_str());
  gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_ACCEPT);
  if (RunDialog(dialog.get(), /*modal=*/true) != GTK_RESPONSE_ACCEPT) return std::nullopt;
  // "Select" with nothing selected chooses the folder being shown.
  GOwnedString folder(gtk_file_chooser_get_filename(chooser));
  if (!folder) folder.reset(gtk_file_chooser_get_current_folder(chooser));
  if (!folder) return std::nullopt;
  last_picked_folder_ = folder.get();
  return std::string(folder.get());
}

}  // namespace lumireel::platform::gtk
