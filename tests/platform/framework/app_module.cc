// app_module.cc - a module with an application object of its own, as a control module has, loaded by the per-module application test.
#include "platform/framework/afx_app.h"
#include "platform/framework/afx_module_state.h"

CWinApp theModuleApp;

// What the framework answers for "the application" inside one of the module's entry points.
extern "C" CWinApp *module_app() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return AfxGetApp();
}
