// quillora_exports.cc - the module's four exports: unloading, the class object, and self-registration.
#include "control/module/control_ids.h"
#include "platform/framework/afx_ole_factory.h"
#include "platform/framework/afx_ole_module.h"
#include "platform/framework/afx_ole_register.h"

// Each export makes the module's framework state current for the call (and starts the module
// on its first call). Registration stops at the first failing step, so a type library failure
// leaves the class entries as they were.
extern "C" {

HRESULT DllCanUnloadNow() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return AfxDllCanUnloadNow();
}

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return AfxDllGetClassObject(rclsid, riid, ppv);
}

HRESULT DllRegisterServer() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (!AfxOleRegisterTypeLib(AfxGetStaticModuleState()->m_hCurrentInstanceHandle, LIBID_QuilloraActXLib))
    return SELFREG_E_TYPELIB;
  if (!COleObjectFactory::UpdateRegistryAll(TRUE)) return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT DllUnregisterServer() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  if (!AfxOleUnregisterTypeLib(LIBID_QuilloraActXLib, kQuilloraVerMajor, kQuilloraVerMinor, 0))
    return SELFREG_E_TYPELIB;
  if (!COleObjectFactory::UpdateRegistryAll(FALSE)) return SELFREG_E_CLASS;
  return S_OK;
}

}  // extern "C"
