// dialog_manager.cc - dialogs: creation from templates in dialog units, the dialog procedure, the keyboard interface, modal loops and message boxes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/windows/back_end.h"
#include "platform/windows/dialog_template.h"
#include "platform/windows/window_model.h"

namespace winsys {
namespace {

// Dialog base units: one horizontal dialog unit is a quarter of base_x pixels, one vertical unit
// an eighth of base_y. A template's font is measured by the back end; a template without one
// uses the system font's 8 x 16.
struct BaseUnits {
  int x, y;
};

BaseUnits base_units_of(const DialogTemplate &t) {
  if ((t.style & DS_SETFONT) == 0 || t.font_points == 0) return {8, 16};
  const POINT units = back_end().dialog_base_units(t.font_name != nullptr ? t.font_name : "", t.font_points,
                                                   t.font_weight, t.font_italic != 0);
  return {static_cast<int>(units.x), static_cast<int>(units.y)};
}

// MulDiv: rounded, halves away from zero.
int mul_div(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

RECT pixels(BaseUnits units, short x, short y, short cx, short cy) {
  const int left = mul_div(x, units.x, 4), top = mul_div(y, units.y, 8);
  return {left, top, left + mul_div(cx, units.x, 4), top + mul_div(cy, units.y, 8)};
}

// Creates the dialog window itself, hidden; its rectangle is the client size of the template
// plus the frame and caption its style asks for, placed relative to the owner's client area
// (the screen when there is none), or centred on the screen with DS_CENTER.
HWND create_dialog_frame(HINSTANCE instance, const DialogTemplate &t, BaseUnits units, HWND parent, DLGPROC proc) {
  std::lock_guard<std::mutex> lock(model_mutex());
  const HWND dlg = create_window(t.exstyle, "#32770", t.caption, t.style & ~static_cast<DWORD>(WS_VISIBLE), RECT{},
                                 parent, 0, instance);
  if (dlg == nullptr) return nullptr;
  Window &w = *find_window(dlg);
  w.dialog_template = &t;
  w.dlgproc = proc;
  w.base_x = units.x;
  w.base_y = units.y;
  const RECT client = pixels(units, t.x, t.y, t.cx, t.cy);
  const RECT insets = nonclient_insets(w);
  const int width = (client.right - client.left) + insets.left + insets.right;
  const int height = (client.bottom - client.top) + insets.top + insets.bottom;
  POINT at{client.left, client.top};
  if ((t.style & DS_CENTER) != 0) {
    at = {(back_end().system_metric(SM_CXSCREEN) - width) / 2, (back_end().system_metric(SM_CYSCREEN) - height) / 2};
  } else if (const Window *owner = w.owner != nullptr ? find_window(w.owner) : nullptr) {
    const POINT origin = client_origin(*owner);
    at = {at.x + origin.x, at.y + origin.y};
  }
  w.rect = {at.x, at.y, at.x + width, at.y + height};
  return dlg;
}

bool is_tab_stop(HWND child) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
  return (style & WS_TABSTOP) != 0 && (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0;
}

HWND first_tab_stop(HWND dlg) {
  for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (is_tab_stop(child)) return child;
  return nullptr;
}

// The tab stop after (or before) the child that holds `from`, in z order, which is template
// order; round from the last to the first. Null when the dialog has none.
HWND next_tab_stop(HWND dlg, HWND from, bool backwards) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  if (children.empty()) return nullptr;
  if (backwards) std::reverse(children.begin(), children.end());
  // With no focus inside, the walk starts just before the first child in its direction.
  size_t start = children.size() - 1;
  {
    std::lock_guard<std::mutex> lock(model_mutex());
    for (size_t i = 0; i < children.size(); ++i)
      if (from != nullptr && is_ancestor_or_self(children[i], from)) start = i;
  }
  for (size_t step = 1; step <= children.size(); ++step) {
    const HWND candidate = children[(start + step) % children.size()];
    if (is_tab_stop(candidate)) return candidate;
  }
  return nullptr;
}

HWND top_level_window(HWND hwnd) {
  std::lock_guard<std::mutex> lock(model_mutex());
  return top_level_of(hwnd);
}

bool dialog_ended(HWND dlg, INT_PTR *result) {
  std::lock_guard<std::mutex> lock(model_mutex());
  const Window *w = find_window(dlg);
  if (w == nullptr) {
    *result = -1;
    return true;
  }
  *result = w->end_result;
  return w->ended;
}

// The default push button's id, from DM_GETDEFID, else the first BS_DEFPUSHBUTTON child's.
int default_button_id(HWND dlg) {
  for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char class_name[16];
    GetClassNameA(child, class_name, sizeof class_name);
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
    if (std::string(class_name) == "BUTTON" && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return GetDlgCtrlID(child);
  }
  return 0;
}

}  // namespace

bool dispatch_next_message(HWND dialog, bool *quit) {
  *quit = false;
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
    *quit = true;
  } else if (dialog == nullptr || !IsDialogMessageA(dialog, &msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

}  // namespace winsys

using winsys::Window;

HWND CreateDialogIndirectParamA(HINSTANCE hInstance, const DialogTemplate *lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (lpTemplate == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const winsys::BaseUnits units = winsys::base_units_of(*lpTemplate);
  const HWND dlg = winsys::create_dialog_frame(hInstance, *lpTemplate, units, hWndParent, lpDialogFunc);
  if (dlg == nullptr) return nullptr;
  for (size_t i = 0; i < lpTemplate->item_count; ++i) {
    const DialogItemTemplate &item = lpTemplate->items[i];
    const RECT r = winsys::pixels(units, item.x, item.y, item.cx, item.cy);
    const HWND control =
        CreateWindowExA(item.exstyle, item.class_name, item.text, item.style, r.left, r.top, r.right - r.left,
                        r.bottom - r.top, dlg, reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), hInstance,
                        nullptr);
    // A control that cannot be made fails the whole dialog, as on Windows.
    if (control == nullptr) {
      const DWORD error = GetLastError();
      DestroyWindow(dlg);
      SetLastError(error);
      return nullptr;
    }
  }
  const HWND first = winsys::first_tab_stop(dlg);
  if (SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), dwInitParam) != 0 && first != nullptr)
    SetFocus(first);
  if ((lpTemplate->style & WS_VISIBLE) != 0 && IsWindow(dlg)) ShowWindow(dlg, SW_SHOW);
  return dlg;
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, const DialogTemplate *hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (hDialogTemplate == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  winsys::BackEnd &user = winsys::back_end();
  if (!user.can_show_dialogs()) return -1;
  HWND owner = hWndParent != nullptr ? winsys::top_level_window(hWndParent) : GetActiveWindow();
  const HWND dlg = CreateDialogIndirectParamA(hInstance, hDialogTemplate, owner, lpDialogFunc, dwInitParam);
  if (dlg == nullptr) return -1;
  // The owner takes no input while its modal dialog runs.
  const bool owner_was_enabled = owner != nullptr && EnableWindow(owner, FALSE) == FALSE;
  INT_PTR result = 0;
  if (!winsys::dialog_ended(dlg, &result)) {
    ShowWindow(dlg, SW_SHOWNORMAL);
    SetActiveWindow(dlg);
    user.dialog_shown(dlg);
    while (!winsys::dialog_ended(dlg, &result)) {
      bool quit = false;
      if (winsys::dispatch_next_message(dlg, &quit)) {
        if (!quit) continue;
        result = IDCANCEL;
        break;
      }
      user.idle(dlg, winsys::milliseconds_to_next_timer());
    }
    if (IsWindow(dlg)) user.dialog_closed(dlg);
  }
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  if (owner != nullptr && IsWindow(owner)) SetActiveWindow(owner);
  DestroyWindow(dlg);
  return result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  Window *w = winsys::find_window(hDlg);
  if (w == nullptr) return FALSE;
  w->ended = true;
  w->end_result = nResult;
  return TRUE;
}

LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    const Window *w = winsys::find_window(hDlg);
    if (w == nullptr) return 0;
    proc = w->dlgproc;
  }
  const INT_PTR handled = proc != nullptr ? proc(hDlg, Msg, wParam, lParam) : FALSE;
  if (Msg == WM_INITDIALOG) return handled;
  if (handled != 0) return GetWindowLongPtrA(hDlg, DWLP_MSGRESULT);
  switch (Msg) {
    case WM_CLOSE:
      // The close box means Cancel.
      PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
      return 0;
    case WM_NEXTDLGCTL: {
      // The focus moves as Tab and Shift+Tab move it, or to the control named.
      const HWND target = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                              : winsys::next_tab_stop(hDlg, GetFocus(), wParam != 0);
      if (target != nullptr) SetFocus(target);
      return 0;
    }
    case DM_GETDEFID: {
      const int id = winsys::default_button_id(hDlg);
      return id != 0 ? static_cast<LRESULT>(MAKELPARAM(id, DC_HASDEFID)) : 0;
    }
    default:
      return DefWindowProcA(hDlg, Msg, wParam, lParam);
  }
}

BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
  if (lpMsg == nullptr || lpMsg->message != WM_KEYDOWN) return FALSE;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    if (!winsys::is_ancestor_or_self(hDlg, lpMsg->hwnd)) return FALSE;
  }
  int id;
  switch (lpMsg->wParam) {
    case VK_RETURN: {
      const LRESULT def = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
      id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
      break;
    }
    case VK_ESCAPE:
      id = IDCANCEL;
      break;
    default:
      return FALSE;
  }
  // A disabled button ignores its key; Escape works even without a Cancel button.
  const HWND button = GetDlgItem(hDlg, id);
  if (button != nullptr && !IsWindowEnabled(button)) return TRUE;
  SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return TRUE;
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect) {
  if (lpRect == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hDlg);
  if (w == nullptr || w->base_x == 0) return FALSE;
  lpRect->left = winsys::mul_div(lpRect->left, w->base_x, 4);
  lpRect->right = winsys::mul_div(lpRect->right, w->base_x, 4);
  lpRect->top = winsys::mul_div(lpRect->top, w->base_y, 8);
  lpRect->bottom = winsys::mul_div(lpRect->bottom, w->base_y, 8);
  return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  std::lock_guard<std::mutex> lock(winsys::model_mutex());
  const Window *w = winsys::find_window(hDlg);
  if (w == nullptr) return nullptr;
  for (HWND child : w->children) {
    if (winsys::find_window(child)->id == nIDDlgItem) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hWnd) { return static_cast<int>(GetWindowLongPtrA(hWnd, GWL_ID)); }

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item != nullptr ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  // Like a modal dialog, the box keeps its owner from input while it is up.
  const bool owner_was_enabled = hWnd != nullptr && EnableWindow(hWnd, FALSE) == FALSE;
  const int answer = winsys::back_end().message_box(hWnd, lpText != nullptr ? lpText : "",
                                                    lpCaption != nullptr ? lpCaption : "Error", uType);
  if (owner_was_enabled) EnableWindow(hWnd, TRUE);
  return answer;
}
