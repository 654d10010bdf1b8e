// quillora_app.cc - the module object and its start-up.
#include "control/module/quillora_app.h"

#include "platform/framework/afx_ctrl_container.h"

// Defined before the class factory (in its own file) as the module's first static object.
CQuilloraActXApp theApp;

BOOL CQuilloraActXApp::InitInstance() {
  AfxEnableControlContainer();
  return COleControlModule::InitInstance();
}
