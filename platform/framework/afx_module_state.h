// afx_module_state.h - per-module framework state (application object, resources, factories, live objects) and the module a thread is in.
#pragma once

#include <atomic>

#include "platform/modules/modules.h"

class CWinApp;
class COleObjectFactory;

// What the framework keeps for each module that uses it, since one copy of the framework serves
// every module of the process: the module's application object, where its resources are looked
// up, its factories, the count of its live objects and server locks (which decides
// DllCanUnloadNow), and its module object, started once.
struct AFX_MODULE_STATE {
  HMODULE m_hCurrentInstanceHandle = nullptr;
  std::atomic<HMODULE> m_hCurrentResourceHandle{nullptr};  // AfxSetResourceHandle; null: the module itself
  std::atomic<CWinApp *> m_pCurrentWinApp{nullptr};        // the module's most recently built application object
  CWinApp *m_pModule = nullptr;  // a control module's object, started on the module's first managed entry
  COleObjectFactory *m_pFactoryFirst = nullptr;  // a list through COleObjectFactory::m_pNextFactory
  std::atomic<long> m_nObjectCount{0};
  bool m_bStarted = false;
};

// The state of the module holding the address; created on first use, never freed (a module may
// be loaded again at the same place). An address in no module (the stack, the heap) belongs to
// the program.
AFX_MODULE_STATE *AfxModuleStateOf(const void *pAddressInModule);
// The state of the module whose entry point the thread is in (AFX_MANAGE_STATE), else NULL.
AFX_MODULE_STATE *AfxGetModuleState();
// The state the framework's calls on behalf of "the application" use: the module whose entry
// point the thread is in, else the program's.
AFX_MODULE_STATE *AfxGetCurrentModuleState();

// The calling module's own state: the anchor has internal linkage, so it lies in whichever
// module compiled the call.
static inline AFX_MODULE_STATE *AfxGetStaticModuleState() {
  static const char anchor = 0;
  return AfxModuleStateOf(&anchor);
}

// Makes a module's state current for one scope and starts the module on its first entry
// (InitInstance of its module object). Every export of a module opens with AFX_MANAGE_STATE.
class AFX_MAINTAIN_STATE2 {
 public:
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE *pNewState);
  ~AFX_MAINTAIN_STATE2();
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2 &) = delete;
  AFX_MAINTAIN_STATE2 &operator=(const AFX_MAINTAIN_STATE2 &) = delete;

 private:
  AFX_MODULE_STATE *m_pPrevState;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p)
