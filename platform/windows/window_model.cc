// window_model.cc - windows by handle: classes, creation and destruction, the tree, geometry and snapshots.
#include "platform/windows/window_model.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/base/last_error.h"
#include "platform/windows/back_end.h"

namespace winsys {
namespace {

struct WindowClass {
  std::string name;
  WNDPROC proc;
};

// Handles count up and are never reused, so a stale handle can never reach a newer window.
uintptr_t g_next_handle = 0x10000;
std::map<uintptr_t, Window> g_windows;
std::vector<HWND> g_top_levels;
std::vector<WindowClass> g_classes;

const WindowClass *find_class(LPCSTR name) {
  static const bool builtins_registered = [] {
    g_classes.push_back({"STATIC", static_proc});
    g_classes.push_back({"EDIT", edit_proc});
    g_classes.push_back({"COMBOBOX", combo_proc});
    g_classes.push_back({"BUTTON", button_proc});
    g_classes.push_back({"#32770", DefDlgProcA});
    return true;
  }();
  (void)builtins_registered;
  for (const WindowClass &c : g_classes)
    if (strcasecmp(c.name.c_str(), name) == 0) return &c;
  return nullptr;
}

uintptr_t key(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

}  // namespace

std::mutex &model_mutex() {
  static std::mutex mutex;
  return mutex;
}

Window *find_window(HWND hwnd) {
  const auto it = g_windows.find(key(hwnd));
  if (it == g_windows.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return &it->second;
}

RECT nonclient_insets(const Window &w) {
  // A caption implies the dialog frame; a plain border is one pixel. Scroll bars are drawn
  // inside the client area by our back ends, so they take no room here.
  RECT insets{};
  LONG frame = 0;
  if ((w.style & WS_CAPTION) == WS_CAPTION || (w.style & (WS_DLGFRAME | DS_MODALFRAME)) != 0)
    frame = back_end().system_metric(SM_CXDLGFRAME);
  else if ((w.style & WS_BORDER) != 0)
    frame = back_end().system_metric(SM_CXBORDER);
  insets = {frame, frame, frame, frame};
  if ((w.style & WS_CAPTION) == WS_CAPTION) insets.top += back_end().system_metric(SM_CYCAPTION);
  return insets;
}

POINT client_origin(const Window &w) {
  const RECT r = screen_rect(w);
  const RECT insets = nonclient_insets(w);
  return {r.left + insets.left, r.top + insets.top};
}

RECT screen_rect(const Window &w) {
  RECT r = w.rect;
  if (w.parent == nullptr) return r;
  const Window *parent = find_window(w.parent);
  if (parent == nullptr) return r;
  const POINT origin = client_origin(*parent);
  return {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
}

std::vector<HWND> &siblings_of(const Window &w) {
  if (w.parent != nullptr) {
    Window *parent = find_window(w.parent);
    if (parent != nullptr) return parent->children;
  }
  return g_top_levels;
}

HWND top_level_of(HWND hwnd) {
  for (const Window *w = find_window(hwnd); w != nullptr; w = find_window(w->parent)) {
    if (w->parent == nullptr) return w->handle;
  }
  return nullptr;
}

bool is_visible(const Window &w) {
  for (const Window *a = &w; a != nullptr; a = a->parent != nullptr ? find_window(a->parent) : nullptr) {
    if ((a->style & WS_VISIBLE) == 0) return false;
  }
  return true;
}

bool is_ancestor_or_self(HWND ancestor, HWND descendant) {
  for (const Window *w = find_window(descendant); w != nullptr; w = find_window(w->parent)) {
    if (w->handle == ancestor) return true;
    if (w->parent == nullptr) break;
  }
  return false;
}

HWND create_window(DWORD exstyle, LPCSTR class_name, LPCSTR window_name, DWORD style, RECT rect, HWND parent,
                   int id, HINSTANCE instance) {
  const WindowClass *window_class = class_name != nullptr ? find_class(class_name) : nullptr;
  if (window_class == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent != nullptr && find_window(parent) == nullptr) return nullptr;
  const HWND hwnd = reinterpret_cast<HWND>(g_next_handle);
  g_next_handle += 4;
  Window &w = g_windows[key(hwnd)];
  w.handle = hwnd;
  w.class_name = window_class->name;
  w.proc = window_class->proc;
  w.style = style;
  w.exstyle = exstyle;
  w.thread = std::this_thread::get_id();
  w.instance = instance;
  w.rect = rect;
  if (window_name != nullptr && IS_INTRESOURCE(window_name))
    w.resource_name = static_cast<WORD>(reinterpret_cast<uintptr_t>(window_name));
  else if (window_name != nullptr)
    w.text = window_name;
  // A child's id is its menu argument; a top-level window's is its owner.
  if ((style & WS_CHILD) != 0) {
    w.parent = parent;
    w.id = id;
  } else {
    w.owner = parent != nullptr ? top_level_of(parent) : nullptr;
  }
  // New windows go below their siblings, so template order is z order and tab order.
  siblings_of(w).push_back(hwnd);
  return hwnd;
}

bool belongs_to_other_thread(HWND hwnd) {
  std::lock_guard<std::mutex> lock(model_mutex());
  const Window *w = find_window(hwnd);
  return w != nullptr && w->thread != std::this_thread::get_id();
}

WNDPROC window_proc(HWND hwnd) {
  std::lock_guard<std::mutex> lock(model_mutex());
  const Window *w = find_window(hwnd);
  return w != nullptr ? w->proc : nullptr;
}

std::optional<WindowState> window_state(HWND hwnd) {
  std::lock_guard<std::mutex> lock(model_mutex());
  const Window *w = find_window(hwnd);
  if (w == nullptr) return std::nullopt;
  WindowState s;
  s.hwnd = w->handle;
  s.parent = w->parent;
  s.owner = w->owner;
  s.class_name = w->class_name;
  s.id = w->id;
  s.style = w->style;
  s.exstyle = w->exstyle;
  s.text = w->text;
  s.rect = screen_rect(*w);
  s.visible = is_visible(*w);
  s.enabled = (w->style & WS_DISABLED) == 0;
  s.focused = focus_window() == hwnd;
  s.children = w->children;
  s.invalidations = w->invalidations;
  s.erase_pending = w->erase_pending;
  s.items = w->items;
  s.cur_sel = w->cur_sel;
  s.dropped_height = w->dropped_height;
  s.first_line = w->first_line;
  s.first_column = w->first_column;
  s.image_width = w->image_width;
  s.image_height = w->image_height;
  s.image = w->image;
  s.image_bytes = w->image_bytes;
  s.dialog_template = w->dialog_template;
  return s;
}

std::vector<HWND> top_level_windows() {
  std::lock_guard<std::mutex> lock(model_mutex());
  return g_top_levels;
}

HWND find_descendant(HWND hwnd, const std::string &class_name) {
  const std::optional<WindowState> s = window_state(hwnd);
  if (!s) return nullptr;
  for (HWND child : s->children) {
    const std::optional<WindowState> c = window_state(child);
    if (c && strcasecmp(c->class_name.c_str(), class_name.c_str()) == 0) return child;
    if (HWND found = find_descendant(child, class_name)) return found;
  }
  return nullptr;
}

}  // namespace winsys

using winsys::Window;

BOOL RegisterClassA(const WNDCLASSA *lpWndClass) {
  if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr || lpWndClass->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  if (winsys::find_class(lpWndClass->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return FALSE;
  }
  winsys::g_classes.push_back({lpWndClass->lpszClassName, lpWndClass->lpfnWndProc});
  return TRUE;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, void *lpParam) {
  HWND hwnd;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    hwnd = winsys::create_window(dwExStyle, lpClassName, lpWindowName, dwStyle, {X, Y, X + nWidth, Y + nHeight},
                                 hWndParent, static_cast<int>(reinterpret_cast<intptr_t>(hMenu)), hInstance);
  }
  if (hwnd == nullptr) return nullptr;
  CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                       static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
  if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

BOOL DestroyWindow(HWND hWnd) {
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    const Window *w = winsys::find_window(hWnd);
    if (w == nullptr) return FALSE;
    children = w->children;
  }
  SendMessageA(hWnd, WM_DESTROY, 0, 0);
  for (HWND child : children) DestroyWindow(child);
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    Window *w = winsys::find_window(hWnd);
    if (w == nullptr) return TRUE;  // a WM_DESTROY handler got there first
    std::vector<HWND> &siblings = winsys::siblings_of(*w);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
    winsys::forget_window_state(hWnd);
    winsys::g_windows.erase(winsys::key(hWnd));
  }
  // Only now: a call queued for the window before it left the model is found and abandoned.
  winsys::forget_window_messages(hWnd);
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  return winsys::g_windows.count(winsys::key(hWnd)) != 0;
}

HWND GetParent(HWND hWnd) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hWnd);
  if (w == nullptr) return nullptr;
  return w->parent != nullptr ? w->parent : w->owner;
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hWnd);
  if (w == nullptr) return nullptr;
  switch (uCmd) {
    case GW_CHILD:
      return w->children.empty() ? nullptr : w->children.front();
    case GW_OWNER:
      return w->owner;
    case GW_HWNDFIRST:
      return winsys::siblings_of(*w).front();
    case GW_HWNDNEXT: {
      const std::vector<HWND> &siblings = winsys::siblings_of(*w);
      const auto it = std::find(siblings.begin(), siblings.end(), hWnd);
      return it != siblings.end() && it + 1 != siblings.end() ? *(it + 1) : nullptr;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hWnd);
  if (w == nullptr) return 0;
  switch (nIndex) {
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exstyle);
    case GWL_ID: return w->id;
    case GWLP_USERDATA: return w->user_data;
    case DWLP_MSGRESULT: return w->msg_result;
    case DWLP_USER: return w->dlg_user;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  Window *w = winsys::find_window(hWnd);
  if (w == nullptr) return 0;
  LONG_PTR old = 0;
  const auto swap_value = [&](auto &field) {
    old = static_cast<LONG_PTR>(field);
    field = static_cast<std::remove_reference_t<decltype(field)>>(dwNewLong);
  };
  switch (nIndex) {
    case GWL_STYLE: swap_value(w->style); break;
    case GWL_EXSTYLE: swap_value(w->exstyle); break;
    case GWL_ID: swap_value(w->id); break;
    case GWLP_USERDATA: swap_value(w->user_data); break;
    case DWLP_MSGRESULT: swap_value(w->msg_result); break;
    case DWLP_USER: swap_value(w->dlg_user); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); break;
  }
  return old;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hWnd);
  if (w == nullptr || lpClassName == nullptr || nMaxCount <= 0) return 0;
  const size_t n = std::min(w->class_name.size(), static_cast<size_t>(nMaxCount - 1));
  memcpy(lpClassName, w->class_name.data(), n);
  lpClassName[n] = '\0';
  return static_cast<int>(n);
}
