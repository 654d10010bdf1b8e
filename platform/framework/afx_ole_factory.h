// afx_ole_factory.h - COleObjectFactory, the class factory of one creatable class, and the module's DllGetClassObject answer.
#pragma once

#include "platform/framework/afx_ole_target.h"

struct AFX_MODULE_STATE;

// One static instance per creatable class; it joins the factories of the module holding it and
// lives as long as the module. References to it do not keep the module loaded; LockServer does.
class COleObjectFactory : public IClassFactory {
 public:
  COleObjectFactory(REFCLSID clsid, const CRuntimeClass *pRuntimeClass, BOOL bMultiInstance, LPCSTR lpszProgID);
  virtual ~COleObjectFactory();
  COleObjectFactory(const COleObjectFactory &) = delete;
  COleObjectFactory &operator=(const COleObjectFactory &) = delete;

  REFCLSID GetClassID() const { return m_clsid; }
  LPCSTR GetProgID() const { return m_lpszProgID; }
  // Whether one class object serves many clients; kept for the class's registration, in-process
  // servers here always share theirs.
  BOOL IsMultiInstance() const { return m_bMultiInstance; }

  // Writes (bRegister) or removes the class's registry entries; FALSE when that fails.
  virtual BOOL UpdateRegistry(BOOL bRegister) = 0;
  // Every factory of the current module (AFX_MANAGE_STATE), in order, stopping at the first that fails.
  static BOOL UpdateRegistryAll(BOOL bRegister);

  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // Builds an object of the runtime class. An outer unknown is accepted only with IID_IUnknown
  // (CLASS_E_NOAGGREGATION otherwise), as aggregation requires; exhausted memory is E_OUTOFMEMORY.
  HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override;
  HRESULT LockServer(BOOL fLock) override;

 private:
  friend HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv);

  CLSID m_clsid;
  const CRuntimeClass *m_pRuntimeClass;
  BOOL m_bMultiInstance;
  LPCSTR m_lpszProgID;
  AFX_MODULE_STATE *m_pModuleState;
  COleObjectFactory *m_pNextFactory = nullptr;
  std::atomic<ULONG> m_dwRef{0};
};

// DllGetClassObject's answer for the current module: the factory of rclsid asked for riid, or
// CLASS_E_CLASSNOTAVAILABLE.
HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv);
