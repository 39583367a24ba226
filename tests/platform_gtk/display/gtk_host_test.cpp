// The desktop host on a display (run under a virtual X server): dialogs asked
// for by workers, calls into the movie from workers, keys, placement from a
// worker, the pointer outside the window, and the end of the main loop.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/gtk/desktop_host.h"
#include "support/temp_folder.h"

namespace lumireel::platform::gtk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The visible top-level window of `type` (and with `title`, when given).
GtkWidget* FindWindow(GType type, const char* title = nullptr) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* item = windows; item != nullptr && found == nullptr; item = item->next) {
    GtkWidget* widget = GTK_WIDGET(item->data);
    if (!G_TYPE_CHECK_INSTANCE_TYPE(widget, type) || !gtk_widget_get_visible(widget)) continue;
    const char* window_title = gtk_window_get_title(GTK_WINDOW(widget));
    if (title == nullptr || (window_title != nullptr && std::string(window_title) == title)) {
      found = widget;
    }
  }
  g_list_free(windows);
  return found;
}

std::vector<std::string> FilterNames(GtkFileChooser* chooser) {
  std::vector<std::string> names;
  GSList* filters = gtk_file_chooser_list_filters(chooser);
  for (GSList* item = filters; item != nullptr; item = item->next) {
    names.emplace_back(gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)));
  }
  g_slist_free(filters);
  return names;
}

// A key press as the window system delivers it to the main window.
void PressKey(GtkWidget* window, guint keyval) {
  GdkDisplay* display = gtk_widget_get_display(window);
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->key.time = GDK_CURRENT_TIME;
  event->key.keyval = keyval;
  GdkKeymapKey* keys = nullptr;
  int count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys,
                                        &count) &&
      count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  }
  g_free(keys);
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

class GtkHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host_ = OpenDesktopHost(&error);
    if (!host_) GTEST_SKIP() << "no display: " << error;
    host_->SetTitle("Host under test");
  }

  void TearDown() override {
    for (GSource* source : steps_) {
      g_source_destroy(source);
      g_source_unref(source);
    }
    for (std::thread& worker : workers_) worker.join();
    host_.reset();
  }

  // Runs the main loop; a watchdog ends it with 99 after 20 seconds.
  int RunModal() {
    const guint watchdog = g_timeout_add_seconds(
        20,
        [](gpointer self) -> gboolean {
          static_cast<GtkHostTest*>(self)->host_->PostQuit(99);
          return G_SOURCE_REMOVE;
        },
        this);
    const int code = host_->RunModal();
    if (code != 99) g_source_remove(watchdog);
    return code;
  }

  void Worker(std::function<void()> body) { workers_.emplace_back(std::move(body)); }

  // Calls `step` on the main thread every 20 ms until it returns true (or
  // the test ends).
  void Every20ms(std::function<bool()> step) {
    GSource* source = g_timeout_source_new(20);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
          return (*static_cast<std::function<bool()>*>(data))() ? G_SOURCE_REMOVE
                                                                : G_SOURCE_CONTINUE;
        },
        new std::function<bool()>(std::move(step)),
        [](gpointer data) { delete static_cast<std::function<bool()>*>(data); });
    g_source_attach(source, nullptr);
    steps_.push_back(source);
  }

  // Writes a movie into a fresh workspace and gives it to the control.
  void LoadMovie(const std::string& script) {
    const fs::path movie = fs::path(workspace_.path()) / "quillmarZEL.snt";
    std::ofstream(movie) << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
                            "<p>test movie</p><script>"
                         << script << "</script></body></html>";
    host_->SetMovie(workspace_.path() + "\\quillmarZEL.snt");
  }

  GtkWidget* MainWindow() { return FindWindow(GTK_TYPE_WINDOW, "Host under test"); }

  std::unique_ptr<DesktopHost> host_;
  testing::TempFolder workspace_;
  std::vector<std::thread> workers_;
  std::vector<GSource*> steps_;
};

// The movie's helper that sends a request with string arguments.
constexpr char kSend[] =
    "const send = (name, ...args) => lumireel.invoke('<invoke name=\"' + name + "
    "'\" returntype=\"xml\"><arguments>' + args.map((a) => '<string>' + a + "
    "'</string>').join('') + '</arguments></invoke>');\n";

TEST_F(GtkHostTest, AWorkersOpenFileDialogRunsOnTheMainThreadWithItsFilters) {
  const fs::path photos = fs::path(workspace_.path()) / "photos";
  fs::create_directories(photos);
  std::ofstream(photos / "a.jpg") << "x";
  std::ofstream(photos / "B.JPG") << "x";
  std::ofstream(photos / "notes.txt") << "x";
  std::promise<std::optional<std::vector<std::string>>> answer;
  Worker([&] {
    OpenFileRequest request;
    request.filter = "Graphic Formats (*.jpg,*.png)|*.jpg; *.png|";
    request.initial_name = "*.*";
    request.multiple = true;
    request.owned_by_main_window = false;
    answer.set_value(host_->OpenFiles(request));
    host_->PostQuit(0);
  });
  // The chooser loads the folder before it selects in it; then everything it
  // shows is selected: the upper-case name only shows when the filter
  // ignores case, and the text file never shows.
  int step = 0;
  std::vector<std::string> filters;
  std::string title;
  Every20ms([&] {
    GtkWidget* dialog = FindWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
    if (dialog == nullptr) return false;
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    GSList* chosen = gtk_file_chooser_get_filenames(chooser);
    const int count = static_cast<int>(g_slist_length(chosen));
    g_slist_free_full(chosen, g_free);
    if (step == 0) {
      title = gtk_window_get_title(GTK_WINDOW(dialog));
      filters = FilterNames(chooser);
      gtk_file_chooser_select_filename(chooser, (photos / "a.jpg").c_str());
      step = 1;
    } else if (step == 1 && count == 1) {
      gtk_file_chooser_select_all(chooser);
      step = 2;
    } else if (step == 2 && count >= 2) {
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
      return true;
    }
    return false;
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(title, "Open");
  EXPECT_EQ(filters, (std::vector<std::string>{"Graphic Formats (*.jpg,*.png)", "All files"}));
  std::optional<std::vector<std::string>> files = answer.get_future().get();
  ASSERT_TRUE(files);
  std::sort(files->begin(), files->end());
  EXPECT_EQ(*files,
            (std::vector<std::string>{(photos / "B.JPG").string(), (photos / "a.jpg").string()}));
}

// With no files dropped on the window, an import's dialog shows, offering
// every picture the program reads and every file beside the program's filter.
TEST_F(GtkHostTest, APhotoImportWithoutADropShowsTheDialogWithPictureFilters) {
  std::promise<std::pair<bool, std::optional<std::vector<std::string>>>> answer;
  Worker([&] {
    OpenFileRequest request;
    request.filter = "JPEG (*.jpg)|*.jpg|";
    request.multiple = true;
    request.photos = true;
    const bool waiting = host_->AnswerWaiting();
    answer.set_value({waiting, host_->OpenFiles(request)});
    host_->PostQuit(0);
  });
  std::vector<std::string> filters;
  Every20ms([&] {
    GtkWidget* dialog = FindWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
    if (dialog == nullptr) return false;
    filters = FilterNames(GTK_FILE_CHOOSER(dialog));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    return true;
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(filters, (std::vector<std::string>{"JPEG (*.jpg)", "All pictures", "All files"}));
  const auto [waiting, files] = answer.get_future().get();
  EXPECT_FALSE(waiting);
  EXPECT_FALSE(files);
}

TEST_F(GtkHostTest, AWorkersMessageBoxesAndFolderPickerAreAnswered) {
  std::promise<std::vector<int>> results;
  std::promise<std::optional<std::string>> folder;
  Worker([&] {
    std::vector<int> answers;
    answers.push_back(static_cast<int>(host_->ShowMessageBox(
        {"Question caption", "Go on?", MessageIcon::kQuestion, MessageButtons::kOkCancel, true})));
    answers.push_back(
        static_cast<int>(host_->ShowMessageBox({"Error caption", "Bad <b>thing</b> & more",
                                                MessageIcon::kError, MessageButtons::kOk, true})));
    results.set_value(answers);
    folder.set_value(host_->PickFolder({"Select folder to Import", ""}));
    host_->PostQuit(0);
  });
  std::vector<std::string> seen;
  Every20ms([&] {
    if (GtkWidget* box = FindWindow(GTK_TYPE_MESSAGE_DIALOG, "Question caption")) {
      gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
      return false;
    }
    if (GtkWidget* box = FindWindow(GTK_TYPE_MESSAGE_DIALOG, "Error caption")) {
      char* text = nullptr;
      g_object_get(box, "text", &text, nullptr);
      seen.emplace_back(text);
      g_free(text);
      // Closing a box that only offers OK answers OK.
      gtk_window_close(GTK_WINDOW(box));
      return false;
    }
    if (GtkWidget* picker = FindWindow(GTK_TYPE_FILE_CHOOSER_DIALOG, "Select folder to Import")) {
      if (gtk_file_chooser_get_action(GTK_FILE_CHOOSER(picker)) !=
          GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER) {
        return false;
      }
      // The user opens the workspace and presses Select without selecting.
      GtkFileChooser* chooser = GTK_FILE_CHOOSER(picker);
      char* shown = gtk_file_chooser_get_current_folder(chooser);
      const bool there = shown != nullptr && workspace_.path() == shown;
      g_free(shown);
      if (!there) {
        gtk_file_chooser_set_current_folder(chooser, workspace_.path().c_str());
        return false;
      }
      gtk_dialog_response(GTK_DIALOG(picker), GTK_RESPONSE_ACCEPT);
      return true;
    }
    return false;
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(results.get_future().get(), (std::vector<int>{static_cast<int>(MessageResult::kCancel),
                                                          static_cast<int>(MessageResult::kOk)}));
  EXPECT_EQ(seen, std::vector<std::string>{"Bad <b>thing</b> & more"});
  EXPECT_EQ(folder.get_future().get(), std::optional<std::string>(workspace_.path()));
}

// Ending the program while a worker waits for its dialog cancels the dialog;
// a worker asking afterwards is answered at once.
TEST_F(GtkHostTest, TheEndOfTheMainLoopReleasesWorkersWaitingForDialogs) {
  std::promise<bool> first_cancelled;
  Worker([&] { first_cancelled.set_value(!host_->OpenFiles(OpenFileRequest{})); });
  Every20ms([&] {
    if (FindWindow(GTK_TYPE_FILE_CHOOSER_DIALOG) == nullptr) return false;
    host_->PostQuit(5);
    return true;
  });
  ASSERT_EQ(RunModal(), 5);
  std::future<bool> first = first_cancelled.get_future();
  ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(first.get());

  std::promise<bool> late_cancelled;
  Worker([&] {
    late_cancelled.set_value(!host_->PickFolder({"late", ""}) &&
                             host_->ShowMessageBox({"late", "box", MessageIcon::kInfo,
                                                    MessageButtons::kOkCancel, true}) ==
                                 MessageResult::kCancel);
  });
  std::future<bool> late = late_cancelled.get_future();
  ASSERT_EQ(late.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(late.get());
}

TEST_F(GtkHostTest, CallsFromAWorkerReachTheMovieInOrder) {
  std::vector<std::string> events;
  host_->SetFSCommandHandler([&](const std::string& command, const std::string& args) {
    events = {command, args};
  });
  std::string counted;
  host_->SetFlashCallHandler([&](const std::string& request) {
    counted = request;
    host_->PostQuit(0);
  });
  LoadMovie(std::string(kSend) +
            "const seen = [];\n"
            "window.lumireelMovie = { count(n) { seen.push(n);"
            " if (n === 99) { lumireel.fscommand('trace', seen.length);"
            " send('counted', seen.join(',')); } } };\n");
  Worker([&] {
    for (int i = 0; i < 100; ++i) {
      EXPECT_EQ(
          host_->CallFunction("<invoke name=\"count\" returntype=\"xml\"><arguments><number>" +
                              std::to_string(i) + "</number></arguments></invoke>"),
          "");
    }
  });
  ASSERT_EQ(RunModal(), 0);
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += (i ? "," : "") + std::to_string(i);
  EXPECT_EQ(counted, "<invoke name=\"counted\" returntype=\"xml\"><arguments><string>" + expected +
                         "</string></arguments></invoke>");
  EXPECT_EQ(events, (std::vector<std::string>{"trace", "100"}));
}

// A page that tries to load scripts and styles from outside the workspace,
// directly and through a link inside it, and a frame of its own origin that
// calls the bridge: only the workspace's own script runs, and the only
// request is the movie's report.
TEST_F(GtkHostTest, ThePageLoadsOnlyTheWorkspaceAndOnlyItsTopFrameReachesTheBridge) {
  testing::TempFolder outside;
  const fs::path root(workspace_.path());
  std::ofstream(fs::path(outside.path()) / "evil.js") << "seen.push('outside');";
  std::ofstream(fs::path(outside.path()) / "evil.css") << "p { color: red }";
  std::ofstream(root / "inside.js") << "seen.push('inside');";
  fs::create_symlink(outside.path(), root / "link");
  const std::string away = "file://" + outside.path();
  std::ofstream(root / "quillmarZEL.snt")
      << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><script>const seen = [];</script>"
      << "<script src=\"inside.js\"></script>"
      << "<script src=\"" << away << "/evil.js\"></script>"
      << "<script src=\"link/evil.js\"></script>"
      << "<link rel=\"stylesheet\" href=\"" << away << "/evil.css\" onload=\"seen.push('css')\">"
      << "<link rel=\"stylesheet\" href=\"link/evil.css\" onload=\"seen.push('linked css')\">"
      << "</head><body><iframe srcdoc=\"<script>parent.lumireel.invoke("
         "'&lt;invoke name=&quot;framed&quot;/&gt;')</script>\"></iframe><script>"
      << kSend
      << "window.addEventListener('load', () => setTimeout(() => send('report', "
         "seen.join(',')), 500));</script></body></html>";
  std::vector<std::string> requests;
  host_->SetFlashCallHandler([&](const std::string& request) {
    requests.push_back(request);
    if (request.find("report") != std::string::npos) host_->PostQuit(0);
  });
  host_->SetMovie(workspace_.path() + "\\quillmarZEL.snt");
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(requests, (std::vector<std::string>{
                          "<invoke name=\"report\" returntype=\"xml\"><arguments><string>inside"
                          "</string></arguments></invoke>"}));
}

TEST_F(GtkHostTest, ReturnGoesToTheMovieOnceAndEscapeOnlyToTheMovie) {
  std::vector<std::string> requests;
  std::vector<WindowKey> keys;
  host_->SetKeyHandler([&](WindowKey key) {
    keys.push_back(key);
    // What the program does with Return.
    if (key == WindowKey::kReturn) host_->SendKeyToControl(13);
  });
  host_->SetFlashCallHandler([&](const std::string& request) { requests.push_back(request); });
  LoadMovie(std::string(kSend) +
            "document.addEventListener('keydown', (e) => send('key', e.key));\n"
            "window.lumireelMovie = { ready() { send('ready'); } };\n");
  host_->CallFunction("<invoke name=\"ready\" returntype=\"xml\"><arguments/></invoke>");
  const std::string ready =
      "<invoke name=\"ready\" returntype=\"xml\"><arguments></arguments></invoke>";
  int step = 0;
  Every20ms([&] {
    GtkWidget* window = MainWindow();
    if (window == nullptr || requests.empty()) return false;
    switch (step++) {
      case 0:
        PressKey(window, GDK_KEY_Return);
        PressKey(window, GDK_KEY_a);
        return false;
      case 5:
        PressKey(window, GDK_KEY_Escape);
        return false;
      case 10:
        host_->PostQuit(0);
        return true;
      default:
        return false;  // time for the movie to report its keys
    }
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(keys, (std::vector<WindowKey>{WindowKey::kReturn}));
  const auto key = [](const char* name) {
    return std::string("<invoke name=\"key\" returntype=\"xml\"><arguments><string>") + name +
           "</string></arguments></invoke>";
  };
  EXPECT_EQ(requests, (std::vector<std::string>{ready, key("Enter"), key("a"), key("Escape")}));
}

TEST_F(GtkHostTest, AWorkerMovesTheWindowAndFollowsThePointerOutsideIt) {
  host_->MoveWindow({0, 30, 640, 480});
  const Rect target{20, 60, 700, 500};
  std::promise<Rect> read_back;
  std::promise<bool> followed;
  std::atomic<bool> warped{false};
  Worker([&] {
    host_->MoveWindow(target);
    read_back.set_value(host_->OuterRect());
    while (!warped) std::this_thread::sleep_for(5ms);
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline) {
      seen = host_->CursorPosition() == Point{1000, 900};
      std::this_thread::sleep_for(20ms);
    }
    followed.set_value(seen);
  });
  // Once the window is where the worker put it, the pointer goes far from
  // it; the worker must see it there.
  GdkRectangle placed{};
  std::future<bool> follow = followed.get_future();
  Every20ms([&] {
    GtkWidget* window = MainWindow();
    if (window == nullptr || !gtk_widget_get_mapped(window)) return false;
    if (!warped) {
      gdk_window_get_frame_extents(gtk_widget_get_window(window), &placed);
      if (Rect{placed.x, placed.y, placed.width, placed.height} != target) return false;
      GdkDisplay* display = gtk_widget_get_display(window);
      gdk_device_warp(gdk_seat_get_pointer(gdk_display_get_default_seat(display)),
                      gdk_display_get_default_screen(display), 1000, 900);
      warped = true;
      return false;
    }
    if (follow.wait_for(0s) != std::future_status::ready) return false;
    host_->PostQuit(0);
    return true;
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(read_back.get_future().get(), target);
  EXPECT_EQ((Rect{placed.x, placed.y, placed.width, placed.height}), target);
  EXPECT_TRUE(follow.get());
  EXPECT_EQ(host_->OuterRect(), target);
}

TEST_F(GtkHostTest, WithoutAMovieCallsAreDroppedAndTheWindowStillRuns) {
  host_->SetMovie(workspace_.path() + "\\quillmarZEL.snt");
  EXPECT_EQ(host_->CallFunction("<invoke name=\"x\" returntype=\"xml\"><arguments/></invoke>"), "");
  Worker([&] {
    host_->CallFunction("<invoke name=\"y\" returntype=\"xml\"><arguments/></invoke>");
    host_->PostQuit(3);
  });
  EXPECT_EQ(RunModal(), 3);
}

TEST_F(GtkHostTest, TheSystemClosingTheWindowGoesToTheProgram) {
  int closes = 0;
  host_->SetCloseHandler([&] {
    ++closes;
    host_->PostQuit(0);
  });
  Every20ms([&] {
    GtkWidget* window = MainWindow();
    if (window == nullptr || !gtk_widget_get_mapped(window)) return false;
    gtk_window_close(GTK_WINDOW(window));
    return true;
  });
  ASSERT_EQ(RunModal(), 0);
  EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace lumireel::platform::gtk
