// afx_app.cc - the application object of each module, the instance and resource handles and the wait cursor.
#include "platform/framework/afx_app.h"

#include "platform/framework/afx_module_state.h"

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
  AFX_MODULE_STATE *state = AfxModuleStateOf(this);
  m_hInstance = state->m_hCurrentInstanceHandle;
  state->m_pCurrentWinApp = this;
}

CWinApp::~CWinApp() {
  CWinApp *self = this;
  AfxModuleStateOf(this)->m_pCurrentWinApp.compare_exchange_strong(self, nullptr);
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

void CWinApp::BeginWaitCursor() {
  const HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  if (m_nWaitCursorCount++ == 0) m_hcurWaitCursorRestore = previous;
}

void CWinApp::EndWaitCursor() {
  if (m_nWaitCursorCount == 0) return;
  if (--m_nWaitCursorCount == 0) {
    ::SetCursor(m_hcurWaitCursorRestore != nullptr ? m_hcurWaitCursorRestore : ::LoadCursorA(nullptr, IDC_ARROW));
    m_hcurWaitCursorRestore = nullptr;
  }
}

CWinApp *AfxGetApp() { return AfxGetCurrentModuleState()->m_pCurrentWinApp; }

HINSTANCE AfxGetInstanceHandle() { return AfxGetCurrentModuleState()->m_hCurrentInstanceHandle; }

HINSTANCE AfxGetResourceHandle() {
  const AFX_MODULE_STATE *state = AfxGetCurrentModuleState();
  const HINSTANCE set = state->m_hCurrentResourceHandle;
  return set != nullptr ? set : state->m_hCurrentInstanceHandle;
}

void AfxSetResourceHandle(HINSTANCE hInstResource) {
  AfxGetCurrentModuleState()->m_hCurrentResourceHandle = hInstResource;
}
