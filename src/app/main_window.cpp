#include "app/main_window.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "platform/dialogs.h"

namespace lumireel {
namespace {

constexpr char kMovieFile[] = "quillmarZEL.snt";
constexpr char kTitle[] = "Quillmar Lumireel";
constexpr int kReturnKey = 13;
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 670;
constexpr std::chrono::milliseconds kTrackingStep{50};
// With pauses removed (pace 0) the tracking loop still waits this long
// between turns, so that it never keeps a processor busy.
constexpr std::chrono::milliseconds kShortestTrackingStep{10};

// What the desktop may be asked to open for the movie: a folder, or a page
// (a regular file named *.html or *.htm), with links resolved so that what
// opens is what was checked. Anything else, a program or a script above
// all, is refused: the movie must not start programs through the desktop.
std::optional<std::string> OpenableLocation(const std::string& path) {
  if (path.empty()) return std::nullopt;
  char resolved[PATH_MAX];
  if (realpath(NativePath(path).c_str(), resolved) == nullptr) return std::nullopt;
  struct stat info {};
  if (stat(resolved, &info) != 0) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return std::string(resolved);
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  const std::string full(resolved);
  std::string name = full.substr(full.find_last_of('/') + 1);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* page : {".html", ".htm"}) {
    const std::string ending(page);
    if (name.size() > ending.size() && name.ends_with(ending)) return full;
  }
  return std::nullopt;
}

}  // namespace

CVellumcast2Dlg::CVellumcast2Dlg(platform::Window& window, platform::MovieControl& control,
                                 platform::Dialogs& dialogs, Pacing& pacing)
    : window_(window), dialogs_(dialogs), pacing_(pacing), flash_(control) {
  window_.SetKeyHandler([this](platform::WindowKey key) { OnKey(key); });
  window_.SetCloseHandler([this] { window_.PostQuit(0); });
}

CVellumcast2Dlg::~CVellumcast2Dlg() {
  drag_active_ = false;
  resize_active_ = false;
  ++tracking_generation_;
  if (tracker_.joinable()) tracker_.join();
}

void CVellumcast2Dlg::OnInitDialog(const std::string& root_path) {
  // The large icon is 138; the small one is set three times so that 137 is
  // the one in effect.
  window_.SetIcon(138, true);
  window_.SetIcon(130, false);
  window_.SetIcon(136, false);
  window_.SetIcon(137, false);

  root_path_ = root_path;
  albums_path_ = root_path_ + "\\MyAlbums";
  tmp_path_ = root_path_ + "\\tmp";
  files_ = std::make_unique<FileCommands>(flash_, dialogs_, root_path_);
  dispatcher_ = std::make_unique<CommandDispatcher>(dialogs_, *files_);
  dispatcher_->SetWindowCommands(this);
  library_ = std::make_unique<AlbumLibrary>(flash_, dialogs_, root_path_, albums_path_);
  dispatcher_->SetLibraryCommands(library_.get());
  flash_.SetFlashCallHandler([this](const std::string& request) { OnFlashCall(request); });

  // The scratch folder is emptied but never created; failures are ignored.
  EmptyFolder(tmp_path_);

  flash_.Movie(root_path_ + "\\" + kMovieFile);
  PlaceMainWindow();
  CallMovie(flash_, SetGlobPathMessage(root_path_));
}

void CVellumcast2Dlg::PlaceMainWindow() {
  const platform::Size screen = window_.ScreenSize();
  window_.MoveWindow({0, 30, screen.w, screen.h - 60});
  FitMovieToWindow();
  window_.SetTitle(kTitle);
  flash_.DisableLocalSecurity();
}

void CVellumcast2Dlg::FitMovieToWindow() {
  const platform::Rect outer = window_.OuterRect();
  window_.MoveControl({0, 0, outer.w, outer.h});
}

void CVellumcast2Dlg::FullSkreenWindow() {
  window_.Show(platform::ShowState::kMaximized);
  FitMovieToWindow();
}

void CVellumcast2Dlg::LastSizeWindow() {
  window_.Show(platform::ShowState::kNormal);
  FitMovieToWindow();
}

void CVellumcast2Dlg::OpenLocation(const std::string& path) {
  const std::optional<std::string> target = OpenableLocation(path);
  if (!target) {
    std::fprintf(stderr, "lumireel: not opened, neither a folder nor a page: %s\n", path.c_str());
    return;
  }
  window_.OpenWithDesktop(*target);
}

void CVellumcast2Dlg::HideWindow() { window_.Show(platform::ShowState::kMinimized); }

void CVellumcast2Dlg::StartDragWindow() {
  drag_active_ = true;
  resize_active_ = false;
  StartTracking();
}

void CVellumcast2Dlg::StartResizeWindow() {
  drag_active_ = false;
  resize_active_ = true;
  StartTracking();
}

void CVellumcast2Dlg::StopDragWindow() { drag_active_ = false; }

void CVellumcast2Dlg::StopResizeWindow() {
  drag_active_ = false;
  resize_active_ = false;
}

void CVellumcast2Dlg::CloseWindow() { window_.PostQuit(0); }

void CVellumcast2Dlg::StartTracking() {
  // The window's rectangle and the pointer are read when the command
  // arrives, so the movement is measured from where the drag began.
  const platform::Rect start = window_.OuterRect();
  const platform::Point origin = window_.CursorPosition();
  // One tracker moves the window: the earlier one sees that its generation
  // has passed and ends within a step (it never waits for this thread), and
  // is joined before the new one starts.
  const std::uint64_t generation = ++tracking_generation_;
  if (tracker_.joinable()) tracker_.join();
  tracker_ = std::thread(
      [this, start, origin, generation] { DragResizeWorker(start, origin, generation); });
}

void CVellumcast2Dlg::DragResizeWorker(platform::Rect start, platform::Point origin,
                                       std::uint64_t generation) {
  const auto current = [this, generation] { return tracking_generation_ == generation; };
  const auto step = [this] {
    pacing_.Pause(kTrackingStep);
    if (pacing_.Scale(kTrackingStep) < kShortestTrackingStep) {
      std::this_thread::sleep_for(kShortestTrackingStep);
    }
  };
  while (drag_active_ && current()) {
    const platform::Point p = window_.CursorPosition();
    window_.MoveWindow({start.x + p.x - origin.x, start.y + p.y - origin.y, start.w, start.h});
    step();
  }
  while (resize_active_ && current()) {
    const platform::Point p = window_.CursorPosition();
    const int width = p.x - start.x;
    const int height = p.y - start.y;
    // Below the minimum size nothing changes; the loop waits a step before
    // it looks at the pointer again.
    if (width >= kMinimumWidth && height >= kMinimumHeight) {
      window_.MoveWindow({start.x, start.y, width, height});
      FitMovieToWindow();
    }
    step();
  }
}

void CVellumcast2Dlg::OnKey(platform::WindowKey key) {
  switch (key) {
    case platform::WindowKey::kReturn:
      // Enter goes to the movie instead of closing the window.
      window_.SendKeyToControl(kReturnKey);
      break;
    case platform::WindowKey::kEscape:
      window_.PostQuit(0);
      break;
  }
}

}  // namespace lumireel
