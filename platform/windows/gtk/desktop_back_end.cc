// desktop_back_end.cc - the desktop back end: keeping the views in step with the model, waiting on the toolkit, metrics, the cursor, hosted views and the back end's choice.
#include "platform/windows/gtk/desktop_back_end.h"

#include <glib-unix.h>

#include <algorithm>

#include "platform/windows/gtk/desktop.h"
#include "platform/windows/gtk/message_box.h"
#include "platform/windows/gtk/window_view.h"
#include "platform/windows/window_state.h"

namespace winsys::desktop {

namespace {

DesktopBackEnd *g_instance = nullptr;

HWND top_level_of(HWND hwnd) {
  while (hwnd != nullptr && (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) != 0) hwnd = GetParent(hwnd);
  return hwnd;
}

gboolean stop_waiting(gpointer fired) {
  *static_cast<bool *>(fired) = true;
  return G_SOURCE_REMOVE;
}

gboolean queue_readable(gint, GIOCondition, gpointer readable) { return stop_waiting(readable); }

}  // namespace

DesktopBackEnd::DesktopBackEnd(GdkDisplay *display) : display_(display), toolkit_thread_(std::this_thread::get_id()) {
  GdkScreen *screen = gdk_display_get_default_screen(display);
  install_style(screen);
  metrics_ = measure_screen(display);
  wait_cursor_ = gdk_cursor_new_from_name(display, "wait");
  if (wait_cursor_ == nullptr) wait_cursor_ = gdk_cursor_new_for_display(display, GDK_WATCH);
  g_signal_connect(screen, "monitors-changed", G_CALLBACK(on_screen_changed), this);
  g_signal_connect(screen, "size-changed", G_CALLBACK(on_screen_changed), this);
}

DesktopBackEnd *DesktopBackEnd::instance() { return g_instance; }

void DesktopBackEnd::on_screen_changed(GdkScreen *, DesktopBackEnd *back_end) {
  const ScreenMetrics metrics = measure_screen(back_end->display_);
  std::lock_guard<std::mutex> lock(back_end->metrics_mutex_);
  back_end->metrics_ = metrics;
}

void DesktopBackEnd::dialog_shown(HWND dialog) {
  modal_.insert(dialog);
  sync_views();
}

void DesktopBackEnd::dialog_closed(HWND dialog) {
  modal_.erase(dialog);
  views_.erase(dialog);
  // Gone from the screen now, not when the loop next runs.
  gdk_display_flush(display_);
}

void DesktopBackEnd::idle(HWND, int timeout_ms) {
  sync_views();
  wait(timeout_ms);
}

void DesktopBackEnd::sync_views() {
  const HWND locked = update_locked_window();
  std::vector<HWND> windows = top_level_windows();
  // Bottom first, so that an owner's view exists before the views it owns.
  std::reverse(windows.begin(), windows.end());
  for (HWND hwnd : windows) {
    const std::optional<WindowState> state = window_state(hwnd);
    if (!state || (!state->visible && views_.count(hwnd) == 0)) continue;
    std::unique_ptr<WindowView> &view = views_[hwnd];
    if (view == nullptr) view = std::make_unique<WindowView>(*this, *state);
    view->sync(*state, locked);
  }
  std::erase_if(views_, [&](const auto &entry) {
    return std::find(windows.begin(), windows.end(), entry.first) == windows.end();
  });
  // A cursor set on another thread shows now.
  if (waiting_ != waiting_shown_) apply_cursor();
  for (auto it = native_views_.begin(); it != native_views_.end();) {
    if (IsWindow(it->first)) {
      ++it;
      continue;
    }
    g_object_unref(it->second);
    it = native_views_.erase(it);
  }
}

void DesktopBackEnd::wait(int timeout_ms) {
  if (timeout_ms == 0) {
    g_main_context_iteration(nullptr, FALSE);
    return;
  }
  // The queue's descriptor is watched only while we wait here: it stays readable until the modal
  // loop takes what came, and a loop of the toolkit's own (a page's script call) must not spin
  // on it meanwhile. Readable already, it ends the wait at once.
  bool fired = false, readable = false;
  const guint timer = timeout_ms > 0 ? g_timeout_add(static_cast<guint>(timeout_ms), stop_waiting, &fired) : 0;
  const guint queue = g_unix_fd_add(message_queue_wake_fd(), G_IO_IN, queue_readable, &readable);
  g_main_context_iteration(nullptr, TRUE);
  if (timer != 0 && !fired) g_source_remove(timer);
  if (!readable) g_source_remove(queue);
}

WindowView *DesktopBackEnd::view_of(HWND hwnd) {
  const auto found = views_.find(hwnd);
  return found != views_.end() ? found->second.get() : nullptr;
}

GtkWindow *DesktopBackEnd::toolkit_window_of(HWND hwnd) {
  WindowView *view = hwnd != nullptr && IsWindow(hwnd) ? view_of(top_level_of(hwnd)) : nullptr;
  return view != nullptr ? view->window() : nullptr;
}

int DesktopBackEnd::message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) {
  // The toolkit lives on one thread; a box asked for elsewhere cannot be shown.
  if (!on_toolkit_thread()) return 0;
  sync_views();
  return run_message_box(*this, toolkit_window_of(owner), text, caption, type);
}

int DesktopBackEnd::system_metric(int index) {
  std::lock_guard<std::mutex> lock(metrics_mutex_);
  switch (index) {
    case SM_CXSCREEN: return metrics_.screen_width;
    case SM_CYSCREEN: return metrics_.screen_height;
    // Our dialogs have no frame that could hang off the work area when maximised.
    case SM_CXMAXIMIZED: return metrics_.work_width;
    case SM_CYMAXIMIZED: return metrics_.work_height;
    case SM_CYCAPTION: return metrics_.caption;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kDialogFrame;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return metrics_.scroll_bar;
    default: return BackEnd::system_metric(index);
  }
}

POINT DesktopBackEnd::dialog_base_units(const char *face, int points, int weight, bool italic) {
  return measure_base_units(dialog_font(face, points, weight, italic));
}

void DesktopBackEnd::cursor_changed(HCURSOR cursor) {
  waiting_ = cursor != nullptr && cursor == LoadCursorA(nullptr, IDC_WAIT);
  if (!on_toolkit_thread()) {
    g_main_context_wakeup(nullptr);
    return;
  }
  // Shown now: the work that asked for the wait cursor keeps the loop from running.
  apply_cursor();
}

GdkCursor *DesktopBackEnd::cursor() const { return waiting_ ? wait_cursor_ : nullptr; }

void DesktopBackEnd::apply_cursor() {
  waiting_shown_ = waiting_;
  for (const auto &[hwnd, view] : views_) view->apply_cursor(cursor());
  gdk_display_flush(display_);
}

GtkWidget *DesktopBackEnd::native_view(HWND host) const {
  const auto found = native_views_.find(host);
  return found != native_views_.end() ? found->second : nullptr;
}

void DesktopBackEnd::attach_native_view(HWND host, GtkWidget *view) {
  detach_native_view(host);
  if (view == nullptr) return;
  native_views_[host] = GTK_WIDGET(g_object_ref(view));
}

void DesktopBackEnd::detach_native_view(HWND host) {
  const auto found = native_views_.find(host);
  if (found == native_views_.end()) return;
  for (const auto &[hwnd, view] : views_)
    if (ControlView *control = view->control(host)) control->set_native_view(nullptr);
  g_object_unref(found->second);
  native_views_.erase(found);
}

}  // namespace winsys::desktop

namespace winsys {

bool use_desktop_back_end() {
  using desktop::DesktopBackEnd;
  if (desktop::g_instance == nullptr) {
    // The process keeps its C locale: the toolkit must not change how numbers and texts are read.
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr)) return false;
    desktop::g_instance = new DesktopBackEnd(gdk_display_get_default());  // never destroyed
  }
  use_back_end(desktop::g_instance);
  return true;
}

void attach_native_view(HWND host, GtkWidget *view) {
  if (desktop::g_instance != nullptr && &back_end() == desktop::g_instance)
    desktop::g_instance->attach_native_view(host, view);
}

void detach_native_view(HWND host) {
  if (desktop::g_instance != nullptr) desktop::g_instance->detach_native_view(host);
}

}  // namespace winsys
