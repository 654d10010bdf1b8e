// afx_wnd.cc - CWnd: attaching objects to handles, the calls on its window and message-map dispatch.
#include "platform/framework/afx_wnd.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace {

std::mutex g_map_mutex;
std::map<HWND, CWnd *> g_permanent;  // attached objects

// Temporaries of FromHandle; they never own their window, so they detach before going.
struct DetachAndDelete {
  void operator()(CWnd *pWnd) const {
    pWnd->Detach();
    delete pWnd;
  }
};
thread_local std::map<HWND, std::unique_ptr<CWnd, DetachAndDelete>> t_temporary;

}  // namespace

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);

CWnd::~CWnd() {
  if (m_hWnd == nullptr || m_hWnd == HWND_BOTTOM) return;
  const HWND hWnd = Detach();
  if (::IsWindow(hWnd)) ::DestroyWindow(hWnd);
}

CWnd *CWnd::FromHandle(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    const auto it = g_permanent.find(hWnd);
    if (it != g_permanent.end()) return it->second;
  }
  // Handles are never reused, so a temporary for a window that is gone is simply dropped.
  std::erase_if(t_temporary, [](const auto &entry) { return !::IsWindow(entry.first); });
  auto &slot = t_temporary[hWnd];
  if (slot == nullptr) {
    slot.reset(new CWnd);
    slot->m_hWnd = hWnd;
  }
  return slot.get();
}

BOOL CWnd::Attach(HWND hWnd) {
  if (m_hWnd != nullptr || hWnd == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(g_map_mutex);
  m_hWnd = hWnd;
  g_permanent[hWnd] = this;
  return TRUE;
}

HWND CWnd::Detach() {
  const HWND hWnd = m_hWnd;
  std::lock_guard<std::mutex> lock(g_map_mutex);
  const auto it = g_permanent.find(hWnd);
  if (it != g_permanent.end() && it->second == this) g_permanent.erase(it);
  m_hWnd = nullptr;
  return hWnd;
}

CWnd *CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
CWnd *CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}
LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }

void CWnd::GetWindowText(CString &rString) const {
  const int nLength = ::GetWindowTextLengthA(m_hWnd);
  ::GetWindowTextA(m_hWnd, rString.GetBuffer(nLength), nLength + 1);
  rString.ReleaseBuffer(nLength);
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }

BOOL CWnd::SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  return ::SetWindowPos(m_hWnd, pWndInsertAfter != nullptr ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx, cy, nFlags);
}

void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
void CWnd::ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }

void CWnd::ScreenToClient(LPRECT lpRect) const {
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&lpRect->left));
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&lpRect->right));
}

void CWnd::ClientToScreen(LPRECT lpRect) const {
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&lpRect->left));
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&lpRect->right));
}

void CWnd::CenterWindow(CWnd *pAlternateOwner) {
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  HWND hCenter = pAlternateOwner != nullptr ? pAlternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
  if (hCenter != nullptr && !::IsWindowVisible(hCenter)) hCenter = nullptr;
  RECT over = screen;
  if (hCenter != nullptr) ::GetWindowRect(hCenter, &over);
  const LONG width = window.right - window.left, height = window.bottom - window.top;
  LONG left = (over.left + over.right) / 2 - width / 2;
  LONG top = (over.top + over.bottom) / 2 - height / 2;
  // Kept on the screen: the top left corner wins when the window is larger than the screen.
  left = std::max(screen.left, std::min(left, screen.right - width));
  top = std::max(screen.top, std::min(top, screen.bottom - height));
  POINT at{left, top};
  if (const HWND hParent = ::GetParent(m_hWnd);
      hParent != nullptr && (::GetWindowLongPtrA(m_hWnd, GWL_STYLE) & WS_CHILD) != 0)
    ::ScreenToClient(hParent, &at);
  ::SetWindowPos(m_hWnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
CWnd *CWnd::SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
CWnd *CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
BOOL CWnd::LockWindowUpdate() { return ::LockWindowUpdate(m_hWnd); }
void CWnd::UnlockWindowUpdate() { ::LockWindowUpdate(nullptr); }

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) const {
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

BOOL CWnd::DestroyWindow() {
  const HWND hWnd = Detach();
  return hWnd != nullptr && ::DestroyWindow(hWnd);
}

BOOL CWnd::OnCmdMsgEvent(UINT, DISPID, DISPPARAMS *) { return FALSE; }

const AFX_MSGMAP *CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, {.pfn_vv = nullptr}}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

const AFX_MSGMAP *CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  for (const AFX_MSGMAP *map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY *e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
      if (e->nMessage != message) continue;
      if (message == WM_COMMAND && (e->nID != LOWORD(wParam) || e->nCode != HIWORD(wParam))) continue;
      if (e->nSig == AfxSig_vv) {
        (this->*e->pfn.pfn_vv)();
        *pResult = 0;
      } else {
        *pResult = (this->*e->pfn.pfn_lwl)(wParam, lParam);
      }
      return TRUE;
    }
  }
  return FALSE;
}
