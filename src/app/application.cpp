#include "app/application.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/jobs.h"
#include "app/main_window.h"
#include "bridge/file_utils.h"
#include "imaging/photo_commands.h"
#include "publish/publish_local.h"
#include "upload/upload_commands.h"

namespace lumireel {

CVellumcast2App::CVellumcast2App(platform::Window& window, platform::MovieControl& control,
                                 platform::Dialogs& dialogs, Pacing& pacing, Jobs& jobs)
    : window_(window), control_(control), dialogs_(dialogs), pacing_(pacing), jobs_(jobs) {}

std::string CurrentFolder(std::string* error) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::current_path(ec);
  if (ec) {
    if (error != nullptr) *error = ec.message();
    return {};
  }
  return folder.string();
}

int CVellumcast2App::InitInstance() {
  // Network start-up: writes to a closed pipe must not end the process.
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  const std::string root = CurrentFolder(&error);
  if (root.empty()) {
    std::fprintf(stderr, "lumireel: cannot read the workspace folder (the current folder): %s\n",
                 error.c_str());
    return 1;
  }

  // What writes cut short by a crash left beside the album files and the
  // catalogue is swept away while the movie loads: on a catalogue of
  // thousands of albums the walk takes longer than the whole first screen.
  // Files this run writes meanwhile are newer than the moment taken here, in
  // the clock the file system stamps changes with, and are left alone.
  struct timespec started {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &started);
  jobs_.tidy.Submit([root, started] {
    RemoveLeftovers(JoinPath(root, "MyAlbums"), started);
    RemoveLeftovers(JoinPath(root, "quillmaralbumsettings"), started);
  });

  // Declared before the window, so it outlives the dispatcher that calls it.
  PhotoCommandHandler photos(control_, dialogs_, pacing_, jobs_.import, jobs_.edit, root);
  PublishCommandHandler publisher(control_, dialogs_, pacing_, jobs_.publish, root,
                                  &jobs_.published);
  UploadCommandHandler uploads(control_, jobs_.publish, root, jobs_.published, passwords_);
  CVellumcast2Dlg dialog(window_, control_, dialogs_, pacing_);
  dialog.OnInitDialog(root);
  dialog.dispatcher().SetPhotoCommands(&photos);
  dialog.dispatcher().SetPublishCommands(&publisher);
  dialog.dispatcher().SetUploadCommands(&uploads);
  return window_.RunModal();
}

}  // namespace lumireel
