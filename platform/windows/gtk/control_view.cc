// control_view.cc - the widgets that show the built-in controls and hosted controls, and the person's input on them turned into window messages.
#include "platform/windows/gtk/control_view.h"

#include <strings.h>

#include "platform/windows/gtk/view_text.h"

namespace winsys::desktop {

namespace {

// Static styles beyond winuser.h's: alignment, and whether '&' marks a mnemonic.
constexpr DWORD kStaticCenter = 0x1, kStaticRight = 0x2, kStaticNoPrefix = 0x80;

bool is_class(const WindowState &state, const char *name) { return strcasecmp(state.class_name.c_str(), name) == 0; }

ControlKind kind_of(const WindowState &state) {
  if (is_class(state, "STATIC"))
    return (state.style & SS_TYPEMASK) == SS_BITMAP ? ControlKind::kPicture : ControlKind::kLabel;
  if (is_class(state, "EDIT")) return ControlKind::kEdit;
  if (is_class(state, "COMBOBOX")) return ControlKind::kComboBox;
  if (is_class(state, "BUTTON")) return ControlKind::kButton;
  return ControlKind::kHost;
}

GtkPolicyType scroll_policy(DWORD style, DWORD bar) {
  // Without the bar the box still scrolls, and its content does not widen the box.
  return (style & bar) != 0 ? GTK_POLICY_ALWAYS : GTK_POLICY_EXTERNAL;
}

}  // namespace

ControlView::ControlView(HWND hwnd, HWND dialog, ControlKind kind) : hwnd_(hwnd), dialog_(dialog), kind_(kind) {}

std::unique_ptr<ControlView> ControlView::create(const WindowState &state, HWND dialog) {
  std::unique_ptr<ControlView> view(new ControlView(state.hwnd, dialog, kind_of(state)));
  view->build(state);
  return view;
}

void ControlView::build(const WindowState &state) {
  switch (kind_) {
    case ControlKind::kLabel: {
      inner_ = outer_ = gtk_label_new(nullptr);
      const DWORD align = state.style & SS_TYPEMASK;
      gtk_label_set_xalign(GTK_LABEL(inner_), align == kStaticCenter ? 0.5f : align == kStaticRight ? 1.0f : 0.0f);
      gtk_label_set_yalign(GTK_LABEL(inner_), 0.0f);
      gtk_label_set_line_wrap(GTK_LABEL(inner_), TRUE);
      gtk_label_set_line_wrap_mode(GTK_LABEL(inner_), PANGO_WRAP_WORD_CHAR);
      break;
    }
    case ControlKind::kPicture: {
      GdkPixbuf *picture = pixbuf_of_dib(state.image, state.image_bytes);
      inner_ = outer_ = gtk_image_new_from_pixbuf(picture);
      if (picture != nullptr) g_object_unref(picture);
      gtk_widget_set_halign(inner_, GTK_ALIGN_START);
      gtk_widget_set_valign(inner_, GTK_ALIGN_START);
      break;
    }
    case ControlKind::kEdit: {
      outer_ = gtk_scrolled_window_new(nullptr, nullptr);
      gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(outer_), FALSE);
      inner_ = gtk_text_view_new();
      gtk_text_view_set_left_margin(GTK_TEXT_VIEW(inner_), 2);
      gtk_text_view_set_right_margin(GTK_TEXT_VIEW(inner_), 2);
      gtk_container_add(GTK_CONTAINER(outer_), inner_);
      gtk_widget_show(inner_);
      g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(inner_)), "changed", G_CALLBACK(on_buffer_changed), this);
      break;
    }
    case ControlKind::kComboBox:
      inner_ = outer_ = gtk_combo_box_text_new();
      g_signal_connect(inner_, "changed", G_CALLBACK(on_combo_changed), this);
      break;
    case ControlKind::kButton:
      inner_ = outer_ = gtk_button_new();
      gtk_button_set_use_underline(GTK_BUTTON(inner_), TRUE);
      g_signal_connect(inner_, "clicked", G_CALLBACK(on_clicked), this);
      break;
    case ControlKind::kHost: inner_ = outer_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0); break;
  }
  g_object_ref_sink(outer_);
  gtk_style_context_add_class(gtk_widget_get_style_context(outer_), "winsys-control");
}

ControlView::~ControlView() {
  applying_ = true;
  if (kind_ == ControlKind::kEdit)
    g_signal_handlers_disconnect_by_data(gtk_text_view_get_buffer(GTK_TEXT_VIEW(inner_)), this);
  g_signal_handlers_disconnect_by_data(inner_, this);
  // A hosted control's view belongs to the control: taken out, never destroyed with the dialog.
  set_native_view(nullptr);
  gtk_widget_destroy(outer_);
  g_object_unref(outer_);
}

GtkWidget *ControlView::focus_widget() const {
  switch (kind_) {
    case ControlKind::kLabel:
    case ControlKind::kPicture: return nullptr;
    case ControlKind::kHost: return native_;
    default: return inner_;
  }
}

bool ControlView::holds(GtkWidget *widget) const {
  return widget != nullptr && (widget == outer_ || gtk_widget_is_ancestor(widget, outer_));
}

void ControlView::set_native_view(GtkWidget *view) {
  if (kind_ != ControlKind::kHost || view == native_) return;
  if (native_ != nullptr) {
    if (gtk_widget_get_parent(native_) == outer_) gtk_container_remove(GTK_CONTAINER(outer_), native_);
    g_object_unref(native_);
  }
  native_ = view;
  if (native_ == nullptr) return;
  g_object_ref(native_);
  if (GtkWidget *old_parent = gtk_widget_get_parent(native_)) gtk_container_remove(GTK_CONTAINER(old_parent), native_);
  gtk_box_pack_start(GTK_BOX(outer_), native_, TRUE, TRUE, 0);
  gtk_widget_show(native_);
}

void ControlView::lay_out_offscreen(RECT client_rect) {
  if (gtk_widget_get_mapped(outer_)) return;
  // The toolkit sizes widgets only in windows on the screen; a hosted control measures its
  // content at its window's size before the dialog is shown.
  GtkRequisition minimum;
  gtk_widget_get_preferred_size(outer_, &minimum, nullptr);
  GtkAllocation allocation{client_rect.left, client_rect.top, client_rect.right - client_rect.left,
                           client_rect.bottom - client_rect.top};
  gtk_widget_size_allocate(outer_, &allocation);
}

void ControlView::set_mnemonic_target(GtkWidget *target) {
  if (kind_ == ControlKind::kLabel) gtk_label_set_mnemonic_widget(GTK_LABEL(inner_), target);
}

void ControlView::show_text(const WindowState &state) {
  switch (kind_) {
    case ControlKind::kLabel:
      if ((state.style & kStaticNoPrefix) != 0)
        gtk_label_set_text(GTK_LABEL(inner_), utf8_of(state.text).c_str());
      else
        gtk_label_set_text_with_mnemonic(GTK_LABEL(inner_), mnemonic_label(state.text).c_str());
      break;
    case ControlKind::kButton: gtk_button_set_label(GTK_BUTTON(inner_), mnemonic_label(state.text).c_str()); break;
    case ControlKind::kEdit: {
      GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(inner_));
      gtk_text_buffer_set_text(buffer, edit_text(state.text).c_str(), -1);
      break;
    }
    default: break;
  }
}

void ControlView::show_items(const WindowState &state) {
  GtkComboBoxText *combo = GTK_COMBO_BOX_TEXT(inner_);
  bool same_items = state.items.size() == shown_.items.size();
  for (size_t i = 0; same_items && i < state.items.size(); ++i)
    same_items = state.items[i].text == shown_.items[i].text;
  if (!same_items) {
    gtk_combo_box_text_remove_all(combo);
    for (const ComboItem &item : state.items) gtk_combo_box_text_append_text(combo, utf8_of(item.text).c_str());
  }
  if (!same_items || state.cur_sel != gtk_combo_box_get_active(GTK_COMBO_BOX(inner_)))
    gtk_combo_box_set_active(GTK_COMBO_BOX(inner_), state.cur_sel);
}

void ControlView::update(const WindowState &state, RECT client_rect, GtkLayout *layout) {
  applying_ = true;
  const bool first = !placed_;
  if (first) {
    gtk_layout_put(layout, outer_, client_rect.left, client_rect.top);
    placed_ = true;
  } else if (client_rect.left != shown_rect_.left || client_rect.top != shown_rect_.top) {
    gtk_layout_move(layout, outer_, client_rect.left, client_rect.top);
  }
  if (first || client_rect.right - client_rect.left != shown_rect_.right - shown_rect_.left ||
      client_rect.bottom - client_rect.top != shown_rect_.bottom - shown_rect_.top)
    gtk_widget_set_size_request(outer_, client_rect.right - client_rect.left, client_rect.bottom - client_rect.top);
  shown_rect_ = client_rect;

  if (first || state.text != shown_.text) show_text(state);
  if (kind_ == ControlKind::kComboBox) show_items(state);
  if (kind_ == ControlKind::kEdit) {
    GtkTextView *text_view = GTK_TEXT_VIEW(inner_);
    const bool wraps = (state.style & (ES_AUTOHSCROLL | WS_HSCROLL)) == 0;
    gtk_text_view_set_wrap_mode(text_view, wraps ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
    gtk_text_view_set_editable(text_view, (state.style & ES_READONLY) == 0);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer_), scroll_policy(state.style, WS_HSCROLL),
                                   scroll_policy(state.style, WS_VSCROLL));
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer_),
                                        (state.style & WS_BORDER) != 0 ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
    // EM_LINESCROLL moved the view: show the same first line and column.
    if (first || state.text != shown_.text || state.first_line != shown_.first_line ||
        state.first_column != shown_.first_column) {
      GtkTextBuffer *buffer = gtk_text_view_get_buffer(text_view);
      GtkTextIter at;
      gtk_text_buffer_get_iter_at_line_offset(buffer, &at, state.first_line, 0);
      gtk_text_iter_forward_chars(&at, state.first_column);
      GtkTextMark *mark = gtk_text_buffer_create_mark(buffer, nullptr, &at, TRUE);
      gtk_text_view_scroll_to_mark(text_view, mark, 0.0, TRUE, 0.0, 0.0);
      gtk_text_buffer_delete_mark(buffer, mark);
    }
  }
  if (kind_ == ControlKind::kButton) {
    GtkStyleContext *style = gtk_widget_get_style_context(inner_);
    if ((state.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      gtk_style_context_add_class(style, GTK_STYLE_CLASS_SUGGESTED_ACTION);
    else
      gtk_style_context_remove_class(style, GTK_STYLE_CLASS_SUGGESTED_ACTION);
  }
  gtk_widget_set_sensitive(outer_, state.enabled);
  gtk_widget_set_visible(outer_, (state.style & WS_VISIBLE) != 0);
  shown_ = state;
  applying_ = false;
}

void ControlView::on_clicked(GtkButton *, ControlView *view) {
  if (!view->applying_) PostMessageA(view->hwnd_, BM_CLICK, 0, 0);
}

void ControlView::on_combo_changed(GtkComboBox *combo, ControlView *view) {
  if (view->applying_) return;
  const int position = gtk_combo_box_get_active(combo);
  if (position < 0) return;
  // As a person's choice in the list: the selection moves, then the dialog hears of it.
  PostMessageA(view->hwnd_, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  PostMessageA(view->dialog_, WM_COMMAND, MAKEWPARAM(view->shown_.id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(view->hwnd_));
}

void ControlView::on_buffer_changed(GtkTextBuffer *buffer, ControlView *view) {
  if (view->applying_ || (view->shown_.style & ES_READONLY) != 0) return;
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar *utf8 = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
  view->shown_.text = edit_ansi(utf8);
  g_free(utf8);
  SetWindowTextA(view->hwnd_, view->shown_.text.c_str());
}

}  // namespace winsys::desktop
