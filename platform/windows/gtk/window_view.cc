// window_view.cc - a top-level window's view: its frame and layout following the model, and the keys, focus changes and close box of the person going back to it.
#include "platform/windows/gtk/window_view.h"

#include <strings.h>

#include <algorithm>
#include <vector>

#include "platform/windows/gtk/desktop_back_end.h"
#include "platform/windows/gtk/view_text.h"

namespace winsys::desktop {

WindowView::WindowView(DesktopBackEnd &back_end, const WindowState &state)
    : back_end_(back_end), hwnd_(state.hwnd), style_(state.style) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), kWindowClass);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  if (strcasecmp(state.class_name.c_str(), "#32770") == 0)
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  if ((style_ & WS_CAPTION) == WS_CAPTION)
    caption_bar_ = add_caption_bar(GTK_WINDOW(window_), "", (style_ & WS_SYSMENU) != 0);
  else
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  // Not a GtkFixed: a layout asks nothing of its children's natural sizes, so a hosted view with
  // a large page inside cannot widen the window beyond what the model gives it.
  layout_ = gtk_layout_new(nullptr, nullptr);
  const std::string font = font_class_of(state.dialog_template);
  if (!font.empty()) gtk_style_context_add_class(gtk_widget_get_style_context(layout_), font.c_str());
  gtk_container_add(GTK_CONTAINER(window_), layout_);
  gtk_widget_show(layout_);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(on_key_press), this);
  g_signal_connect(window_, "set-focus", G_CALLBACK(on_set_focus), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(on_map), this);
}

WindowView::~WindowView() {
  g_signal_handlers_disconnect_by_data(window_, this);
  controls_.clear();
  gtk_widget_destroy(window_);
  g_object_unref(window_);
}

ControlView *WindowView::control(HWND hwnd) const {
  const auto found = controls_.find(hwnd);
  return found != controls_.end() ? found->second.get() : nullptr;
}

ControlView *WindowView::control_holding(GtkWidget *widget) const {
  for (const auto &[hwnd, control] : controls_)
    if (control->holds(widget)) return control.get();
  return nullptr;
}

RECT WindowView::client_rect_of(const WindowState &child) const {
  POINT origin{0, 0};
  ClientToScreen(hwnd_, &origin);
  return {child.rect.left - origin.x, child.rect.top - origin.y, child.rect.right - origin.x,
          child.rect.bottom - origin.y};
}

void WindowView::sync(const WindowState &state, HWND locked) {
  const bool on_screen = gtk_widget_get_mapped(window_);
  const bool held = locked == hwnd_ && on_screen;
  for (auto it = controls_.begin(); it != controls_.end();) {
    const bool gone = std::find(state.children.begin(), state.children.end(), it->first) == state.children.end();
    it = gone ? controls_.erase(it) : std::next(it);
  }
  for (HWND child : state.children) {
    const std::optional<WindowState> child_state = window_state(child);
    if (!child_state) continue;
    std::unique_ptr<ControlView> &control = controls_[child];
    if (control == nullptr) control = ControlView::create(*child_state, hwnd_);
    control->set_native_view(back_end_.native_view(child));
    const RECT rect = client_rect_of(*child_state);
    if (!held && locked != child) control->update(*child_state, rect, GTK_LAYOUT(layout_));
    if (!on_screen && control->native_view() != nullptr) control->lay_out_offscreen(rect);
  }
  if (locked == hwnd_) return;
  link_mnemonics(state);
  // The focus first: a window shown without one would pick a widget of its own.
  sync_focus();
  applying_focus_ = true;
  sync_frame(state);
  applying_focus_ = false;
}

// A static's mnemonic reaches the next control in tab order, as the dialog manager's does.
void WindowView::link_mnemonics(const WindowState &state) {
  for (size_t i = 0; i < state.children.size(); ++i) {
    ControlView *label = control(state.children[i]);
    if (label == nullptr || label->kind() != ControlKind::kLabel) continue;
    GtkWidget *target = nullptr;
    for (size_t j = i + 1; j < state.children.size() && target == nullptr; ++j) {
      const ControlView *next = control(state.children[j]);
      if (next != nullptr && (GetWindowLongPtrA(state.children[j], GWL_STYLE) & WS_TABSTOP) != 0)
        target = next->focus_widget();
    }
    label->set_mnemonic_target(target);
  }
}

void WindowView::sync_frame(const WindowState &state) {
  // The caption as shown carries the decoration (the requesting site), which may change while
  // the text stays.
  const std::string shown = shown_caption(state.text);
  if (!frame_shown_ || shown != title_) {
    title_ = shown;
    const std::string title = utf8_of(title_);
    gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
    if (caption_bar_ != nullptr) gtk_header_bar_set_title(GTK_HEADER_BAR(caption_bar_), title.c_str());
  }
  if (WindowView *owner = state.owner != nullptr ? back_end_.view_of(state.owner) : nullptr)
    gtk_window_set_transient_for(GTK_WINDOW(window_), owner->window());
  gtk_window_set_modal(GTK_WINDOW(window_), back_end_.is_modal(hwnd_));

  // The model's frame: the caption bar on top, the dialog frame around the client area.
  const RECT &r = state.rect;
  POINT origin{0, 0};
  ClientToScreen(hwnd_, &origin);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int left = origin.x - r.left, top = origin.y - r.top;
  const int right = (r.right - r.left) - left - client.right, bottom = (r.bottom - r.top) - top - client.bottom;
  const int caption = caption_bar_ != nullptr ? std::max(0, top - left) : 0;
  if (caption_bar_ != nullptr) gtk_widget_set_size_request(caption_bar_, -1, caption);
  gtk_widget_set_margin_start(layout_, left);
  gtk_widget_set_margin_end(layout_, std::max(0, right));
  gtk_widget_set_margin_top(layout_, top - caption);
  gtk_widget_set_margin_bottom(layout_, std::max(0, bottom));
  gtk_widget_set_size_request(layout_, client.right, client.bottom);
  // Not resizable, the window takes the size of what it holds, which is the model's.
  if (!frame_shown_ || r.left != rect_.left || r.top != rect_.top) gtk_window_move(GTK_WINDOW(window_), r.left, r.top);
  rect_ = r;

  const bool visible = (state.style & WS_VISIBLE) != 0;
  if (visible != gtk_widget_get_visible(window_)) gtk_widget_set_visible(window_, visible);
  const HWND active = GetActiveWindow();
  if (visible && active == hwnd_ && active_ != hwnd_) gtk_window_present(GTK_WINDOW(window_));
  active_ = active;
  if (!frame_shown_) apply_cursor(back_end_.cursor());
  frame_shown_ = true;
}

void WindowView::sync_focus() {
  const ControlView *focus = control(GetFocus());
  GtkWidget *target = focus != nullptr ? focus->focus_widget() : nullptr;
  if (target == nullptr || focus->holds(gtk_window_get_focus(GTK_WINDOW(window_)))) return;
  applying_focus_ = true;
  gtk_widget_grab_focus(target);
  applying_focus_ = false;
}

void WindowView::apply_cursor(GdkCursor *cursor) {
  GdkWindow *top = gtk_widget_get_window(window_);
  if (top == nullptr) return;
  // Every window of the toolkit inside, as a hosted view keeps a cursor of its own.
  std::vector<GdkWindow *> pending{top};
  while (!pending.empty()) {
    GdkWindow *window = pending.back();
    pending.pop_back();
    gdk_window_set_cursor(window, cursor);
    for (GList *child = gdk_window_peek_children(window); child != nullptr; child = child->next)
      pending.push_back(static_cast<GdkWindow *>(child->data));
  }
}

void WindowView::post_key(int vk) {
  HWND target = GetFocus();
  if (target == nullptr || controls_.count(target) == 0) target = hwnd_;
  PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
}

gboolean WindowView::on_key_press(GtkWidget *, GdkEventKey *event, WindowView *view) {
  const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: {
      if (modifiers != 0) return FALSE;
      // A focused push button takes Enter itself, as on Windows.
      const ControlView *focus = view->control_holding(gtk_window_get_focus(view->window()));
      if (focus != nullptr && focus->kind() == ControlKind::kButton) return FALSE;
      view->post_key(VK_RETURN);
      return TRUE;
    }
    case GDK_KEY_Escape: view->post_key(VK_ESCAPE); return TRUE;
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab: {
      if ((modifiers & ~GDK_SHIFT_MASK) != 0) return FALSE;
      const bool backwards = (modifiers & GDK_SHIFT_MASK) != 0 || event->keyval == GDK_KEY_ISO_Left_Tab;
      PostMessageA(view->hwnd_, WM_NEXTDLGCTL, backwards ? 1 : 0, FALSE);
      return TRUE;
    }
    default: return FALSE;
  }
}

void WindowView::on_set_focus(GtkWindow *, GtkWidget *widget, WindowView *view) {
  if (view->applying_focus_) return;
  const ControlView *control = view->control_holding(widget);
  if (control != nullptr && GetFocus() != control->hwnd())
    PostMessageA(view->hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->hwnd()), TRUE);
}

gboolean WindowView::on_map(GtkWidget *, GdkEvent *, WindowView *view) {
  // The active window takes the keyboard once it is on the screen: presenting a window that is
  // not there yet only shows it, and without a window manager nothing else would focus it.
  if (GetActiveWindow() == view->hwnd_) gtk_window_present(view->window());
  return FALSE;
}

gboolean WindowView::on_delete(GtkWidget *, GdkEvent *, WindowView *view) {
  // The model decides: a dialog takes the close box as Cancel. Without a system menu there is
  // no close box to press.
  if ((view->style_ & WS_SYSMENU) != 0) PostMessageA(view->hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

}  // namespace winsys::desktop
