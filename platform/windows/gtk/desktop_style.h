// desktop_style.h - the look of the desktop back end's windows and what it measures: the style sheet, the caption bar, dialog fonts and their base units, and the monitor.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/windows/winuser.h"

struct DialogTemplate;

namespace winsys::desktop {

// The frame drawn around a dialog's client area, in pixels on each side.
constexpr int kDialogFrame = 3;

// What GetSystemMetrics answers from, measured on the toolkit's thread.
struct ScreenMetrics {
  int screen_width = 0, screen_height = 0;  // the primary monitor
  int work_width = 0, work_height = 0;      // the part of it that panels leave free
  int caption = 0;                          // a caption bar's height
  int scroll_bar = 0;                       // a scroll bar's width
};
ScreenMetrics measure_screen(GdkDisplay *display);

// Installs the style sheet for the screen; calling it again does nothing.
void install_style(GdkScreen *screen);
// The style class our windows carry, which the style sheet keys on.
inline constexpr char kWindowClass[] = "winsys";

// Gives `window` a caption bar of our style with `title` (UTF-8) and, when asked, a close box;
// returns the bar.
GtkWidget *add_caption_bar(GtkWindow *window, const char *title, bool close_box);

// A dialog template's font, as the toolkit shows it: Windows' dialog faces become the desktop's
// sans-serif font, at the template's size in pixels at the screen's resolution.
struct DialogFont {
  std::string family;
  int pixels = 0;
  int weight = 400;
  bool italic = false;
};
DialogFont dialog_font(const char *face, int points, int weight, bool italic);
// The dialog base units of that font: the average width of the letters and the cell height.
POINT measure_base_units(const DialogFont &font);
// A style class that gives a widget and everything in it the font; added to the style sheet
// the first time it is asked for.
std::string font_class(const DialogFont &font);
// The font class of a dialog template, or "" for a template without a font.
std::string font_class_of(const DialogTemplate *dialog_template);

}  // namespace winsys::desktop
