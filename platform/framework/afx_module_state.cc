// afx_module_state.cc - module states by module handle, the current module per thread, and module start-up.
#include "platform/framework/afx_module_state.h"

#include <map>
#include <mutex>

#include "platform/base/last_error.h"
#include "platform/framework/afx_app.h"

namespace {

std::mutex g_states_mutex;
thread_local AFX_MODULE_STATE *t_current_state = nullptr;

// The module holding the address, the program for an address in none. Looking an address up
// must not disturb the caller's last error: AfxGetApp() may run between a failure and its report.
HMODULE module_of(const void *address) {
  const DWORD saved = GetLastError();
  const HMODULE module = address != nullptr ? module_handle_of(address) : nullptr;
  SetLastError(saved);
  return module != nullptr ? module : GetModuleHandleA(nullptr);
}

}  // namespace

AFX_MODULE_STATE *AfxModuleStateOf(const void *pAddressInModule) {
  static auto *states = new std::map<HMODULE, AFX_MODULE_STATE>;  // outlives every module
  const HMODULE module = module_of(pAddressInModule);
  std::lock_guard<std::mutex> lock(g_states_mutex);
  AFX_MODULE_STATE &state = (*states)[module];
  state.m_hCurrentInstanceHandle = module;
  return &state;
}

AFX_MODULE_STATE *AfxGetModuleState() { return t_current_state; }

AFX_MODULE_STATE *AfxGetCurrentModuleState() {
  return t_current_state != nullptr ? t_current_state : AfxModuleStateOf(nullptr);
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE *pNewState) : m_pPrevState(t_current_state) {
  t_current_state = pNewState;
  if (pNewState != nullptr && !pNewState->m_bStarted && pNewState->m_pModule != nullptr) {
    pNewState->m_bStarted = true;
    pNewState->m_pModule->InitInstance();
  }
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { t_current_state = m_pPrevState; }
