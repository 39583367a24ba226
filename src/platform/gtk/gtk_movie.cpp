// The desktop host's movie control: a WebKitGTK web view that plays the
// interface movie, and the bridge between the movie and the program.
//
// The movie is an HTML page read from the movie file and shown with the
// workspace root, as the program's own scheme serves it, as its address, so
// that it shows workspace files by relative paths. Every load of the page
// (navigations, scripts, styles, images) goes through that scheme's handler,
// which serves only files at or below the root once links are resolved; the
// content policy admits no other scheme for a load, and the page has no
// frames. New windows, downloads and remote content are refused. The bridge
// (ui/bridge/lumireel-bridge.js) is placed into the page's top frame and reaches the program
// through the script message handler "lumireel"; see that file for the messages.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/gtk/embedded_files.h"
#include "platform/gtk/gtk_host.h"

namespace lumireel::platform::gtk {
namespace {

constexpr char kMessageHandler[] = "lumireel";

// What the page may load besides itself: workspace files through the
// program's scheme, inline data and inline scripts and styles; never a
// file: address, anything from a network, or a frame (a frame of the page's
// own origin could reach the bridge through its parent).
constexpr char kContentSecurityPolicy[] =
    "default-src lumireel: data: blob: 'unsafe-inline'; object-src 'none'; base-uri lumireel:; "
    "form-action 'none'; frame-src 'none'; child-src 'none'";

// The context-menu entries that edit or copy; the others (back, reload, open
// or download a link or an image, ...) would leave the movie.
bool IsEditingAction(WebKitContextMenuAction action) {
  switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_COPY:
    case WEBKIT_CONTEXT_MENU_ACTION_CUT:
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE_AS_PLAIN_TEXT:
    case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
    case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
    case WEBKIT_CONTEXT_MENU_ACTION_INPUT_METHODS:
    case WEBKIT_CONTEXT_MENU_ACTION_UNICODE:
    case WEBKIT_CONTEXT_MENU_ACTION_INSERT_EMOJI:
    case WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS:
    case WEBKIT_CONTEXT_MENU_ACTION_NO_GUESSES_FOUND:
    case WEBKIT_CONTEXT_MENU_ACTION_IGNORE_SPELLING:
    case WEBKIT_CONTEXT_MENU_ACTION_LEARN_SPELLING:
    case WEBKIT_CONTEXT_MENU_ACTION_IGNORE_GRAMMAR:
      return true;
    default:
      return false;
  }
}

// The text of a string property of a message object, if it has one.
std::optional<std::string> StringProperty(JSCValue* object, const char* name) {
  if (!jsc_value_object_has_property(object, name)) return std::nullopt;
  GObjectRef<JSCValue> value(jsc_value_object_get_property(object, name));
  if (!value || !jsc_value_is_string(value.get())) return std::nullopt;
  GOwnedString text(jsc_value_to_string(value.get()));
  return text ? std::optional<std::string>(text.get()) : std::nullopt;
}

std::optional<std::string> StringAt(JSCValue* array, unsigned index) {
  GObjectRef<JSCValue> value(jsc_value_object_get_property_at_index(array, index));
  if (!value || !jsc_value_is_string(value.get())) return std::nullopt;
  GOwnedString text(jsc_value_to_string(value.get()));
  return text ? std::optional<std::string>(text.get()) : std::nullopt;
}

// The movie file's text; nullopt when it is not a readable regular file (a
// pipe or a device would never end).
std::optional<std::string> ReadMovie(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  char* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return std::nullopt;
  GOwnedString owner(contents);
  return std::string(contents, length);
}

}  // namespace

// Serves a workspace file to the page, or refuses it as not found.
void GtkHost::OnWorkspaceRequest(WebKitURISchemeRequest* request, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  const std::optional<std::string> file =
      uri != nullptr ? host->local_files_.WorkspaceFile(uri) : std::nullopt;
  const std::optional<std::string> bytes = file ? ReadMovie(*file) : std::nullopt;
  if (!bytes) {
    GErrorPtr error(
        g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not a file of the workspace"));
    webkit_uri_scheme_request_finish_error(request, error.get());
    return;
  }
  GOwnedString type(g_content_type_guess(
      file->c_str(), reinterpret_cast<const guchar*>(bytes->data()), bytes->size(), nullptr));
  GOwnedString mime(g_content_type_get_mime_type(type.get()));
  GBytesPtr data(g_bytes_new(bytes->data(), bytes->size()));
  GObjectRef<GInputStream> stream(g_memory_input_stream_new_from_bytes(data.get()));
  webkit_uri_scheme_request_finish(request, stream.get(), static_cast<gint64>(bytes->size()),
                                   mime ? mime.get() : "application/octet-stream");
}

GtkWidget* GtkHost::CreateView() {
  // A context of the host's own, so that its scheme is registered once.
  GObjectRef<WebKitWebContext> context(webkit_web_context_new());
  webkit_web_context_register_uri_scheme(context.get(), kWorkspaceScheme,
                                         &GtkHost::OnWorkspaceRequest, this, nullptr);

  GObjectRef<WebKitUserContentManager> manager(webkit_user_content_manager_new());
  // Connected before the handler is registered, so that no message is missed.
  g_signal_connect(manager.get(), "script-message-with-reply-received::lumireel",
                   G_CALLBACK(&GtkHost::OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler_with_reply(manager.get(),
                                                                         kMessageHandler, nullptr);
  const std::string bridge(embedded::BridgeScript());
  WebKitUserScript* script =
      webkit_user_script_new(bridge.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(manager.get(), script);
  webkit_user_script_unref(script);

  GObjectRef<WebKitSettings> settings(webkit_settings_new());
  webkit_settings_set_enable_javascript(settings.get(), TRUE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings.get(), FALSE);
  webkit_settings_set_allow_file_access_from_file_urls(settings.get(), FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings.get(), FALSE);
  webkit_settings_set_enable_developer_extras(settings.get(), FALSE);

  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context.get(),
                              "user-content-manager", manager.get(), "settings", settings.get(),
                              "default-content-security-policy", kContentSecurityPolicy, nullptr));
  g_signal_connect(view, "decide-policy", G_CALLBACK(&GtkHost::OnDecidePolicy), this);
  g_signal_connect(view, "create", G_CALLBACK(&GtkHost::OnCreate), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(&GtkHost::OnContextMenu), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(&GtkHost::OnLoadChanged), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(&GtkHost::OnWebProcessTerminated),
                   this);
  return view;
}

// ---- MovieControl ---------------------------------------------------------

void GtkHost::SetMovie(const std::string& path) {
  pending_calls_.clear();
  movie_state_ = MovieState::kNone;
  movie_uri_.clear();
  local_files_ = LocalFilePolicy();
  const std::string file = MovieFilePath(path);
  const std::optional<std::string> movie = ReadMovie(file);
  // A movie that cannot be read leaves the window empty, without a message.
  if (!movie) return;
  const std::string folder = std::filesystem::path(file).parent_path().string();
  if (FolderUri(folder).empty()) return;
  movie_uri_ = kWorkspaceUri;
  local_files_ = LocalFilePolicy(folder);
  movie_state_ = MovieState::kLoading;
  GBytesPtr bytes(g_bytes_new(movie->data(), movie->size()));
  webkit_web_view_load_bytes(WEBKIT_WEB_VIEW(view_), bytes.get(), "text/html", "UTF-8",
                             movie_uri_.c_str());
}

std::string GtkHost::CallFunction(const std::string& request) {
  // The movie's answer is not waited for: a worker never waits for the main
  // thread here, and the program has no use for the answer.
  OnMain([this, request] { DeliverCall(request); });
  return {};
}

void GtkHost::SetReturnValue(const std::string& reply) {
  if (!main_.OnMainThread() || !handling_request_) return;
  reply_ = reply;
}

// The movie reads files through ReadFile; the page gets no wider access to
// local files than the workspace.
void GtkHost::DisableLocalSecurity() {}

// ---- Calls into the movie -------------------------------------------------

void GtkHost::DeliverCall(const std::string& call) {
  switch (movie_state_) {
    case MovieState::kNone:
      return;  // no movie: the call is lost, as it would be by a control without one
    case MovieState::kLoading:
      pending_calls_.push_back(call);
      return;
    case MovieState::kReady:
      RunCall(call);
      return;
  }
}

void GtkHost::RunCall(const std::string& call) {
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&arguments, "{sv}", "xml", g_variant_new_string(ValidUtf8(call).c_str()));
  const std::string_view body = embedded::DeliverCallScript();
  webkit_web_view_call_async_javascript_function(
      WEBKIT_WEB_VIEW(view_), body.data(), static_cast<gssize>(body.size()),
      g_variant_builder_end(&arguments), nullptr, nullptr, nullptr, &GtkHost::OnCallDone, nullptr);
}

void GtkHost::OnCallDone(GObject* view, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  GObjectRef<JSCValue> answer(
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error));
  // A movie without the function, or one that failed in it: ignored.
  GErrorPtr owner(error);
}

// ---- Requests from the movie ----------------------------------------------

bool GtkHost::FromMoviePage() const {
  if (movie_state_ == MovieState::kNone) return false;
  const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view_));
  return uri != nullptr && movie_uri_ == uri;
}

gboolean GtkHost::OnScriptMessage(WebKitUserContentManager*, JSCValue* message,
                                  WebKitScriptMessageReply* reply, gpointer self) {
  static_cast<GtkHost*>(self)->HandleScriptMessage(message, reply);
  return TRUE;
}

void GtkHost::Answer(JSCContext* context, WebKitScriptMessageReply* reply,
                     const std::optional<std::string>& text) {
  GObjectRef<JSCValue> value(text ? jsc_value_new_string(context, ValidUtf8(*text).c_str())
                                  : jsc_value_new_null(context));
  webkit_script_message_reply_return_value(reply, value.get());
}

void GtkHost::HandleScriptMessage(JSCValue* message, WebKitScriptMessageReply* reply) {
  JSCContext* context = jsc_value_get_context(message);
  if (!FromMoviePage() || !jsc_value_is_object(message)) return Answer(context, reply, {});

  if (jsc_value_object_has_property(message, "hello")) {
    return Answer(context, reply, gate_.Greet());
  }
  const std::optional<std::string> key = StringProperty(message, "key");
  if (!key || !gate_.Accepts(*key)) return Answer(context, reply, {});

  if (std::optional<std::string> request = StringProperty(message, "request")) {
    requests_.push_back(PendingRequest{std::move(*request), GObjectRef<JSCContext>::Share(context),
                                       webkit_script_message_reply_ref(reply)});
    HandleRequests();
    return;
  }
  if (jsc_value_object_has_property(message, "fscommand")) {
    GObjectRef<JSCValue> event(jsc_value_object_get_property(message, "fscommand"));
    Answer(context, reply, {});
    if (event && jsc_value_is_array(event.get())) {
      const std::optional<std::string> command = StringAt(event.get(), 0);
      const std::optional<std::string> args = StringAt(event.get(), 1);
      if (command) FireFSCommand(*command, args.value_or(""));
    }
    return;
  }
  Answer(context, reply, {});
}

// Requests are handled one at a time, in the order they came. One that
// comes while another waits for a dialog (which runs a loop of its own)
// waits for that one to end.
void GtkHost::HandleRequests() {
  if (handling_request_) return;
  while (!requests_.empty()) {
    PendingRequest request = std::move(requests_.front());
    requests_.pop_front();
    handling_request_ = true;
    reply_.reset();
    FireFlashCall(request.request);
    handling_request_ = false;
    Answer(request.context.get(), request.reply, reply_);
    webkit_script_message_reply_unref(request.reply);
    reply_.reset();
  }
}

// ---- Where the page may go ------------------------------------------------

bool GtkHost::AllowsNavigation(const std::string& uri) const {
  if (movie_state_ == MovieState::kNone) return false;
  // The page has no frames: an about:srcdoc frame would share its origin
  // and so reach the bridge.
  if (uri == movie_uri_ || uri == "about:blank") return true;
  return local_files_.WorkspaceFile(uri).has_value();
}

gboolean GtkHost::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
      WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
          WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
      if (uri != nullptr && host->AllowsNavigation(uri)) {
        webkit_policy_decision_use(decision);
      } else {
        webkit_policy_decision_ignore(decision);
      }
      return TRUE;
    }
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
      auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      const char* uri =
          webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
      // The main frame shows the movie and nothing else; nothing is
      // downloaded.
      const bool leaves_movie =
          webkit_response_policy_decision_is_main_frame_main_resource(response) &&
          (uri == nullptr || host->movie_uri_ != uri);
      if (leaves_movie || !webkit_response_policy_decision_is_mime_type_supported(response)) {
        webkit_policy_decision_ignore(decision);
      } else {
        webkit_policy_decision_use(decision);
      }
      return TRUE;
    }
    default:
      // New windows, and whatever later kinds of decision there may be.
      webkit_policy_decision_ignore(decision);
      return TRUE;
  }
}

GtkWidget* GtkHost::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) {
  return nullptr;  // the movie opens no windows
}

gboolean GtkHost::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                WebKitHitTestResult*, gpointer) {
  GList* items = g_list_copy(webkit_context_menu_get_items(menu));
  for (GList* item = items; item != nullptr; item = item->next) {
    auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
    if (!IsEditingAction(webkit_context_menu_item_get_stock_action(entry))) {
      webkit_context_menu_remove(menu, entry);
    }
  }
  g_list_free(items);
  return webkit_context_menu_get_n_items(menu) == 0;
}

void GtkHost::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  if (host->movie_state_ == MovieState::kNone) return;
  if (event == WEBKIT_LOAD_COMMITTED) {
    // A new document: the old bridge's key is void, and calls wait until the
    // movie's scripts have run.
    host->gate_.NewPage();
    host->movie_state_ = MovieState::kLoading;
  } else if (event == WEBKIT_LOAD_FINISHED && host->movie_state_ == MovieState::kLoading) {
    const char* uri = webkit_web_view_get_uri(view);
    if (uri == nullptr || host->movie_uri_ != uri) return;
    host->movie_state_ = MovieState::kReady;
    std::deque<std::string> calls = std::move(host->pending_calls_);
    host->pending_calls_.clear();
    for (const std::string& call : calls) host->RunCall(call);
  }
}

void GtkHost::OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self) {
  auto* host = static_cast<GtkHost*>(self);
  std::fprintf(stderr, "lumireel: the movie's page ended (%s); the window stays empty\n",
               reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "out of memory" : "it crashed");
  host->movie_state_ = MovieState::kNone;
  host->pending_calls_.clear();
}

}  // namespace lumireel::platform::gtk
