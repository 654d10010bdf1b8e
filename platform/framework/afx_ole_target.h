// afx_ole_target.h - CCmdTarget, the framework's COM object: reference counts, the controlling unknown, interface maps and runtime classes.
#pragma once

#include <atomic>

#include "platform/com/com_types.h"

class CCmdTarget;
struct AFX_MODULE_STATE;
struct AFX_DISPMAP;

// A class that the framework can create by name (the factories' way of making objects).
struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  CCmdTarget *(*m_pfnCreateObject)();
  const CRuntimeClass *m_pBaseClass;
  // NULL when the class is not creatable; std::bad_alloc when memory is exhausted.
  CCmdTarget *CreateObject() const { return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr; }
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)
#define DECLARE_DYNCREATE(theClass)              \
 public:                                         \
  static const CRuntimeClass class##theClass;    \
  static CCmdTarget *CreateObject();             \
  const CRuntimeClass *GetRuntimeClass() const override;
#define IMPLEMENT_DYNCREATE(theClass, baseClass)                                                     \
  CCmdTarget *theClass::CreateObject() { return new theClass; }                                      \
  const CRuntimeClass theClass::class##theClass = {#theClass, &theClass::CreateObject, RUNTIME_CLASS(baseClass)}; \
  const CRuntimeClass *theClass::GetRuntimeClass() const { return RUNTIME_CLASS(theClass); }

// Interface maps: which interfaces an object answers beyond IUnknown and IDispatch, each
// implemented by an object nested in it. The maps of base classes are searched after the class's own.
struct AFX_INTERFACEMAP_ENTRY {
  const IID *piid;  // NULL ends the map
  IUnknown *(*pfnGetInterface)(CCmdTarget *pTarget);
};
struct AFX_INTERFACEMAP {
  const AFX_INTERFACEMAP *(*pfnGetBaseMap)();
  const AFX_INTERFACEMAP_ENTRY *pEntry;
};

#define DECLARE_INTERFACE_MAP()                                 \
 private:                                                       \
  static const AFX_INTERFACEMAP_ENTRY _interfaceEntries[];      \
                                                                \
 protected:                                                     \
  static const AFX_INTERFACEMAP interfaceMap;                   \
  static const AFX_INTERFACEMAP *GetThisInterfaceMap();         \
  const AFX_INTERFACEMAP *GetInterfaceMap() const override;

#define BEGIN_INTERFACE_MAP(theClass, theBase)                                                         \
  const AFX_INTERFACEMAP *theClass::GetThisInterfaceMap() { return &theClass::interfaceMap; }          \
  const AFX_INTERFACEMAP *theClass::GetInterfaceMap() const { return &theClass::interfaceMap; }        \
  const AFX_INTERFACEMAP theClass::interfaceMap = {&theBase::GetThisInterfaceMap, &theClass::_interfaceEntries[0]}; \
  const AFX_INTERFACEMAP_ENTRY theClass::_interfaceEntries[] = {
#define INTERFACE_PART(theClass, iid, localClass) \
  {&iid, [](CCmdTarget *p) -> IUnknown * { return &static_cast<theClass *>(p)->m_x##localClass; }},
#define END_INTERFACE_MAP() \
  {nullptr, nullptr}        \
  }                         \
  ;

// A nested interface object: QueryInterface, AddRef and Release go to the outer object's
// controlling unknown, so the object behaves as one COM identity, aggregated or not.
template <typename Iface>
class CInterfacePart : public Iface {
 public:
  explicit CInterfacePart(CCmdTarget *pOuter) : m_pOuter(pOuter) {}
  CInterfacePart(const CInterfacePart &) = delete;
  CInterfacePart &operator=(const CInterfacePart &) = delete;
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

 protected:
  CCmdTarget *m_pOuter;
};

// Declares the nested object m_x<localClass> implementing iface; the class defines the
// interface's own methods as <outer>::X<localClass>::Method and reaches its outer object with
// METHOD_PROLOGUE.
#define BEGIN_INTERFACE_PART(localClass, iface)             \
  class X##localClass : public CInterfacePart<iface> {      \
   public:                                                  \
    using CInterfacePart<iface>::CInterfacePart;
#define END_INTERFACE_PART(localClass) \
  }                                    \
  m_x##localClass{this};               \
  friend class X##localClass;
#define METHOD_PROLOGUE(theClass, localClass) theClass *pThis = static_cast<theClass *>(m_pOuter)

class CCmdTarget {
 public:
  CCmdTarget();
  virtual ~CCmdTarget();
  CCmdTarget(const CCmdTarget &) = delete;
  CCmdTarget &operator=(const CCmdTarget &) = delete;

  virtual const CRuntimeClass *GetRuntimeClass() const;
  static const CRuntimeClass classCCmdTarget;

  // The controlling unknown: the outer object's when aggregated, else the object's own.
  ULONG ExternalAddRef();
  ULONG ExternalRelease();
  HRESULT ExternalQueryInterface(const void *iid, void **ppvObj);
  // The object's own (non-delegating) unknown.
  ULONG InternalAddRef();
  ULONG InternalRelease();
  HRESULT InternalQueryInterface(const void *iid, void **ppvObj);
  IUnknown *GetControllingUnknown();
  // The object's IDispatch (NULL unless automation is enabled), with a reference when bAddRef.
  IDispatch *GetIDispatch(BOOL bAddRef);

  // Called by a factory once the object is fully built and, when aggregated, given its outer
  // unknown, before any interface is handed out.
  void SetAggregateOuter(IUnknown *pOuterUnknown) { m_pOuterUnknown = pOuterUnknown; }
  void SetModuleLock(AFX_MODULE_STATE *pModuleState);
  virtual void InitNew() {}

 protected:
  // Runs when the last reference goes: deletes the object.
  virtual void OnFinalRelease();
  void EnableAutomation() { m_bAutomation = true; }
  // An interface identifier besides IID_IDispatch that the object's IDispatch answers (the
  // object's own dispatch interface); NULL for none.
  virtual const IID *GetDispatchIID() const { return nullptr; }

  static const AFX_INTERFACEMAP *GetThisInterfaceMap();
  virtual const AFX_INTERFACEMAP *GetInterfaceMap() const;
  static const AFX_DISPMAP *GetThisDispatchMap();
  virtual const AFX_DISPMAP *GetDispatchMap() const;

  // Type information behind IDispatch::GetTypeInfoCount and GetTypeInfo.
  virtual UINT GetTypeInfoCount() { return 0; }
  virtual HRESULT GetDispatchTypeInfo(LCID lcid, ITypeInfo **ppTypeInfo);

 private:
  class XInnerUnknown : public IUnknown {
   public:
    explicit XInnerUnknown(CCmdTarget *pOuter) : m_pOuter(pOuter) {}
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return m_pOuter->InternalQueryInterface(&riid, ppv); }
    ULONG AddRef() override { return m_pOuter->InternalAddRef(); }
    ULONG Release() override { return m_pOuter->InternalRelease(); }

   private:
    CCmdTarget *m_pOuter;
  };

  class XDispatch : public CInterfacePart<IDispatch> {
   public:
    using CInterfacePart<IDispatch>::CInterfacePart;
    HRESULT GetTypeInfoCount(UINT *pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
                   VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override;
  };

  void *FindInterface(REFIID riid);

  std::atomic<ULONG> m_dwRef{1};
  IUnknown *m_pOuterUnknown = nullptr;
  AFX_MODULE_STATE *m_pModuleState = nullptr;
  bool m_bAutomation = false;
  XInnerUnknown m_xInnerUnknown{this};
  XDispatch m_xDispatch{this};
};

template <typename Iface>
HRESULT CInterfacePart<Iface>::QueryInterface(REFIID riid, void **ppv) {
  return m_pOuter->ExternalQueryInterface(&riid, ppv);
}
template <typename Iface>
ULONG CInterfacePart<Iface>::AddRef() {
  return m_pOuter->ExternalAddRef();
}
template <typename Iface>
ULONG CInterfacePart<Iface>::Release() {
  return m_pOuter->ExternalRelease();
}
