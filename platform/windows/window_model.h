// window_model.h - the window system's shared state inside the library: windows by handle, classes, z order and geometry.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/window_state.h"
#include "platform/windows/winuser.h"

namespace winsys {

struct Window {
  HWND handle = nullptr;
  std::string class_name;  // as registered
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exstyle = 0;
  int id = 0;
  std::string text;
  RECT rect{};  // in the parent's client coordinates; screen coordinates for a top-level window
  HWND parent = nullptr;
  HWND owner = nullptr;
  std::vector<HWND> children;  // z order, topmost first
  std::thread::id thread;
  HINSTANCE instance = nullptr;
  LONG_PTR user_data = 0;
  WORD resource_name = 0;  // a control whose template text named a resource

  // Dialogs.
  const DialogTemplate *dialog_template = nullptr;  // owned by its module
  DLGPROC dlgproc = nullptr;
  LONG_PTR msg_result = 0;
  LONG_PTR dlg_user = 0;
  bool ended = false;
  INT_PTR end_result = 0;
  int base_x = 0, base_y = 0;  // dialog base units in pixels

  int invalidations = 0;
  bool erase_pending = false;

  // Combo boxes and edit boxes.
  std::vector<ComboItem> items;
  int cur_sel = -1;
  int dropped_height = 0;
  int first_line = 0;
  int first_column = 0;

  int image_width = 0, image_height = 0;
  const BYTE *image = nullptr;  // the bitmap's info header and pixels, in its module's resources
  size_t image_bytes = 0;
};

// Every model access holds this lock. It is never held while a window procedure, a dialog
// procedure or the back end runs, since those call back into the model.
std::mutex &model_mutex();

// With the lock held: the live window, or null (and ERROR_INVALID_WINDOW_HANDLE).
Window *find_window(HWND hwnd);
// With the lock held: the window's screen rectangle and the screen origin of its client area.
RECT screen_rect(const Window &w);
POINT client_origin(const Window &w);
// With the lock held: the inset of the client area within the window rectangle, from the style.
RECT nonclient_insets(const Window &w);
// With the lock held: the sibling list holding hwnd (the parent's children or the top-level list).
std::vector<HWND> &siblings_of(const Window &w);
// With the lock held: the top-level window above a child (itself for a top-level window).
HWND top_level_of(HWND hwnd);
// With the lock held: WS_VISIBLE on the window and every ancestor.
bool is_visible(const Window &w);
// With the lock held: whether hwnd is ancestor or equal to descendant.
bool is_ancestor_or_self(HWND ancestor, HWND descendant);

// Creates the window in the model and returns its handle; the caller then sends WM_CREATE.
// Null when the class is unknown or the parent is not a window.
HWND create_window(DWORD exstyle, LPCSTR class_name, LPCSTR window_name, DWORD style, RECT rect, HWND parent,
                   int id, HINSTANCE instance);

// With the lock held (window_calls.cc): the focus window, and forgetting a destroyed window as
// focus, active window or update lock holder.
HWND focus_window();
void forget_window_state(HWND hwnd);

// The procedure of a live window, or null; takes the lock itself.
WNDPROC window_proc(HWND hwnd);

// Built-in class procedures (controls.cc, dialog_manager.cc).
LRESULT static_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT combo_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// The calling thread's wait until its next timer is due: 0 when one is due, -1 with no timer.
int milliseconds_to_next_timer();

// Takes the calling thread's next message and dispatches it as a modal loop does: through
// IsDialogMessageA when `dialog` is not null. False when none waits. WM_QUIT is not dispatched
// but posted again for the outer loop, and sets *quit.
bool dispatch_next_message(HWND dialog, bool *quit);

// The message queue's part in destruction, once the window is out of the model: forgets its
// timers and queued messages, and releases the senders of calls still waiting for it with 0.
void forget_window_messages(HWND hwnd);

// Whether hwnd is a window that another thread than the calling one created (owns). Takes the
// model lock itself.
bool belongs_to_other_thread(HWND hwnd);

// A call on another thread's window runs on that thread instead: queued there and delivered
// when the thread next looks at its queue, while the caller waits for the result. Run right
// here when the calling thread owns hwnd; 0, with ERROR_INVALID_WINDOW_HANDLE, when hwnd is no
// window; 0 when the window is destroyed before its owner gets to the call. Takes the model
// lock itself.
LRESULT call_on_owner_thread(HWND hwnd, std::function<LRESULT()> call);

}  // namespace winsys
