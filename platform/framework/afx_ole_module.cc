// afx_ole_module.cc - the control module's application object, its start and end, DllCanUnloadNow and OLE start-up.
#include "platform/framework/afx_ole_module.h"

#include "platform/com/activation.h"

COleControlModule::COleControlModule() { AfxModuleStateOf(this)->m_pModule = this; }

COleControlModule::~COleControlModule() {
  AFX_MODULE_STATE *state = AfxModuleStateOf(this);
  if (state->m_bStarted) ExitInstance();
  state->m_pModule = nullptr;
  state->m_bStarted = false;
}

BOOL COleControlModule::InitInstance() { return CWinApp::InitInstance(); }

int COleControlModule::ExitInstance() { return CWinApp::ExitInstance(); }

HRESULT AfxDllCanUnloadNow() {
  const AFX_MODULE_STATE *state = AfxGetModuleState();
  return state == nullptr || state->m_nObjectCount.load() == 0 ? S_OK : S_FALSE;
}

BOOL AfxOleInit() { return SUCCEEDED(CoInitialize(nullptr)); }
