// afx_app.h - CWinApp, the application object: its instance handle, start and end hooks and the wait cursor.
#pragma once

#include "platform/windows/winuser.h"

// One application object per process, usually a static object of the program or of the control
// module; the most recently constructed one is AfxGetApp() until it is destroyed.
class CWinApp {
 public:
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();

  // Nested pairs: the wait cursor shows while the count is above zero, and the cursor from
  // before the outermost Begin comes back when it drops to zero.
  void BeginWaitCursor();
  void EndWaitCursor();

  // The module holding the object (module_handle_of), null for an object of the main program
  // or one not in static storage; resources are looked up there.
  HINSTANCE m_hInstance = nullptr;
  LPCSTR m_pszAppName;
  int m_nWaitCursorCount = 0;

 private:
  HCURSOR m_hcurWaitCursorRestore = nullptr;
};

CWinApp *AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// Where CDialog finds its templates: the handle set by AfxSetResourceHandle, else the
// application's instance (null, the main program, without an application).
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstResource);
