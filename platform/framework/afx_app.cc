// afx_app.cc - the application object registry, the instance and resource handles and the wait cursor.
#include "platform/framework/afx_app.h"

#include <atomic>

namespace {

std::atomic<CWinApp *> g_app{nullptr};
std::atomic<HINSTANCE> g_resource_handle{nullptr};

}  // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
    : m_hInstance(module_handle_of(this)), m_pszAppName(lpszAppName) {
  g_app = this;
}

CWinApp::~CWinApp() {
  CWinApp *self = this;
  g_app.compare_exchange_strong(self, nullptr);
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

CWinApp *AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() {
  CWinApp *app = g_app;
  return app != nullptr ? app->m_hInstance : nullptr;
}

HINSTANCE AfxGetResourceHandle() {
  const HINSTANCE set = g_resource_handle;
  return set != nullptr ? set : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE hInstResource) { g_resource_handle = hInstResource; }
