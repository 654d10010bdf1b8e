// afx_ole_module.h - COleControlModule, a control module's application object, and the module's answer to DllCanUnloadNow.
#pragma once

#include "platform/com/com_types.h"
#include "platform/framework/afx_app.h"
#include "platform/framework/afx_module_state.h"

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

// Initialises COM for the calling thread, as a program's start-up does before it uses OLE.
BOOL AfxOleInit();
