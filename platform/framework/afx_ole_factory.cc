// afx_ole_factory.cc - class factories: the module's list of them, object creation, and lookup by class identifier.
#include "platform/framework/afx_ole_factory.h"

#include <new>

#include "platform/framework/afx_ole_module.h"

COleObjectFactory::COleObjectFactory(REFCLSID clsid, const CRuntimeClass *pRuntimeClass, BOOL bMultiInstance,
                                     LPCSTR lpszProgID)
    : m_clsid(clsid), m_pRuntimeClass(pRuntimeClass), m_bMultiInstance(bMultiInstance), m_lpszProgID(lpszProgID),
      m_pModuleState(AfxModuleStateOf(this)) {
  // Appended, so the module's factories register in the order they were built.
  COleObjectFactory **link = &m_pModuleState->m_pFactoryFirst;
  while (*link != nullptr) link = &(*link)->m_pNextFactory;
  *link = this;
}

COleObjectFactory::~COleObjectFactory() {
  for (COleObjectFactory **link = &m_pModuleState->m_pFactoryFirst; *link != nullptr;
       link = &(*link)->m_pNextFactory) {
    if (*link == this) {
      *link = m_pNextFactory;
      break;
    }
  }
}

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister) {
  const AFX_MODULE_STATE *state = AfxGetModuleState();
  if (state == nullptr) return FALSE;
  for (COleObjectFactory *factory = state->m_pFactoryFirst; factory != nullptr; factory = factory->m_pNextFactory)
    if (!factory->UpdateRegistry(bRegister)) return FALSE;
  return TRUE;
}

HRESULT COleObjectFactory::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG COleObjectFactory::AddRef() { return ++m_dwRef; }

ULONG COleObjectFactory::Release() { return m_dwRef > 0 ? --m_dwRef : 0; }

HRESULT COleObjectFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter != nullptr && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  CCmdTarget *object = nullptr;
  try {
    object = m_pRuntimeClass->CreateObject();
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  }
  if (object == nullptr) return E_UNEXPECTED;
  object->SetModuleLock(m_pModuleState);
  object->SetAggregateOuter(pUnkOuter);
  object->InitNew();
  // The object starts with one reference of its own, given up once the caller holds one.
  const HRESULT hr = object->InternalQueryInterface(&riid, ppvObject);
  object->InternalRelease();
  return hr;
}

HRESULT COleObjectFactory::LockServer(BOOL fLock) {
  if (fLock) ++m_pModuleState->m_nObjectCount;
  else --m_pModuleState->m_nObjectCount;
  return S_OK;
}

HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const AFX_MODULE_STATE *state = AfxGetModuleState();
  if (state == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  for (COleObjectFactory *factory = state->m_pFactoryFirst; factory != nullptr; factory = factory->m_pNextFactory)
    if (factory->m_clsid == rclsid) return factory->QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}
