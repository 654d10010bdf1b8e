// desktop_style.cc - the style sheet, caption bars, dialog fonts and their base units, and the monitor's metrics.
#include "platform/windows/gtk/desktop_style.h"

#include <strings.h>

#include <cmath>
#include <vector>

#include "platform/windows/dialog_template.h"

namespace winsys::desktop {

namespace {

// Compact, so that controls fit the rectangles their templates give in dialog units: the
// theme's padding is sized for its own layouts, not for 8-point dialogs. The caption bar is
// drawn by us (client-side), so that its height is known and a close box exists with or
// without a window manager; nothing is drawn outside the window.
constexpr char kStyleSheet[] = R"(
window.winsys decoration { box-shadow: none; border: none; border-radius: 0; margin: 0; padding: 0; }
window.winsys headerbar { min-height: 0; padding: 0 2px 0 6px; border-radius: 0; box-shadow: none; }
window.winsys headerbar .title { font-weight: bold; }
window.winsys headerbar button.titlebutton { min-height: 0; min-width: 0; padding: 2px; margin: 2px 0; }
window.winsys button.winsys-control, window.winsys .winsys-control button { min-height: 0; min-width: 0; padding: 0 4px; }
window.winsys .winsys-control entry { min-height: 0; padding: 0 2px; }
window.winsys textview text { background-color: white; }
)";

GtkCssProvider *g_provider = nullptr;
std::string g_font_rules;
std::vector<std::string> g_font_classes;

void load_style() {
  const std::string sheet = kStyleSheet + g_font_rules;
  gtk_css_provider_load_from_data(g_provider, sheet.c_str(), static_cast<gssize>(sheet.size()), nullptr);
}

double screen_dpi() {
  const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  return dpi > 0 ? dpi : 96.0;
}

// The faces Windows dialogs name all mean "the system's dialog font".
bool is_system_dialog_face(const char *face) {
  static constexpr const char *kFaces[] = {
      "MS Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "Tahoma", "Segoe UI", "System", ""};
  for (const char *known : kFaces)
    if (strcasecmp(face, known) == 0) return true;
  return false;
}

int caption_height() {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_style_context_add_class(gtk_widget_get_style_context(window), kWindowClass);
  GtkWidget *bar = add_caption_bar(GTK_WINDOW(window), "Caption", true);
  int height = 0;
  gtk_widget_get_preferred_height(bar, &height, nullptr);
  gtk_widget_destroy(window);
  return height;
}

int scroll_bar_width() {
  GtkWidget *bar = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
  g_object_ref_sink(bar);
  int width = 0;
  gtk_widget_get_preferred_width(bar, &width, nullptr);
  g_object_unref(bar);
  return width;
}

}  // namespace

void install_style(GdkScreen *screen) {
  if (g_provider != nullptr) return;
  g_provider = gtk_css_provider_new();
  load_style();
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(g_provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

GtkWidget *add_caption_bar(GtkWindow *window, const char *title, bool close_box) {
  GtkWidget *bar = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(bar), title);
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(bar), close_box);
  // Only the close box: a dialog has no minimise or maximise box.
  gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(bar), ":close");
  gtk_window_set_titlebar(window, bar);
  gtk_widget_show(bar);
  return bar;
}

ScreenMetrics measure_screen(GdkDisplay *display) {
  ScreenMetrics metrics;
  GdkMonitor *monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) {
    GdkRectangle geometry, work;
    gdk_monitor_get_geometry(monitor, &geometry);
    gdk_monitor_get_workarea(monitor, &work);
    metrics.screen_width = geometry.width;
    metrics.screen_height = geometry.height;
    metrics.work_width = work.width;
    metrics.work_height = work.height;
  }
  metrics.caption = caption_height();
  metrics.scroll_bar = scroll_bar_width();
  return metrics;
}

DialogFont dialog_font(const char *face, int points, int weight, bool italic) {
  DialogFont font;
  font.family = face != nullptr && !is_system_dialog_face(face) ? std::string(face) + ", Sans" : "Sans";
  // The cell's em height in pixels, rounded as Windows' MulDiv(points, dpi, 72) does.
  font.pixels = static_cast<int>(std::lround(points * screen_dpi() / 72.0));
  font.weight = weight > 0 ? weight : 400;
  font.italic = italic;
  return font;
}

POINT measure_base_units(const DialogFont &font) {
  PangoContext *context = gdk_pango_context_get();
  PangoFontDescription *description = pango_font_description_from_string(font.family.c_str());
  pango_font_description_set_absolute_size(description, font.pixels * PANGO_SCALE);
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
  pango_font_description_set_style(description, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  PangoFontMetrics *metrics = pango_context_get_metrics(context, description, nullptr);
  const int height =
      PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  // Windows' own measure: the width of the 52 letters, averaged per letter and rounded.
  PangoLayout *layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  int letters_width = 0;
  pango_layout_get_pixel_size(layout, &letters_width, nullptr);
  g_object_unref(layout);
  pango_font_description_free(description);
  g_object_unref(context);
  return {(letters_width / 26 + 1) / 2, height};
}

std::string font_class(const DialogFont &font) {
  const std::string rule = "font-family: " + font.family + "; font-size: " + std::to_string(font.pixels) +
                           "px; font-weight: " + std::to_string(font.weight) +
                           "; font-style: " + (font.italic ? "italic" : "normal") + ";";
  for (size_t i = 0; i < g_font_classes.size(); ++i)
    if (g_font_classes[i] == rule) return "winsys-font-" + std::to_string(i);
  const std::string name = "winsys-font-" + std::to_string(g_font_classes.size());
  g_font_classes.push_back(rule);
  g_font_rules += "." + name + ", ." + name + " * { " + rule + " }\n";
  if (g_provider != nullptr) load_style();
  return name;
}

std::string font_class_of(const DialogTemplate *dialog_template) {
  if (dialog_template == nullptr || (dialog_template->style & DS_SETFONT) == 0 || dialog_template->font_points == 0)
    return "";
  return font_class(dialog_font(dialog_template->font_name, dialog_template->font_points, dialog_template->font_weight,
                                dialog_template->font_italic != 0));
}

}  // namespace winsys::desktop
