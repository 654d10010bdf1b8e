// desktop_back_end.h - the desktop back end's object: the views of the top-level windows, waiting on the toolkit's main loop, metrics, the cursor, and hosted views (internal to platform/windows/gtk).
#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/windows/back_end.h"
#include "platform/windows/gtk/desktop_style.h"

namespace winsys::desktop {

class WindowView;

// One per process, made by use_desktop_back_end on the toolkit's thread and never destroyed.
// The window model stays the truth: each idle moment of a modal loop (and of a message box)
// first makes every visible top-level window's view show the model's state, then waits on the
// toolkit's main loop for the person, a due timer, or the thread's message queue (its wake
// descriptor, so that a message posted or a call sent from any thread is seen at once).
class DesktopBackEnd : public BackEnd {
 public:
  explicit DesktopBackEnd(GdkDisplay *display);
  static DesktopBackEnd *instance();  // null until use_desktop_back_end succeeded

  bool can_show_dialogs() override { return true; }
  void dialog_shown(HWND dialog) override;
  void dialog_closed(HWND dialog) override;
  void idle(HWND dialog, int timeout_ms) override;
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override;
  int system_metric(int index) override;
  POINT dialog_base_units(const char *face, int points, int weight, bool italic) override;
  void cursor_changed(HCURSOR cursor) override;

  // Makes every view show the model's state now.
  void sync_views();
  // Waits on the toolkit's main loop at most timeout_ms (negative: until something happens), or
  // until the calling thread's message queue has something.
  void wait(int timeout_ms);
  // The view of a top-level window, or null.
  WindowView *view_of(HWND hwnd);
  // The toolkit window showing the top-level window of `hwnd`, for a box owned by it; or null.
  GtkWindow *toolkit_window_of(HWND hwnd);
  bool on_toolkit_thread() const { return std::this_thread::get_id() == toolkit_thread_; }
  bool is_modal(HWND dialog) const { return modal_.count(dialog) != 0; }
  // The wait cursor while the model shows it, else null (the toolkit's own).
  GdkCursor *cursor() const;
  GtkWidget *native_view(HWND host) const;
  void attach_native_view(HWND host, GtkWidget *view);
  void detach_native_view(HWND host);

 private:
  void apply_cursor();
  static void on_screen_changed(GdkScreen *screen, DesktopBackEnd *back_end);

  GdkDisplay *display_;
  std::thread::id toolkit_thread_;
  std::map<HWND, std::unique_ptr<WindowView>> views_;
  std::set<HWND> modal_;
  std::map<HWND, GtkWidget *> native_views_;  // one reference each
  GdkCursor *wait_cursor_ = nullptr;
  std::atomic<bool> waiting_ = false;  // the model's cursor is the wait cursor
  bool waiting_shown_ = false;         // what the views show
  mutable std::mutex metrics_mutex_;
  ScreenMetrics metrics_;
};

}  // namespace winsys::desktop
