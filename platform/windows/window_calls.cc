// window_calls.cc - calls on one window's state: text, visibility, placement and z order, focus, activation, the update lock, cursors.
#include <algorithm>
#include <cstring>

#include "platform/base/last_error.h"
#include "platform/windows/back_end.h"
#include "platform/windows/window_model.h"

namespace winsys {
namespace {

// Per process, like the window system's own: one focus, one active window, one update lock.
HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND g_locked = nullptr;

struct Cursor {
  WORD id;
};
Cursor g_cursors[] = {{32512}, {32514}};  // IDC_ARROW, IDC_WAIT
HCURSOR g_cursor = nullptr;

template <typename T, typename F>
T with_window(HWND hwnd, T fallback, F f) {
  std::lock_guard<std::mutex> lock(model_mutex());
  Window *w = find_window(hwnd);
  return w != nullptr ? f(*w) : fallback;
}

}  // namespace

HWND focus_window() { return g_focus; }

void forget_window_state(HWND hwnd) {
  if (g_focus == hwnd) g_focus = nullptr;
  if (g_active == hwnd) g_active = nullptr;
  if (g_locked == hwnd) g_locked = nullptr;
}

HWND update_locked_window() {
  std::lock_guard<std::mutex> lock(model_mutex());
  return g_locked;
}

}  // namespace winsys

using winsys::Window;
using winsys::with_window;

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETTEXT:
      return with_window(hWnd, LRESULT{FALSE}, [&](Window &w) {
        w.text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        ++w.invalidations;
        return LRESULT{TRUE};
      });
    case WM_GETTEXT:
      return with_window(hWnd, LRESULT{0}, [&](Window &w) {
        if (wParam == 0 || lParam == 0) return LRESULT{0};
        const size_t n = std::min(w.text.size(), static_cast<size_t>(wParam) - 1);
        memcpy(reinterpret_cast<char *>(lParam), w.text.data(), n);
        reinterpret_cast<char *>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
      });
    case WM_GETTEXTLENGTH:
      return with_window(hWnd, LRESULT{0}, [](Window &w) { return static_cast<LRESULT>(w.text.size()); });
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_TIMER:
      if (lParam != 0) reinterpret_cast<TIMERPROC>(lParam)(hWnd, WM_TIMER, wParam, 0);
      return 0;
    default:
      return 0;
  }
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  return static_cast<BOOL>(SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (nMaxCount <= 0) return 0;
  return static_cast<int>(
      SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthA(HWND hWnd) { return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0)); }

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  return with_window(hWnd, FALSE, [&](Window &w) {
    const BOOL was_visible = (w.style & WS_VISIBLE) != 0;
    if (nCmdShow == SW_HIDE) {
      w.style &= ~static_cast<DWORD>(WS_VISIBLE);
      // Hiding the focus window moves the focus out of it, as a hidden window takes no input.
      if (winsys::g_focus != nullptr && winsys::is_ancestor_or_self(hWnd, winsys::g_focus)) winsys::g_focus = nullptr;
    } else {
      w.style |= WS_VISIBLE;
    }
    return was_visible;
  });
}

BOOL IsWindowVisible(HWND hWnd) {
  return with_window(hWnd, FALSE, [](Window &w) { return static_cast<BOOL>(winsys::is_visible(w)); });
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  // From another thread the change is made by the window's own, so that its back end, woken
  // through the queue, shows it at once.
  if (winsys::belongs_to_other_thread(hWnd))
    return static_cast<BOOL>(winsys::call_on_owner_thread(hWnd, [=] { return LRESULT{EnableWindow(hWnd, bEnable)}; }));
  return with_window(hWnd, FALSE, [&](Window &w) {
    const BOOL was_disabled = (w.style & WS_DISABLED) != 0;
    if (bEnable) {
      w.style &= ~static_cast<DWORD>(WS_DISABLED);
    } else {
      w.style |= WS_DISABLED;
    }
    return was_disabled;
  });
}

BOOL IsWindowEnabled(HWND hWnd) {
  return with_window(hWnd, FALSE, [](Window &w) { return static_cast<BOOL>((w.style & WS_DISABLED) == 0); });
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  return with_window(hWnd, FALSE, [&](Window &w) {
    RECT r = w.rect;
    if ((uFlags & SWP_NOMOVE) == 0) {
      r = {X, Y, X + (r.right - r.left), Y + (r.bottom - r.top)};
    }
    if ((uFlags & SWP_NOSIZE) == 0) {
      r.right = r.left + std::max(cx, 0);
      r.bottom = r.top + std::max(cy, 0);
    }
    if ((uFlags & SWP_NOZORDER) == 0 && hWndInsertAfter != hWnd) {
      std::vector<HWND> &siblings = winsys::siblings_of(w);
      const auto after = std::find(siblings.begin(), siblings.end(), hWndInsertAfter);
      const bool to_top = hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST ||
                          hWndInsertAfter == HWND_NOTOPMOST;
      // An insert-after window that is no sibling fails the call, as it does on Windows.
      if (!to_top && hWndInsertAfter != HWND_BOTTOM && after == siblings.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
      if (to_top) {
        siblings.insert(siblings.begin(), hWnd);
      } else if (hWndInsertAfter == HWND_BOTTOM) {
        siblings.push_back(hWnd);
      } else {
        siblings.insert(std::find(siblings.begin(), siblings.end(), hWndInsertAfter) + 1, hWnd);
      }
    }
    w.rect = r;
    if ((uFlags & SWP_SHOWWINDOW) != 0) w.style |= WS_VISIBLE;
    if ((uFlags & SWP_HIDEWINDOW) != 0) w.style &= ~static_cast<DWORD>(WS_VISIBLE);
    if ((uFlags & SWP_NOREDRAW) == 0) ++w.invalidations;
    return TRUE;
  });
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (lpRect == nullptr) return FALSE;
  return with_window(hWnd, FALSE, [&](Window &w) {
    *lpRect = winsys::screen_rect(w);
    return TRUE;
  });
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (lpRect == nullptr) return FALSE;
  return with_window(hWnd, FALSE, [&](Window &w) {
    const RECT insets = winsys::nonclient_insets(w);
    *lpRect = {0, 0, std::max(0, (w.rect.right - w.rect.left) - insets.left - insets.right),
               std::max(0, (w.rect.bottom - w.rect.top) - insets.top - insets.bottom)};
    return TRUE;
  });
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  if (lpPoint == nullptr) return FALSE;
  return with_window(hWnd, FALSE, [&](Window &w) {
    const POINT origin = winsys::client_origin(w);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
  });
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  if (lpPoint == nullptr) return FALSE;
  return with_window(hWnd, FALSE, [&](Window &w) {
    const POINT origin = winsys::client_origin(w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
  });
}

int GetSystemMetrics(int nIndex) { return winsys::back_end().system_metric(nIndex); }

HWND SetActiveWindow(HWND hWnd) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const HWND top = winsys::top_level_of(hWnd);
  if (top == nullptr) return nullptr;
  const HWND previous = winsys::g_active;
  winsys::g_active = top;
  // The active window comes to the top of the z order.
  std::vector<HWND> &siblings = winsys::siblings_of(*winsys::find_window(top));
  siblings.erase(std::remove(siblings.begin(), siblings.end(), top), siblings.end());
  siblings.insert(siblings.begin(), top);
  return previous;
}

HWND GetActiveWindow(void) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  return winsys::g_active;
}

HWND SetFocus(HWND hWnd) {
  HWND previous;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    if (hWnd != nullptr && winsys::find_window(hWnd) == nullptr) return nullptr;
    previous = winsys::g_focus;
    winsys::g_focus = hWnd;
    if (hWnd != nullptr) winsys::g_active = winsys::top_level_of(hWnd);
  }
  if (previous != nullptr && previous != hWnd) SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd != nullptr && previous != hWnd) SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus(void) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  return winsys::g_focus;
}

BOOL LockWindowUpdate(HWND hWndLock) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  if (hWndLock == nullptr) {
    // Releasing repaints what was locked.
    if (Window *w = winsys::g_locked != nullptr ? winsys::find_window(winsys::g_locked) : nullptr) {
      ++w->invalidations;
    }
    winsys::g_locked = nullptr;
    return TRUE;
  }
  if (winsys::find_window(hWndLock) == nullptr || winsys::g_locked != nullptr) return FALSE;
  winsys::g_locked = hWndLock;
  return TRUE;
}

BOOL InvalidateRect(HWND hWnd, LPCRECT, BOOL bErase) {
  return with_window(hWnd, FALSE, [&](Window &w) {
    ++w.invalidations;
    w.erase_pending = w.erase_pending || bErase;
    return TRUE;
  });
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  // Only the system's cursors exist; a module has no cursor resources here.
  if (hInstance != nullptr || !IS_INTRESOURCE(lpCursorName)) return nullptr;
  for (winsys::Cursor &c : winsys::g_cursors) {
    if (reinterpret_cast<uintptr_t>(lpCursorName) == c.id) return reinterpret_cast<HCURSOR>(&c);
  }
  return nullptr;
}

HCURSOR SetCursor(HCURSOR hCursor) {
  HCURSOR previous;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    previous = winsys::g_cursor;
    winsys::g_cursor = hCursor;
  }
  if (previous != hCursor) winsys::notify_cursor_changed(hCursor);
  return previous;
}

HCURSOR GetCursor(void) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  return winsys::g_cursor;
}
