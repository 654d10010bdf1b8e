// afx_ole_module.h - per-module framework state (its factories, live objects and start-up) and COleControlModule, a control module's application object.
#pragma once

#include <atomic>

#include "platform/com/com_types.h"
#include "platform/framework/afx_app.h"
#include "platform/modules/modules.h"

class COleObjectFactory;
class COleControlModule;

// What the framework keeps for each module that uses it, since one copy of the framework serves
// every module of the process: the module's factories, the count of its live objects and server
// locks (which decides DllCanUnloadNow), and its module object, started once.
struct AFX_MODULE_STATE {
  HMODULE m_hCurrentInstanceHandle = nullptr;
  COleControlModule *m_pModule = nullptr;
  COleObjectFactory *m_pFactoryFirst = nullptr;  // a list through COleObjectFactory::m_pNextFactory
  std::atomic<long> m_nObjectCount{0};
  bool m_bStarted = false;
};

// The state of the module holding the address; created on first use, never freed (a module
// may be loaded again at the same place).
AFX_MODULE_STATE *AfxModuleStateOf(const void *pAddressInModule);
// The state of the module whose entry point the thread is in (AFX_MANAGE_STATE), else NULL.
AFX_MODULE_STATE *AfxGetModuleState();

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

// The application object of a control module: one static instance per module. Its start-up
// runs at the module's first managed entry. Its shut-down runs from its destructor when the
// module is unloaded, after derived classes are gone, so only this class's ExitInstance runs.
class COleControlModule : public CWinApp {
 public:
  COleControlModule();
  ~COleControlModule() override;

  BOOL InitInstance() override;
  int ExitInstance() override;
};

// DllCanUnloadNow's answer for the current module: S_OK when none of its objects and no lock of
// its factories is alive, else S_FALSE.
HRESULT AfxDllCanUnloadNow();
