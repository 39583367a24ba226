// GtkHost: the desktop host (see desktop_host.h). The window part is in
// gtk_host.cpp, the movie control in gtk_movie.cpp, the dialogs in
// gtk_dialogs.cpp.
//
// Everything GTK and WebKit is touched on the main thread only. Calls from
// other threads either read state that the main thread keeps up to date
// (placement, show state, screen size, pointer position) or are handed to
// the main thread through one queue, in order; dialogs asked for by a worker
// run there while the worker waits.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gtk/bridge_gate.h"
#include "platform/gtk/desktop_host.h"
#include "platform/gtk/dropped_files.h"
#include "platform/gtk/glib_handles.h"
#include "platform/gtk/main_thread.h"
#include "platform/gtk/movie_location.h"

namespace lumireel::platform::gtk {

class GtkHost final : public DesktopHost {
 public:
  // REQUIRES: GTK is initialised; the calling thread becomes the main thread.
  GtkHost();
  ~GtkHost() override;
  GtkHost(const GtkHost&) = delete;
  GtkHost& operator=(const GtkHost&) = delete;

  // MovieControl.
  void SetMovie(const std::string& path) override;
  std::string CallFunction(const std::string& request) override;
  void SetReturnValue(const std::string& reply) override;
  void DisableLocalSecurity() override;

  // Window.
  int RunModal() override;
  void Post(std::function<void()> task) override;
  Size ScreenSize() override;
  Rect OuterRect() override;
  void MoveWindow(const Rect& rect) override;
  void MoveControl(const Rect& rect) override;
  void Show(ShowState state) override;
  ShowState State() override;
  void SetTitle(const std::string& title) override;
  void SetIcon(int resource, bool large) override;
  Point CursorPosition() override;
  void SendKeyToControl(int virtual_key) override;
  void OpenWithDesktop(const std::string& path) override;
  void PostQuit(int exit_code) override;

  // Dialogs.
  MessageResult ShowMessageBox(const MessageBoxRequest& request) override;
  std::optional<std::vector<std::string>> OpenFiles(const OpenFileRequest& request) override;
  std::optional<std::string> PickFolder(const FolderRequest& request) override;
  // True while files dropped on the window wait to answer the next open-file
  // dialog for photos.
  bool AnswerWaiting() override;

 private:
  // ---- Window (gtk_host.cpp) ----
  // Runs `task` at once on the main thread, else hands it over in order.
  void OnMain(std::function<void()> task);
  void ApplyShow(ShowState state);
  void ApplyIcons();
  Size QueryScreenSize();
  void SamplePointer();
  void WantPointer();
  void CancelDialogs();

  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);
  static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static gboolean OnPointerMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
  static gboolean OnPointerTimer(gpointer self);
  // Files dropped on the web view; each runs before the view's own handler,
  // which goes on to hand the drop to the movie.
  static void OnDragDataReceived(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                                 GtkSelectionData* data, guint info, guint time, gpointer self);
  static gboolean OnDragDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                             guint time, gpointer self);
  static void OnDragLeave(GtkWidget* widget, GdkDragContext* context, guint time, gpointer self);
  static gboolean OnDragLeft(gpointer self);

  // ---- Movie control (gtk_movie.cpp) ----
  enum class MovieState { kNone, kLoading, kReady };
  // A request from the movie waiting for its turn, with the promise to answer.
  struct PendingRequest {
    std::string request;
    GObjectRef<JSCContext> context;
    WebKitScriptMessageReply* reply;  // a reference of its own
  };

  GtkWidget* CreateView();
  bool FromMoviePage() const;
  bool AllowsNavigation(const std::string& uri) const;
  void DeliverCall(const std::string& call);
  void RunCall(const std::string& call);
  void HandleScriptMessage(JSCValue* message, WebKitScriptMessageReply* reply);
  void HandleRequests();
  static void Answer(JSCContext* context, WebKitScriptMessageReply* reply,
                     const std::optional<std::string>& text);

  static gboolean OnScriptMessage(WebKitUserContentManager* manager, JSCValue* message,
                                  WebKitScriptMessageReply* reply, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static void OnCallDone(GObject* view, GAsyncResult* result, gpointer unused);
  static void OnWorkspaceRequest(WebKitURISchemeRequest* request, gpointer self);

  // ---- Dialogs (gtk_dialogs.cpp) ----
  // Runs a dialog in a loop of its own until it is answered; modal dialogs
  // keep input from the main window meanwhile. Returns the GTK response.
  int RunDialog(GtkWidget* dialog, bool modal);
  MessageResult RunMessageBox(const MessageBoxRequest& request);
  std::optional<std::vector<std::string>> RunOpenFiles(const OpenFileRequest& request);
  std::optional<std::string> RunPickFolder(const FolderRequest& request);

  MainThreadQueue main_;
  GMainLoop* loop_;
  GtkWidget* window_ = nullptr;  // destroyed by the destructor
  GtkWidget* view_ = nullptr;    // the web view, a child of window_

  // What other threads read of the window; kept up to date on the main thread.
  mutable std::mutex state_mu_;
  Rect outer_{0, 0, 800, 600};                           // guarded by state_mu_
  Rect control_;                                         // guarded by state_mu_
  ShowState state_ = ShowState::kNormal;                 // guarded by state_mu_
  Size screen_;                                          // guarded by state_mu_
  Point cursor_;                                         // guarded by state_mu_
  std::chrono::steady_clock::time_point cursor_wanted_;  // guarded by state_mu_
  bool pointer_timer_ = false;                           // guarded by state_mu_
  bool quit_requested_ = false;                          // guarded by state_mu_
  int exit_code_ = 0;                                    // guarded by state_mu_

  // Main thread only.
  GObjectRef<GdkPixbuf> large_icon_;
  GObjectRef<GdkPixbuf> small_icon_;
  std::vector<GtkWidget*> open_dialogs_;
  std::string last_open_folder_;
  std::string last_picked_folder_;  // the folder picker's last choice
  // The last drag seen over the view, kept so that `dropped_` follows it by
  // an address no other drag can take; and the one that left, until a drop
  // that follows the leave would have been reported.
  GObjectRef<GdkDragContext> drag_;
  GObjectRef<GdkDragContext> left_drag_;

  // Read by workers too (it has a lock of its own).
  DroppedFiles dropped_;

  // The movie; main thread only.
  MovieState movie_state_ = MovieState::kNone;
  std::string movie_uri_;  // the page address of the movie (kWorkspaceUri), empty without one
  LocalFilePolicy local_files_;
  BridgeGate gate_;
  std::deque<std::string> pending_calls_;  // calls waiting for the movie to load
  std::deque<PendingRequest> requests_;    // requests waiting for the one being handled
  bool handling_request_ = false;
  std::optional<std::string> reply_;  // SetReturnValue of the request being handled
};

}  // namespace lumireel::platform::gtk
