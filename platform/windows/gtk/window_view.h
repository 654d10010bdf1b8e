// window_view.h - the view of one top-level window: a toolkit window with our caption bar and a fixed layout of control views, and the dialog keyboard.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>

#include "platform/windows/gtk/control_view.h"
#include "platform/windows/window_state.h"

namespace winsys::desktop {

class DesktopBackEnd;

// The window's rectangle, caption, visibility and focus follow the model. What the person does
// goes back as messages posted to the model: Enter and Escape as WM_KEYDOWN to the focus window
// (the dialog manager turns them into the default button and Cancel; Enter on a focused push
// button presses that button instead), Tab and Shift+Tab and a click that moves the focus as
// WM_NEXTDLGCTL, the close box as WM_SYSCOMMAND SC_CLOSE. Mnemonics are the toolkit's own.
class WindowView {
 public:
  WindowView(DesktopBackEnd &back_end, const WindowState &state);
  ~WindowView();
  WindowView(const WindowView &) = delete;
  WindowView &operator=(const WindowView &) = delete;

  HWND hwnd() const { return hwnd_; }
  GtkWindow *window() const { return GTK_WINDOW(window_); }

  // Shows `state`. `locked` is the window LockWindowUpdate holds, if any: a locked window on the
  // screen keeps its look, a locked child keeps its own; a locked window not yet on the screen
  // is made ready but not shown. Hosted views get their size either way.
  void sync(const WindowState &state, HWND locked);
  // Shows the cursor (null: the toolkit's own) over the window and everything in it.
  void apply_cursor(GdkCursor *cursor);
  // The view of a child control, or of the one holding `widget`; null when there is none.
  ControlView *control(HWND hwnd) const;
  ControlView *control_holding(GtkWidget *widget) const;

 private:
  void sync_frame(const WindowState &state);
  void sync_focus();
  void link_mnemonics(const WindowState &state);
  RECT client_rect_of(const WindowState &child) const;
  void post_key(int vk);
  static gboolean on_key_press(GtkWidget *widget, GdkEventKey *event, WindowView *view);
  static void on_set_focus(GtkWindow *window, GtkWidget *widget, WindowView *view);
  static gboolean on_delete(GtkWidget *widget, GdkEvent *event, WindowView *view);
  static gboolean on_map(GtkWidget *widget, GdkEvent *event, WindowView *view);

  DesktopBackEnd &back_end_;
  HWND hwnd_;
  DWORD style_;
  GtkWidget *window_;
  GtkWidget *caption_bar_ = nullptr;
  GtkWidget *layout_;  // the client area
  std::map<HWND, std::unique_ptr<ControlView>> controls_;
  bool applying_focus_ = false;
  bool frame_shown_ = false;
  std::string title_;
  RECT rect_{};
  HWND active_ = nullptr;
};

}  // namespace winsys::desktop
