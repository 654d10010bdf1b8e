// control_view.h - the view of one child window: the toolkit widget that shows a static, edit box, combo box, button or hosted control, kept like the window model's state.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "platform/windows/window_state.h"

namespace winsys::desktop {

enum class ControlKind { kLabel, kPicture, kEdit, kComboBox, kButton, kHost };

// A widget in its top-level window's fixed layout. The window model is the truth: update()
// makes the widget show the state it is given, and what the person does to the widget goes
// back to the model as the messages a real control would cause, posted so that it is handled
// by the message loop in order: BM_CLICK for a button, CB_SETCURSEL then CBN_SELCHANGE for a
// combo box; an editable edit box's new text is set at once (it notifies no one).
class ControlView {
 public:
  // The widget for a child of `dialog` with this state; not yet placed anywhere.
  static std::unique_ptr<ControlView> create(const WindowState &state, HWND dialog);
  ~ControlView();
  ControlView(const ControlView &) = delete;
  ControlView &operator=(const ControlView &) = delete;

  HWND hwnd() const { return hwnd_; }
  ControlKind kind() const { return kind_; }
  // What is placed in the layout, and what takes the focus.
  GtkWidget *outer() const { return outer_; }
  GtkWidget *focus_widget() const;
  // Whether `widget` is this view's widget or inside it.
  bool holds(GtkWidget *widget) const;

  // Shows `state`: text, items and selection, visibility, enabled state, and the rectangle,
  // given in the parent's client coordinates. Only what changed since the last update touches
  // the widget, so the person's scrolling and selection survive.
  void update(const WindowState &state, RECT client_rect, GtkLayout *layout);
  // A hosted control's own view goes into a host's widget (null takes it out); it then fills
  // the host's rectangle.
  void set_native_view(GtkWidget *view);
  GtkWidget *native_view() const { return native_; }
  // Lays a host's native view out at the host's size now, for a window not on the screen yet.
  void lay_out_offscreen(RECT client_rect);
  // A static's mnemonic takes the focus to `target`, the next control in tab order.
  void set_mnemonic_target(GtkWidget *target);

 private:
  ControlView(HWND hwnd, HWND dialog, ControlKind kind);
  void build(const WindowState &state);
  void show_text(const WindowState &state);
  void show_items(const WindowState &state);
  static void on_clicked(GtkButton *button, ControlView *view);
  static void on_combo_changed(GtkComboBox *combo, ControlView *view);
  static void on_buffer_changed(GtkTextBuffer *buffer, ControlView *view);

  HWND hwnd_;
  HWND dialog_;
  ControlKind kind_;
  GtkWidget *outer_ = nullptr;   // one reference of ours, besides the layout's
  GtkWidget *inner_ = nullptr;   // the label, picture, text view, combo box or button
  GtkWidget *native_ = nullptr;  // one reference of ours
  bool applying_ = false;        // the view itself is changing the widget: its signals are no input
  bool placed_ = false;
  WindowState shown_;  // the state last shown
  RECT shown_rect_{};
};

}  // namespace winsys::desktop
