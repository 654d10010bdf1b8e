// message_box.cc - the desktop's message box: building it from the box type and running it until the person answers.
#include "platform/windows/gtk/message_box.h"

#include <vector>

#include "platform/windows/back_end.h"
#include "platform/windows/gtk/modal_window.h"
#include "platform/windows/gtk/view_text.h"

namespace winsys::desktop {

namespace {

struct Button {
  const char *label;
  int answer;
};

std::vector<Button> buttons_of(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"_OK", IDOK}, {"_Cancel", IDCANCEL}};
    case MB_YESNO: return {{"_Yes", IDYES}, {"_No", IDNO}};
    case MB_YESNOCANCEL: return {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}};
    default: return {{"_OK", IDOK}};
  }
}

const char *icon_of(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return "dialog-error";
    case MB_ICONQUESTION: return "dialog-question";
    case MB_ICONWARNING: return "dialog-warning";
    case MB_ICONINFORMATION: return "dialog-information";
    default: return nullptr;
  }
}

struct BoxState {
  UINT type;
  int answer = 0;
};

void on_button(GtkButton *button, BoxState *box) {
  box->answer = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "answer"));
}

gboolean on_key_press(GtkWidget *, GdkEventKey *event, BoxState *box) {
  const UINT buttons = box->type & MB_TYPEMASK;
  const bool yes_no = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
  if ((event->state & gtk_accelerator_get_default_mod_mask()) != 0) return FALSE;
  switch (gdk_keyval_to_lower(event->keyval)) {
    case GDK_KEY_Escape: box->answer = escape_box_answer(box->type); return TRUE;
    case GDK_KEY_y:
      if (yes_no) box->answer = IDYES;
      return yes_no;
    case GDK_KEY_n:
      if (yes_no) box->answer = IDNO;
      return yes_no;
    default: return FALSE;  // Enter and Space press the focused button
  }
}

gboolean on_delete(GtkWidget *, GdkEvent *, BoxState *box) {
  box->answer = escape_box_answer(box->type);
  return TRUE;
}

GtkWidget *build_box(const std::string &text, const std::string &caption, UINT type, GtkWindow *owner, BoxState *box) {
  GtkWidget *window = new_modal_window(caption, owner);
  GtkWidget *rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(rows), 12);
  GtkWidget *message = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  if (const char *icon = icon_of(type)) {
    GtkWidget *image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(message), image, FALSE, FALSE, 0);
  }
  GtkWidget *label = gtk_label_new(message_text(text).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 80);
  gtk_box_pack_start(GTK_BOX(message), label, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(rows), message, TRUE, TRUE, 0);

  GtkWidget *actions = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_button_box_set_layout(GTK_BUTTON_BOX(actions), GTK_BUTTONBOX_END);
  gtk_box_set_spacing(GTK_BOX(actions), 6);
  GtkWidget *first = nullptr;
  for (const Button &button : buttons_of(type)) {
    GtkWidget *widget = gtk_button_new_with_mnemonic(button.label);
    g_object_set_data(G_OBJECT(widget), "answer", GINT_TO_POINTER(button.answer));
    g_signal_connect(widget, "clicked", G_CALLBACK(on_button), box);
    gtk_container_add(GTK_CONTAINER(actions), widget);
    if (first == nullptr) first = widget;
  }
  gtk_box_pack_start(GTK_BOX(rows), actions, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), rows);
  gtk_widget_show_all(rows);
  gtk_widget_grab_focus(first);
  g_signal_connect(window, "key-press-event", G_CALLBACK(on_key_press), box);
  g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), box);
  return window;
}

}  // namespace

int run_message_box(DesktopBackEnd &back_end, GtkWindow *owner, const std::string &text, const std::string &caption,
                    UINT type) {
  BoxState box{type};
  GtkWidget *window = build_box(text, caption, type, owner, &box);
  return run_modal_window(back_end, window, &box.answer, escape_box_answer(type));
}

}  // namespace winsys::desktop
