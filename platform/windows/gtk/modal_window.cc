// modal_window.cc - building the desktop's own modal windows and running them until they are answered.
#include "platform/windows/gtk/modal_window.h"

#include "platform/windows/gtk/desktop_back_end.h"
#include "platform/windows/gtk/desktop_style.h"
#include "platform/windows/gtk/view_text.h"
#include "platform/windows/window_model.h"

namespace winsys::desktop {

namespace {

// Without a window manager, nothing else would give the window the keyboard.
gboolean take_keyboard(GtkWidget *window, GdkEvent *, gpointer) {
  gtk_window_present(GTK_WINDOW(window));
  return FALSE;
}

}  // namespace

GtkWidget *new_modal_window(const std::string &caption, GtkWindow *owner) {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_style_context_add_class(gtk_widget_get_style_context(window), kWindowClass);
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_modal(GTK_WINDOW(window), TRUE);
  const std::string title = utf8_of(shown_caption(caption));
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  add_caption_bar(GTK_WINDOW(window), title.c_str(), true);
  if (owner != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(window), owner);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
  }
  g_signal_connect(window, "map-event", G_CALLBACK(take_keyboard), nullptr);
  return window;
}

int run_modal_window(DesktopBackEnd &back_end, GtkWidget *window, const int *answer, int answer_on_quit) {
  gtk_window_present(GTK_WINDOW(window));
  int result = 0;
  while ((result = *answer) == 0) {
    bool quit = false;
    if (dispatch_next_message(nullptr, &quit)) {
      if (!quit) continue;
      result = answer_on_quit;
      break;
    }
    back_end.sync_views();
    back_end.wait(milliseconds_to_next_timer());
  }
  gtk_widget_destroy(window);
  gdk_display_flush(gdk_display_get_default());
  return result;
}

}  // namespace winsys::desktop
