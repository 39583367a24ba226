// CVellumcast2Dlg: the single main window. It holds the movie control,
// fixes the workspace paths at initialisation, loads the interface movie,
// places itself, tells the movie where the workspace lives, and performs the
// window commands the movie sends (it has no frame of its own: the movie
// draws the title bar and asks the window to move, resize and close).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "app/shockwave_flash.h"
#include "bridge/command_handlers.h"
#include "bridge/dispatcher.h"
#include "bridge/file_commands.h"
#include "library/album_library.h"
#include "platform/window.h"

namespace lumireel {

class Pacing;
namespace platform {
class Dialogs;
}

// The program's icon resources (shipped as PNG files).
inline constexpr int kIconResources[] = {130, 136, 137, 138};

class CVellumcast2Dlg : public WindowCommands {
 public:
  CVellumcast2Dlg(platform::Window& window, platform::MovieControl& control,
                  platform::Dialogs& dialogs, Pacing& pacing);
  ~CVellumcast2Dlg() override;

  // Fixes the paths, empties tmp, loads the movie, places the window and
  // sends setGlobPath. `root_path` is the current folder as the platform
  // returned it. REQUIRES: main thread, once, before any request.
  void OnInitDialog(const std::string& root_path);

  const std::string& rootPath() const { return root_path_; }
  const std::string& albumsPath() const { return albums_path_; }
  const std::string& tmpPath() const { return tmp_path_; }
  CShockwaveFlash& flash() { return flash_; }
  CommandDispatcher& dispatcher() { return *dispatcher_; }
  platform::Dialogs& dialogs() { return dialogs_; }

  // Handles a request from the movie (the control's FlashCall event).
  void OnFlashCall(const std::string& request) { dispatcher_->OnFlashCall(request); }

  void PlaceMainWindow();
  void FitMovieToWindow();

  // Window commands.
  void FullSkreenWindow() override;
  void LastSizeWindow() override;
  void HideWindow() override;
  void StartDragWindow() override;
  void StopDragWindow() override;
  void StartResizeWindow() override;
  void StopResizeWindow() override;
  void CloseWindow() override;
  void OpenLocation(const std::string& path) override;

  bool drag_active() const { return drag_active_; }
  bool resize_active() const { return resize_active_; }

 private:
  // Follows the pointer while dragActive, then resizes while resizeActive;
  // ends early once a later start command has made `generation` old.
  void DragResizeWorker(platform::Rect start, platform::Point origin, std::uint64_t generation);
  void StartTracking();
  void OnKey(platform::WindowKey key);

  platform::Window& window_;
  platform::Dialogs& dialogs_;
  Pacing& pacing_;
  CShockwaveFlash flash_;
  std::string root_path_;
  std::string albums_path_;
  std::string tmp_path_;
  std::unique_ptr<FileCommands> files_;
  std::unique_ptr<AlbumLibrary> library_;
  std::unique_ptr<CommandDispatcher> dispatcher_;

  std::atomic<bool> drag_active_{false};
  std::atomic<bool> resize_active_{false};
  // Counts the start commands; the tracker of an older count stops.
  std::atomic<std::uint64_t> tracking_generation_{0};
  std::thread tracker_;  // REQUIRES: started and joined on the main thread only
};

}  // namespace lumireel
