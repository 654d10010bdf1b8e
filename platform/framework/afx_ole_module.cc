// afx_ole_module.cc - module states by module handle, the current module per thread, and module start-up.
#include "platform/framework/afx_ole_module.h"

#include <map>
#include <mutex>

#include "platform/com/com_types.h"

namespace {

std::mutex g_states_mutex;
thread_local AFX_MODULE_STATE *t_current_state = nullptr;

}  // namespace

AFX_MODULE_STATE *AfxModuleStateOf(const void *pAddressInModule) {
  static auto *states = new std::map<HMODULE, AFX_MODULE_STATE>;  // outlives every module
  const HMODULE module = module_handle_of(pAddressInModule);
  std::lock_guard<std::mutex> lock(g_states_mutex);
  AFX_MODULE_STATE &state = (*states)[module];
  state.m_hCurrentInstanceHandle = module;
  return &state;
}

AFX_MODULE_STATE *AfxGetModuleState() { return t_current_state; }

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE *pNewState) : m_pPrevState(t_current_state) {
  t_current_state = pNewState;
  if (pNewState != nullptr && !pNewState->m_bStarted && pNewState->m_pModule != nullptr) {
    pNewState->m_bStarted = true;
    pNewState->m_pModule->InitInstance();
  }
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { t_current_state = m_pPrevState; }

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
