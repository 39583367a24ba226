// Draws the program's icons as PNG files: the window icons 130, 136, 137 and
// 138, and the application icon in the sizes of the freedesktop icon theme.
//
//   lumireel_draw_icons OUTPUT_FOLDER
//
// writes OUTPUT_FOLDER/<resource>.png and
// OUTPUT_FOLDER/hicolor/<size>x<size>/apps/lumireel.png.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <system_error>

namespace {

constexpr double kPi = std::numbers::pi;

struct Colour {
  double r, g, b;
};

struct IconStyle {
  int size;
  Colour sky;  // the photo's sky, which tells the icons apart
};

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

// A dark tile with a tilted photograph on it: a sun over two hills.
void DrawIcon(cairo_t* cr, int size, Colour sky) {
  const double s = size;
  cairo_pattern_t* tile = cairo_pattern_create_linear(0, 0, 0, s);
  cairo_pattern_add_color_stop_rgb(tile, 0, 0.18, 0.23, 0.33);
  cairo_pattern_add_color_stop_rgb(tile, 1, 0.11, 0.14, 0.19);
  RoundedRect(cr, 0, 0, s, s, s * 0.18);
  cairo_set_source(cr, tile);
  cairo_fill(cr);
  cairo_pattern_destroy(tile);

  cairo_save(cr);
  cairo_translate(cr, s / 2, s / 2);
  cairo_rotate(cr, -0.14);
  const double w = s * 0.70;
  const double h = s * 0.56;
  const double border = std::max(1.0, s * 0.05);
  RoundedRect(cr, -w / 2, -h / 2, w, h, s * 0.04);
  cairo_set_source_rgb(cr, 0.96, 0.95, 0.92);
  cairo_fill(cr);

  const double px = -w / 2 + border;
  const double py = -h / 2 + border;
  const double pw = w - 2 * border;
  const double ph = h - 2 * border;
  cairo_rectangle(cr, px, py, pw, ph);
  cairo_set_source_rgb(cr, sky.r, sky.g, sky.b);
  cairo_fill_preserve(cr);
  cairo_clip(cr);

  cairo_arc(cr, px + pw * 0.72, py + ph * 0.30, ph * 0.16, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 1.0, 0.86, 0.35);
  cairo_fill(cr);

  cairo_move_to(cr, px, py + ph);
  cairo_line_to(cr, px + pw * 0.35, py + ph * 0.42);
  cairo_line_to(cr, px + pw * 0.62, py + ph);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.20, 0.45, 0.33);
  cairo_fill(cr);
  cairo_move_to(cr, px + pw * 0.38, py + ph);
  cairo_line_to(cr, px + pw * 0.70, py + ph * 0.58);
  cairo_line_to(cr, px + pw, py + ph);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.14, 0.35, 0.26);
  cairo_fill(cr);
  cairo_restore(cr);
}

bool WriteIcon(const std::filesystem::path& file, int size, Colour sky) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  DrawIcon(cr, size, sky);
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!ok) std::fprintf(stderr, "lumireel_draw_icons: cannot write %s\n", file.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumireel_draw_icons OUTPUT_FOLDER\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  const Colour teal{0.35, 0.72, 0.78};
  const Colour amber{0.98, 0.70, 0.36};
  const Colour sky{0.53, 0.73, 0.93};
  const struct {
    int resource;
    IconStyle style;
  } window_icons[] = {{130, {48, amber}}, {136, {24, teal}}, {137, {32, sky}}, {138, {128, sky}}};
  const Colour theme = sky;
  const int theme_sizes[] = {16, 24, 32, 48, 64, 128, 256};

  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  bool ok = !ec;
  for (const auto& icon : window_icons) {
    ok = ok &&
         WriteIcon(out / (std::to_string(icon.resource) + ".png"), icon.style.size, icon.style.sky);
  }
  for (int size : theme_sizes) {
    const std::string dimension = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path folder = out / "hicolor" / dimension / "apps";
    std::filesystem::create_directories(folder, ec);
    ok = ok && !ec && WriteIcon(folder / "lumireel.png", size, theme);
  }
  return ok ? 0 : 1;
}
