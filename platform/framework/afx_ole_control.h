// afx_ole_control.h - COleControl, the base of a scriptable control, with its property exchange, verb and event maps and the macros that give a control its identity.
#pragma once

#include "platform/com/typelib.h"
#include "platform/framework/afx_ole_dispatch.h"
#include "platform/framework/afx_ole_factory.h"

#define MAKELONG(low, high) ((LONG)(((WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))

#define OLEMISC_RECOMPOSEONRESIZE 0x1
#define OLEMISC_CANTLINKINSIDE 0x10
#define OLEMISC_ACTIVATEWHENVISIBLE 0x80
#define OLEMISC_INSIDEOUT 0x100
#define OLEMISC_SETCLIENTSITEFIRST 0x20000

// Persisted properties pass through one exchange object, loading or saving. A control that is
// created afresh is loaded with nothing stored: its properties take their defaults and the
// version loaded is the current one.
class CPropExchange {
 public:
  // dwStoredVersion 0: nothing is stored.
  explicit CPropExchange(BOOL bLoading, DWORD dwStoredVersion = 0)
      : m_bLoading(bLoading), m_dwVersion(dwStoredVersion) {}
  BOOL IsLoading() const { return m_bLoading; }
  // The version of the persisted format: the one stored (loading) or written (saving).
  DWORD GetVersion() const { return m_dwVersion; }
  // Loading: dwVersionLoaded receives the stored version (dwVersionDefault when none is
  // stored). Saving: dwVersionDefault is written. Always TRUE, as nothing can be damaged.
  BOOL ExchangeVersion(DWORD &dwVersionLoaded, DWORD dwVersionDefault, BOOL bConvert);

 private:
  BOOL m_bLoading;
  DWORD m_dwVersion;
};

// A control's verbs. The Properties verb is the only one the framework knows, so every
// ON_OLEVERB entry stands for it.
#define OLEIVERB_PROPERTIES (-7)
#define AFX_IDS_VERB_PROPERTIES 0xF109
class COleControl;
struct AFX_OLEVERB_ENTRY {
  LONG iVerb;  // 0 with no name ends the map
  UINT nIDVerbName;
  BOOL (COleControl::*pfnVerb)();
};
#define DECLARE_OLEVERB_MAP()                        \
 protected:                                          \
  static const AFX_OLEVERB_ENTRY _verbEntries[];     \
  const AFX_OLEVERB_ENTRY *GetVerbMap() const override;
#define BEGIN_OLEVERB_MAP(theClass, baseClass)                                           \
  const AFX_OLEVERB_ENTRY *theClass::GetVerbMap() const { return theClass::_verbEntries; } \
  const AFX_OLEVERB_ENTRY theClass::_verbEntries[] = {
#define ON_OLEVERB(idsVerbName, memberFxn) {OLEIVERB_PROPERTIES, idsVerbName, &COleControl::memberFxn},
#define END_OLEVERB_MAP() \
  {0, 0, nullptr}         \
  }                       \
  ;

// A control's events: their names and identifiers.
struct AFX_EVENTMAP_ENTRY {
  LPCSTR pszName;  // NULL ends the map
  DISPID dispid;
};
#define DECLARE_EVENT_MAP()                          \
 protected:                                          \
  static const AFX_EVENTMAP_ENTRY _eventEntries[];   \
  const AFX_EVENTMAP_ENTRY *GetEventMap() const override;
#define BEGIN_EVENT_MAP(theClass, baseClass)                                               \
  const AFX_EVENTMAP_ENTRY *theClass::GetEventMap() const { return theClass::_eventEntries; } \
  const AFX_EVENTMAP_ENTRY theClass::_eventEntries[] = {
#define END_EVENT_MAP() \
  {nullptr, 0}          \
  }                     \
  ;

class COleControl : public CCmdTarget {
 public:
  COleControl();
  ~COleControl() override;

  static const CRuntimeClass classCOleControl;
  const CRuntimeClass *GetRuntimeClass() const override;

  // The control's class identifier (IMPLEMENT_OLECREATE_EX).
  virtual HRESULT GetClassID(CLSID *pclsid) = 0;
  // The registered type library holding the control's dispatch interface (IMPLEMENT_OLETYPELIB).
  virtual HRESULT GetTypeLib(LCID lcid, ITypeLib **ppTypeLib) = 0;
  // The string resource naming the control, and its OLEMISC_ flags (IMPLEMENT_OLECTLTYPE).
  virtual UINT GetUserTypeNameID() = 0;
  virtual DWORD GetMiscStatus() = 0;

  // Persistence: the control's own exchange calls ExchangeVersion and this base exchange, which
  // has no stock properties to exchange.
  virtual void DoPropExchange(CPropExchange *pPX);
  // bConvert: data stored by an older version is read as such and saved in dwVersionDefault's
  // format from then on (saving always writes dwVersionDefault).
  BOOL ExchangeVersion(CPropExchange *pPX, DWORD dwVersionDefault, BOOL bConvert = TRUE);
  DWORD GetVersionLoaded() const { return m_dwVersionLoaded; }
  const IID *GetEventIID() const { return m_piidEvents; }

  // A fresh control loads its properties with nothing stored.
  void InitNew() override;

  virtual const AFX_OLEVERB_ENTRY *GetVerbMap() const;
  virtual const AFX_EVENTMAP_ENTRY *GetEventMap() const;
  // The Properties verb: the framework shows no property pages, so the verb does nothing.
  BOOL OnProperties();

 protected:
  // The control's dispatch interface and event interface; its IDispatch also answers the former.
  void InitializeIIDs(const IID *piidPrimary, const IID *piidEvents);
  const IID *GetDispatchIID() const override { return m_piidPrimary; }
  // Type information of the dispatch interface, from the control's registered type library.
  HRESULT GetDispatchTypeInfo(LCID lcid, ITypeInfo **ppTypeInfo) override;

 private:
  const IID *m_piidPrimary = nullptr;
  const IID *m_piidEvents = nullptr;
  DWORD m_dwVersionLoaded = 0;
};

// A control's class factory, named <class>Factory and overriding only the registry update,
// and the control's class identifier.
#define DECLARE_OLECREATE_EX(theClass)                                                          \
 public:                                                                                        \
  class theClass##Factory : public COleObjectFactory {                                          \
   public:                                                                                      \
    using COleObjectFactory::COleObjectFactory;                                                 \
    BOOL UpdateRegistry(BOOL bRegister) override;                                               \
  };                                                                                            \
  static theClass##Factory factory;                                                             \
  static const GUID &guid;                                                                      \
  HRESULT GetClassID(CLSID *pclsid) override;
#define IMPLEMENT_OLECREATE_EX(theClass, external_name, clsid)                                  \
  const GUID &theClass::guid = clsid;                                                           \
  theClass::theClass##Factory theClass::factory(clsid, RUNTIME_CLASS(theClass), FALSE, external_name); \
  HRESULT theClass::GetClassID(CLSID *pclsid) {                                                 \
    *pclsid = guid;                                                                             \
    return S_OK;                                                                                \
  }

#define DECLARE_OLETYPELIB(theClass)                  \
 public:                                              \
  UINT GetTypeInfoCount() override;                   \
  HRESULT GetTypeLib(LCID lcid, ITypeLib **ppTypeLib) override;
#define IMPLEMENT_OLETYPELIB(theClass, tlid, wVerMajor, wVerMinor)             \
  UINT theClass::GetTypeInfoCount() { return 1; }                               \
  HRESULT theClass::GetTypeLib(LCID lcid, ITypeLib **ppTypeLib) {               \
    return LoadRegTypeLib(tlid, wVerMajor, wVerMinor, lcid, ppTypeLib);         \
  }

#define DECLARE_OLECTLTYPE(theClass) \
 public:                             \
  UINT GetUserTypeNameID() override; \
  DWORD GetMiscStatus() override;
#define IMPLEMENT_OLECTLTYPE(theClass, idsUserTypeName, dwOleMisc)  \
  UINT theClass::GetUserTypeNameID() { return idsUserTypeName; }    \
  DWORD theClass::GetMiscStatus() { return dwOleMisc; }
