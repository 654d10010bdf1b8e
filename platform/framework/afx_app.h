// afx_app.h - CWinApp, the application object: its instance handle, main window, start and end hooks and the wait cursor.
#pragma once

#include "platform/windows/winuser.h"

class CWnd;

// One application object per module, usually a static object of the program or of a control
// module; it belongs to the module that holds it (an object on the stack or the heap belongs to
// the program), and the module's most recently constructed one is its application until it is
// destroyed. A program that loads a control module keeps its own application, and the control
// module has its own.
class CWinApp {
 public:
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;

  virtual BOOL InitInstance();
  // The program's exit code.
  virtual int ExitInstance();

  // Nested pairs: the wait cursor shows while the count is above zero, and the cursor from
  // before the outermost Begin comes back when it drops to zero.
  void BeginWaitCursor();
  void EndWaitCursor();

  // The module holding the object (the program for one outside every module); resources are
  // looked up there.
  HINSTANCE m_hInstance = nullptr;
  LPCSTR m_pszAppName;
  // The application's main window, when it has one; not owned.
  CWnd *m_pMainWnd = nullptr;
  int m_nWaitCursorCount = 0;

 private:
  HCURSOR m_hcurWaitCursorRestore = nullptr;
};

// The application of the current module: the module whose entry point the thread is in
// (AFX_MANAGE_STATE, which every export and every call through a control's IDispatch makes),
// else the program. NULL when that module has none.
CWinApp *AfxGetApp();
// The current module's handle.
HINSTANCE AfxGetInstanceHandle();
// Where CDialog finds its templates: the current module's handle set by AfxSetResourceHandle,
// else the current module itself.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstResource);
