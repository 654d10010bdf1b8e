// passphrase_dialog.cc - the desktop's passphrase dialog: a hidden entry over the active window, for a key's passphrase or a token's PIN.
#include "platform/ui/passphrase_prompt.h"
#include "platform/windows/gtk/desktop.h"
#include "platform/windows/gtk/desktop_back_end.h"
#include "platform/windows/gtk/modal_window.h"

namespace winsys {

namespace {

constexpr int kAccepted = 1, kDeclined = 2;

struct Answer {
  int value = 0;
  GtkWidget *entry = nullptr;
  std::string *passphrase;
};

void answer_with(GtkWidget *button, Answer *answer) {
  answer->value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "answer"));
  // Read while the entry exists: it goes with the window.
  if (answer->value == kAccepted) *answer->passphrase = gtk_entry_get_text(GTK_ENTRY(answer->entry));
}

gboolean decline_on_escape(GtkWidget *, GdkEventKey *event, Answer *answer) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  answer->value = kDeclined;
  return TRUE;
}

gboolean decline_on_close(GtkWidget *, GdkEvent *, Answer *answer) {
  answer->value = kDeclined;
  return TRUE;
}

GtkWidget *add_button(GtkWidget *box, const char *label, int value, Answer *answer) {
  GtkWidget *button = gtk_button_new_with_mnemonic(label);
  g_object_set_data(G_OBJECT(button), "answer", GINT_TO_POINTER(value));
  g_signal_connect(button, "clicked", G_CALLBACK(answer_with), answer);
  gtk_container_add(GTK_CONTAINER(box), button);
  return button;
}

}  // namespace

bool ask_passphrase_on_desktop(const std::string &what, int attempt, std::string *passphrase) {
  desktop::DesktopBackEnd *back_end = desktop::DesktopBackEnd::instance();
  if (back_end == nullptr || &winsys::back_end() != back_end || !back_end->on_toolkit_thread()) return false;
  back_end->sync_views();
  Answer answer{0, nullptr, passphrase};
  // A token's PIN or a database's password is asked here too, naming its keeper.
  GtkWidget *window = desktop::new_modal_window(platform_ui::capitalized(platform_ui::secret_asked()),
                                                back_end->toolkit_window_of(GetActiveWindow()));
  GtkWidget *rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(rows), 12);
  GtkWidget *label = gtk_label_new(platform_ui::secret_prompt(what, attempt).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_box_pack_start(GTK_BOX(rows), label, FALSE, FALSE, 0);
  GtkWidget *entry = answer.entry = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
  gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_PASSWORD);
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_box_pack_start(GTK_BOX(rows), entry, FALSE, FALSE, 0);
  GtkWidget *actions = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_button_box_set_layout(GTK_BUTTON_BOX(actions), GTK_BUTTONBOX_END);
  gtk_box_set_spacing(GTK_BOX(actions), 6);
  add_button(actions, "_Cancel", kDeclined, &answer);
  GtkWidget *ok = add_button(actions, "_OK", kAccepted, &answer);
  gtk_widget_set_can_default(ok, TRUE);
  gtk_box_pack_start(GTK_BOX(rows), actions, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), rows);
  gtk_widget_show_all(rows);
  gtk_window_set_default(GTK_WINDOW(window), ok);
  gtk_widget_grab_focus(entry);
  g_signal_connect(window, "key-press-event", G_CALLBACK(decline_on_escape), &answer);
  g_signal_connect(window, "delete-event", G_CALLBACK(decline_on_close), &answer);
  return desktop::run_modal_window(*back_end, window, &answer.value, kDeclined) == kAccepted;
}

}  // namespace winsys
