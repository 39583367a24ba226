// The desktop host's start, main loop and window.
#include "platform/gtk/gtk_host.h"

#include <cstdio>
#include <utility>

#include "platform/gtk/embedded_files.h"

namespace lumireel::platform::gtk {
namespace {

using Clock = std::chrono::steady_clock;

// How often the pointer is sampled while a worker follows it, and how long
// after the last question the sampling goes on.
constexpr unsigned kPointerSampleMs = 15;
constexpr std::chrono::milliseconds kPointerInterest{500};
constexpr int kReturnVirtualKey = 13;

std::string_view IconPng(int resource) {
  switch (resource) {
    case 130:
      return embedded::Icon130();
    case 136:
      return embedded::Icon136();
    case 137:
      return embedded::Icon137();
    case 138:
      return embedded::Icon138();
    default:
      return {};
  }
}

GObjectRef<GdkPixbuf> LoadIcon(int resource) {
  const std::string_view png = IconPng(resource);
  if (png.empty()) return {};
  GObjectRef<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", nullptr));
  if (!loader) return {};
  const bool written = gdk_pixbuf_loader_write(
      loader.get(), reinterpret_cast<const guchar*>(png.data()), png.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
  if (!written || !closed) return {};
  return GObjectRef<GdkPixbuf>::Share(gdk_pixbuf_loader_get_pixbuf(loader.get()));
}

Rect FrameOf(GtkWidget* window) {
  GdkRectangle frame{};
  gdk_window_get_frame_extents(gtk_widget_get_window(window), &frame);
  return Rect{frame.x, frame.y, frame.width, frame.height};
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  GOwnedString valid(g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size())));
  return std::string(valid.get());
}

std::unique_ptr<DesktopHost> OpenDesktopHost(std::string* error) {
  if (g_get_prgname() == nullptr) {
    g_set_prgname("lumireel");
    g_set_application_name("Lumireel");
  }
  // Placing a window and reading the pointer anywhere on the screen need X;
  // under Wayland the X server of the session (XWayland) gives both.
  if (gdk_display_get_default() == nullptr) gdk_set_allowed_backends("x11,*");
  if (!gtk_init_check(nullptr, nullptr)) {
    if (error != nullptr) *error = "cannot open the display";
    return nullptr;
  }
  return std::make_unique<GtkHost>();
}

GtkHost::GtkHost() : loop_(g_main_loop_new(nullptr, FALSE)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(window_);
  // No frame: the movie draws its own title bar and asks the program to
  // move, size and close the window. It still shows in the task bar.
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_skip_taskbar_hint(window, FALSE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_NORMAL);
  gtk_window_set_default_size(window, outer_.w, outer_.h);
  gtk_widget_add_events(window_, GDK_STRUCTURE_MASK);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(&GtkHost::OnKeyPress), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkHost::OnDelete), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(&GtkHost::OnConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(&GtkHost::OnWindowState), this);

  view_ = CreateView();
  gtk_widget_add_events(view_, GDK_POINTER_MOTION_MASK);
  g_signal_connect(view_, "motion-notify-event", G_CALLBACK(&GtkHost::OnPointerMotion), this);
  g_signal_connect(view_, "drag-data-received", G_CALLBACK(&GtkHost::OnDragDataReceived), this);
  g_signal_connect(view_, "drag-drop", G_CALLBACK(&GtkHost::OnDragDrop), this);
  g_signal_connect(view_, "drag-leave", G_CALLBACK(&GtkHost::OnDragLeave), this);
  gtk_container_add(GTK_CONTAINER(window_), view_);
  gtk_widget_show(view_);

  const Size screen = QueryScreenSize();
  std::lock_guard lock(state_mu_);
  screen_ = screen;
}

GtkHost::~GtkHost() {
  main_.Close();
  CancelDialogs();
  // The pointer's sampling timer and the check of a drag that left.
  while (g_source_remove_by_user_data(this)) {
  }
  WebKitUserContentManager* manager =
      webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view_));
  g_signal_handlers_disconnect_by_data(manager, this);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(window_, this);
  for (PendingRequest& request : requests_) {
    Answer(request.context.get(), request.reply, std::nullopt);
    webkit_script_message_reply_unref(request.reply);
  }
  gtk_widget_destroy(window_);
  g_main_loop_unref(loop_);
}

// ---- Main loop ------------------------------------------------------------

void GtkHost::OnMain(std::function<void()> task) {
  if (main_.OnMainThread()) {
    task();
  } else {
    main_.Post(std::move(task));
  }
}

void GtkHost::Post(std::function<void()> task) { main_.Post(std::move(task)); }

int GtkHost::RunModal() {
  gtk_widget_show_all(window_);
  gtk_widget_grab_focus(view_);
  bool quit;
  {
    std::lock_guard lock(state_mu_);
    quit = quit_requested_;
  }
  if (!quit) g_main_loop_run(loop_);
  // From here on nothing handed over from a worker runs any more, and the
  // dialogs workers ask for are cancelled at once.
  main_.Close();
  gtk_widget_hide(window_);
  gdk_display_flush(gtk_widget_get_display(window_));
  std::lock_guard lock(state_mu_);
  return exit_code_;
}

void GtkHost::PostQuit(int exit_code) {
  {
    std::lock_guard lock(state_mu_);
    if (quit_requested_) return;
    quit_requested_ = true;
    exit_code_ = exit_code;
  }
  // A dialog open at this moment runs a loop inside the main loop; it is
  // cancelled so that the main loop can end.
  OnMain([this] { CancelDialogs(); });
  g_main_loop_quit(loop_);
}

// ---- Placement and state --------------------------------------------------

Size GtkHost::QueryScreenSize() {
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  GdkRectangle geometry{};
  if (monitor != nullptr) {
    gdk_monitor_get_geometry(monitor, &geometry);
  } else {
    // No monitor reported (some virtual servers): the whole screen.
    gdk_window_get_geometry(gdk_screen_get_root_window(gdk_display_get_default_screen(display)),
                            nullptr, nullptr, &geometry.width, &geometry.height);
  }
  return Size{geometry.width, geometry.height};
}

Size GtkHost::ScreenSize() {
  if (main_.OnMainThread()) {
    const Size screen = QueryScreenSize();
    std::lock_guard lock(state_mu_);
    screen_ = screen;
  }
  std::lock_guard lock(state_mu_);
  return screen_;
}

Rect GtkHost::OuterRect() {
  std::lock_guard lock(state_mu_);
  return outer_;
}

void GtkHost::MoveWindow(const Rect& rect) {
  const Rect target{rect.x, rect.y, std::max(rect.w, 1), std::max(rect.h, 1)};
  {
    // Taken as the window's rectangle at once, so that the caller reads back
    // what it asked for; the window system's answer follows as a configure.
    std::lock_guard lock(state_mu_);
    outer_ = target;
  }
  OnMain([this, target] {
    gtk_window_move(GTK_WINDOW(window_), target.x, target.y);
    gtk_window_resize(GTK_WINDOW(window_), target.w, target.h);
  });
}

void GtkHost::MoveControl(const Rect& rect) {
  // The movie always fills the window; the program only ever asks for that.
  std::lock_guard lock(state_mu_);
  control_ = rect;
}

void GtkHost::Show(ShowState state) {
  {
    std::lock_guard lock(state_mu_);
    state_ = state;
  }
  OnMain([this, state] { ApplyShow(state); });
}

void GtkHost::ApplyShow(ShowState state) {
  GtkWindow* window = GTK_WINDOW(window_);
  switch (state) {
    case ShowState::kMaximized:
      gtk_window_maximize(window);
      gtk_window_present(window);
      break;
    case ShowState::kNormal:
      gtk_window_unmaximize(window);
      gtk_window_deiconify(window);
      gtk_window_present(window);
      break;
    case ShowState::kMinimized:
      gtk_window_iconify(window);
      break;
  }
}

ShowState GtkHost::State() {
  std::lock_guard lock(state_mu_);
  return state_;
}

void GtkHost::SetTitle(const std::string& title) {
  OnMain([this, title = ValidUtf8(title)] {
    gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  });
}

void GtkHost::SetIcon(int resource, bool large) {
  OnMain([this, resource, large] {
    GObjectRef<GdkPixbuf> icon = LoadIcon(resource);
    if (!icon) return;
    (large ? large_icon_ : small_icon_) = std::move(icon);
    ApplyIcons();
  });
}

void GtkHost::ApplyIcons() {
  GList* icons = nullptr;
  if (large_icon_) icons = g_list_append(icons, large_icon_.get());
  if (small_icon_) icons = g_list_append(icons, small_icon_.get());
  gtk_window_set_icon_list(GTK_WINDOW(window_), icons);
  g_list_free(icons);
}

gboolean GtkHost::OnConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  const Rect frame = FrameOf(widget);
  std::lock_guard lock(host->state_mu_);
  host->outer_ = frame;
  return FALSE;
}

gboolean GtkHost::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  const GdkWindowState now = event->new_window_state;
  ShowState state = ShowState::kNormal;
  if (now & GDK_WINDOW_STATE_ICONIFIED) {
    state = ShowState::kMinimized;
  } else if (now & GDK_WINDOW_STATE_MAXIMIZED) {
    state = ShowState::kMaximized;
  }
  std::lock_guard lock(host->state_mu_);
  host->state_ = state;
  return FALSE;
}

// ---- Pointer --------------------------------------------------------------

void GtkHost::SamplePointer() {
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
  if (pointer == nullptr) return;
  int x = 0;
  int y = 0;
  gdk_device_get_position(pointer, nullptr, &x, &y);
  std::lock_guard lock(state_mu_);
  cursor_ = Point{x, y};
}

Point GtkHost::CursorPosition() {
  if (main_.OnMainThread()) {
    SamplePointer();
  } else {
    WantPointer();
  }
  std::lock_guard lock(state_mu_);
  return cursor_;
}

// A worker follows the pointer: the main thread samples it while workers
// keep asking, also when the pointer is outside the window.
void GtkHost::WantPointer() {
  std::lock_guard lock(state_mu_);
  cursor_wanted_ = Clock::now();
  if (pointer_timer_) return;
  pointer_timer_ = true;
  main_.Post([this] {
    SamplePointer();
    g_timeout_add(kPointerSampleMs, &GtkHost::OnPointerTimer, this);
  });
}

gboolean GtkHost::OnPointerTimer(gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  host->SamplePointer();
  std::lock_guard lock(host->state_mu_);
  if (Clock::now() - host->cursor_wanted_ < kPointerInterest) return G_SOURCE_CONTINUE;
  host->pointer_timer_ = false;
  return G_SOURCE_REMOVE;
}

gboolean GtkHost::OnPointerMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  std::lock_guard lock(host->state_mu_);
  host->cursor_ = Point{static_cast<int>(event->x_root), static_cast<int>(event->y_root)};
  return FALSE;
}

// ---- Files dropped on the window ------------------------------------------

// The web view asks for a drag's data while the drag moves over it, once for
// each kind it offers; the file list is the one that counts.
void GtkHost::OnDragDataReceived(GtkWidget*, GdkDragContext* context, gint, gint,
                                 GtkSelectionData* data, guint, guint, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  if (data == nullptr ||
      gtk_selection_data_get_target(data) != gdk_atom_intern_static_string("text/uri-list")) {
    return;
  }
  std::vector<std::string> uris;
  if (gtk_selection_data_get_length(data) >= 0) {
    gchar** list = gtk_selection_data_get_uris(data);
    for (gchar** uri = list; uri != nullptr && *uri != nullptr; ++uri) uris.emplace_back(*uri);
    g_strfreev(list);
  }
  if (host->drag_.get() != context) host->drag_ = GObjectRef<GdkDragContext>::Share(context);
  host->dropped_.Offered(context, LocalFilesOf(uris));
}

gboolean GtkHost::OnDragDrop(GtkWidget*, GdkDragContext* context, gint, gint, guint,
                             gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  // The view agrees to a drop only where the movie takes it (the photo grid
  // of an open folder, while no import runs); a drop it refuses starts no
  // import and must not answer a dialog opened later.
  if (gdk_drag_context_get_selected_action(context) == 0) {
    host->dropped_.Left(context);
    return FALSE;
  }
  if (host->drag_.get() != context) host->drag_ = GObjectRef<GdkDragContext>::Share(context);
  host->dropped_.Dropped(context, Clock::now());
  return FALSE;  // the view hands the drop to the movie
}

// GTK reports a drop's leave just before the drop itself; whether the drag
// was dropped is known once the events at hand have been handled.
void GtkHost::OnDragLeave(GtkWidget*, GdkDragContext* context, guint, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  const bool pending = static_cast<bool>(host->left_drag_);
  host->left_drag_ = GObjectRef<GdkDragContext>::Share(context);
  if (!pending) g_idle_add(&GtkHost::OnDragLeft, host);
}

gboolean GtkHost::OnDragLeft(gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  host->dropped_.Left(host->left_drag_.get());
  host->left_drag_.reset();
  return G_SOURCE_REMOVE;
}

// ---- Keys and closing -----------------------------------------------------

gboolean GtkHost::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  // The Return the window itself hands to the movie passes through.
  if (event->send_event) return FALSE;
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      host->FireKey(WindowKey::kReturn);
      return TRUE;
    default:
      // Escape among them: the movie closes its open dialog or viewer with
      // it, and the program ends only through the movie's close button or
      // the window being closed, never by a key that is pressed to go back.
      return FALSE;
  }
}

void GtkHost::SendKeyToControl(int virtual_key) {
  if (virtual_key != kReturnVirtualKey) return;
  OnMain([this] {
    GdkWindow* target = gtk_widget_get_window(view_);
    if (target == nullptr) return;
    GdkDisplay* display = gtk_widget_get_display(view_);
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(target));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = GDK_KEY_Return;
    GdkKeymapKey* keys = nullptr;
    int count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), GDK_KEY_Return,
                                          &keys, &count) &&
        count > 0) {
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
      event->key.group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    gtk_widget_event(view_, event);
    gdk_event_free(event);
  });
}

void GtkHost::OpenWithDesktop(const std::string& path) {
  OnMain([this, path] {
    GError* raw_error = nullptr;
    const GOwnedString uri(g_filename_to_uri(path.c_str(), nullptr, &raw_error));
    if (uri) gtk_show_uri_on_window(GTK_WINDOW(window_), uri.get(), GDK_CURRENT_TIME, &raw_error);
    const GErrorPtr error(raw_error);
    if (error) std::fprintf(stderr, "lumireel: cannot open %s: %s\n", path.c_str(), error->message);
  });
}

gboolean GtkHost::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  // The program decides whether the window closes.
  static_cast<GtkHost*>(self)->FireClose();
  return TRUE;
}

}  // namespace lumireel::platform::gtk
