// afx_wnd.h - CWnd, the framework's object around a window handle, with its message map machinery.
#pragma once

#include <stdarg.h>

#include "platform/com/com_types.h"
#include "platform/framework/afx_string.h"
#include "platform/windows/winuser.h"

class CWnd;
class COleControlSite;

// Message maps: a static table per class, searched from the most derived class to its bases.
// The first entry that matches a message handles it.
#define afx_msg

enum AfxSig : UINT {
  AfxSig_end = 0,
  AfxSig_vv,   // void (void): commands
  AfxSig_lwl,  // LRESULT (WPARAM, LPARAM): any message
};

union AfxMessageFunction {
  void (CWnd::*pfn_vv)();
  LRESULT (CWnd::*pfn_lwl)(WPARAM, LPARAM);
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;  // notification code of WM_COMMAND
  UINT nID;    // command id of WM_COMMAND
  AfxSig nSig;
  AfxMessageFunction pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP *(*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY *lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP *GetThisMessageMap(); \
  const AFX_MSGMAP *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
  const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
  const AFX_MSGMAP *theClass::GetThisMessageMap() {                                   \
    typedef baseClass TheBaseClass;                                                   \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
// memberFxn: &Class::Handler, a void () member.
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, BN_CLICKED, (UINT)(id), AfxSig_vv, {.pfn_vv = static_cast<void (CWnd::*)()>(memberFxn)}},
// memberFxn: &Class::Handler, a LRESULT (WPARAM, LPARAM) member.
#define ON_MESSAGE(message, memberFxn) \
  {(UINT)(message), 0, 0, AfxSig_lwl, {.pfn_lwl = static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(memberFxn)}},
#define END_MESSAGE_MAP()                                                              \
  {0, 0, 0, AfxSig_end, {.pfn_vv = nullptr}}                                           \
  }                                                                                    \
  ;                                                                                    \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                  \
  }

// A CWnd is attached to at most one window; the window does not own the object. Destroying an
// object still attached destroys its window.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd &) = delete;
  CWnd &operator=(const CWnd &) = delete;

  HWND m_hWnd = nullptr;
  // The control this window hosts (CreateControl), owned by its host window.
  COleControlSite *m_pCtrlSite = nullptr;

  // Placement sentinels for SetWindowPos.
  static const CWnd wndTop;
  static const CWnd wndBottom;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The attached object when there is one, else a temporary that lives until the window is
  // destroyed and the next lookup notices.
  static CWnd *FromHandle(HWND hWnd);
  BOOL Attach(HWND hWnd);
  HWND Detach();

  CWnd *GetDlgItem(int nID) const;
  CWnd *GetParent() const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SetWindowText(LPCSTR lpszString);
  void GetWindowText(CString &rString) const;
  int GetWindowTextLength() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void GetWindowRect(LPRECT lpRect) const;
  void GetClientRect(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  // Centres the window over pAlternateOwner, else over its owner, else over the screen, keeping
  // it inside the screen.
  void CenterWindow(CWnd *pAlternateOwner = nullptr);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
  void Invalidate(BOOL bErase = TRUE) { InvalidateRect(nullptr, bErase); }
  CWnd *SetActiveWindow();
  CWnd *SetFocus();
  BOOL LockWindowUpdate();
  void UnlockWindowUpdate();
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK) const;
  BOOL DestroyWindow();

  // Hosting an ActiveX control in a child window of pParentWnd (afx_ctrl_container.cc).
  BOOL CreateControl(REFCLSID clsid, LPCSTR pszWindowName, DWORD dwStyle, const RECT &rect, CWnd *pParentWnd,
                     UINT nID, void *pPersist = nullptr, BOOL bStorage = FALSE, BSTR bstrLicKey = nullptr);
  IUnknown *GetControlUnknown();
  // pbParamInfo lists the arguments' VTS_ types; VTS_BSTR arguments are 8-bit strings.
  void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet, const BYTE *pbParamInfo, ...);

  // An event of the hosted control nCtrlId; TRUE when a handler took it. Event sink maps
  // override it.
  virtual BOOL OnCmdMsgEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS *params);

  // Runs the message-map handler for the message, if any; *pResult gets its result.
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);

 protected:
  static const AFX_MSGMAP *GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

 private:
  explicit CWnd(HWND hWndSentinel) : m_hWnd(hWndSentinel) {}
};
