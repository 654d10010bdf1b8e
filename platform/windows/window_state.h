// window_state.h - what back ends and tests may read of any window: a snapshot of its state.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/windows/winuser.h"

namespace winsys {

struct ComboItem {
  std::string text;
  ULONG_PTR data = 0;
};

// A copy of one window's state at the moment it was taken.
struct WindowState {
  HWND hwnd = nullptr;
  HWND parent = nullptr;
  HWND owner = nullptr;
  std::string class_name;
  int id = 0;
  DWORD style = 0;
  DWORD exstyle = 0;
  std::string text;   // Windows-1252
  RECT rect{};        // window rectangle, screen coordinates
  bool visible = false;  // IsWindowVisible: it and every ancestor have WS_VISIBLE
  bool enabled = true;
  bool focused = false;
  std::vector<HWND> children;  // z order, topmost first
  int invalidations = 0;
  bool erase_pending = false;
  std::vector<ComboItem> items;  // a combo box's items in display order
  int cur_sel = -1;
  int dropped_height = 0;  // a drop-down combo box's height with its list open
  int first_line = 0;      // an edit box's first visible line and column
  int first_column = 0;
  int image_width = 0;  // a SS_BITMAP static's bitmap, 0 when none was found
  int image_height = 0;
  // That bitmap as a device-independent bitmap (info header, then pixels), owned by its module.
  const BYTE *image = nullptr;
  size_t image_bytes = 0;
  const DialogTemplate *dialog_template = nullptr;  // a dialog's, owned by its module: its font
};

std::optional<WindowState> window_state(HWND hwnd);
// Top-level windows of every thread, in z order, topmost first.
std::vector<HWND> top_level_windows();
// The window locked by LockWindowUpdate, or null.
HWND update_locked_window();
// The first window of that class (compared case-insensitively) among hwnd's descendants, depth
// first in z order, or null.
HWND find_descendant(HWND hwnd, const std::string &class_name);

}  // namespace winsys
