// A file manager's part in the desktop tests: a small window at X,Y whose
// face can be dragged, bringing the files named on the command line as a
// text/uri-list, as a file manager offers them. It says on its output when
// it is on screen and how each drag ended, and runs until it is ended.
//
// Usage: lumireel_drag_source X Y FILE...
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Offer {
  std::vector<std::string> uris;
};

void OnDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint,
                   gpointer offer_data) {
  const auto* offer = static_cast<const Offer*>(offer_data);
  std::vector<gchar*> uris;
  for (const std::string& uri : offer->uris) uris.push_back(const_cast<gchar*>(uri.c_str()));
  uris.push_back(nullptr);
  gtk_selection_data_set_uris(data, uris.data());
}

void OnDragEnd(GtkWidget*, GdkDragContext*, gpointer) {
  std::printf("drag ended\n");
  std::fflush(stdout);
}

gboolean OnDragFailed(GtkWidget*, GdkDragContext*, GtkDragResult result, gpointer) {
  std::printf("drag failed: %d\n", static_cast<int>(result));
  std::fflush(stdout);
  return FALSE;
}

void OnMapped(GtkWidget*, GdkEvent*, gpointer) {
  std::printf("ready\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv) || argc < 4) {
    std::fprintf(stderr, "usage: lumireel_drag_source X Y FILE... (on a display)\n");
    return 2;
  }
  Offer offer;
  for (int i = 3; i < argc; ++i) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(argv[i], nullptr, &error);
    if (uri == nullptr) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error->message);
      g_error_free(error);
      return 2;
    }
    offer.uris.emplace_back(uri);
    g_free(uri);
  }

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Lumireel drag source");
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 160, 120);
  gtk_window_move(GTK_WINDOW(window), std::atoi(argv[1]), std::atoi(argv[2]));
  GtkWidget* face = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(face), gtk_label_new("Drag these photos"));
  gtk_container_add(GTK_CONTAINER(window), face);

  const GtkTargetEntry targets[] = {{const_cast<gchar*>("text/uri-list"), 0, 0}};
  gtk_drag_source_set(face, GDK_BUTTON1_MASK, targets, 1, GDK_ACTION_COPY);
  g_signal_connect(face, "drag-data-get", G_CALLBACK(OnDragDataGet), &offer);
  g_signal_connect(face, "drag-end", G_CALLBACK(OnDragEnd), nullptr);
  g_signal_connect(face, "drag-failed", G_CALLBACK(OnDragFailed), nullptr);
  g_signal_connect(window, "map-event", G_CALLBACK(OnMapped), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
