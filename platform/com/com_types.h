// com_types.h - COM's binary types on this platform: GUIDs, HRESULTs, BSTR, VARIANT and the core interfaces.
#pragma once

// Interfaces are classes of pure virtual functions declared in COM's method order, with no
// virtual destructor, so that their vtables have COM's layout and hosts in other languages can
// call them. HRESULT is 32-bit, GUID 16 bytes, OLECHAR a UTF-16 unit, and a BSTR points just
// after a 32-bit byte-length prefix and ends with a 16-bit NUL.

#include <stdint.h>
#include <string.h>

#include "platform/base/win_types.h"

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int64_t LONGLONG;
typedef int32_t DISPID;
typedef uint32_t LCID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef WCHAR OLECHAR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef OLECHAR *BSTR;

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT_VALUE(v) ((HRESULT)(uint32_t)(v))

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL MAKE_HRESULT_VALUE(0x80004001u)
#define E_NOINTERFACE MAKE_HRESULT_VALUE(0x80004002u)
#define E_POINTER MAKE_HRESULT_VALUE(0x80004003u)
#define E_FAIL MAKE_HRESULT_VALUE(0x80004005u)
#define E_UNEXPECTED MAKE_HRESULT_VALUE(0x8000FFFFu)
#define E_OUTOFMEMORY MAKE_HRESULT_VALUE(0x8007000Eu)
#ifndef E_INVALIDARG  // the crypto types define it too, with the same value
#define E_INVALIDARG MAKE_HRESULT_VALUE(0x80070057u)
#endif
#define CLASS_E_NOAGGREGATION MAKE_HRESULT_VALUE(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE MAKE_HRESULT_VALUE(0x80040111u)
#define REGDB_E_CLASSNOTREG MAKE_HRESULT_VALUE(0x80040154u)
#define REGDB_E_READREGDB MAKE_HRESULT_VALUE(0x80040150u)
#define CO_E_CLASSSTRING MAKE_HRESULT_VALUE(0x800401F3u)
#define CO_E_DLLNOTFOUND MAKE_HRESULT_VALUE(0x800401F8u)
#define CO_E_ERRORINDLL MAKE_HRESULT_VALUE(0x800401F9u)
#define SELFREG_E_TYPELIB MAKE_HRESULT_VALUE(0x80040200u)
#define SELFREG_E_CLASS MAKE_HRESULT_VALUE(0x80040201u)
#define DISP_E_UNKNOWNINTERFACE MAKE_HRESULT_VALUE(0x80020001u)
#define DISP_E_MEMBERNOTFOUND MAKE_HRESULT_VALUE(0x80020003u)
#define DISP_E_PARAMNOTFOUND MAKE_HRESULT_VALUE(0x80020004u)
#define DISP_E_TYPEMISMATCH MAKE_HRESULT_VALUE(0x80020005u)
#define DISP_E_UNKNOWNNAME MAKE_HRESULT_VALUE(0x80020006u)
#define DISP_E_NONAMEDARGS MAKE_HRESULT_VALUE(0x80020007u)
#define DISP_E_BADVARTYPE MAKE_HRESULT_VALUE(0x80020008u)
#define DISP_E_EXCEPTION MAKE_HRESULT_VALUE(0x80020009u)
#define DISP_E_OVERFLOW MAKE_HRESULT_VALUE(0x8002000Au)
#define DISP_E_BADINDEX MAKE_HRESULT_VALUE(0x8002000Bu)
#define DISP_E_BADPARAMCOUNT MAKE_HRESULT_VALUE(0x8002000Eu)
#define TYPE_E_LIBNOTREGISTERED MAKE_HRESULT_VALUE(0x8002801Du)
#define TYPE_E_ELEMENTNOTFOUND MAKE_HRESULT_VALUE(0x8002802Bu)
#define TYPE_E_REGISTRYACCESS MAKE_HRESULT_VALUE(0x8002801Cu)
#define TYPE_E_CANTLOADLIBRARY MAKE_HRESULT_VALUE(0x80029C4Au)
#define TYPE_E_INVDATAREAD MAKE_HRESULT_VALUE(0x80028018u)

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
#endif
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

extern const GUID GUID_NULL;
#define IID_NULL GUID_NULL
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IDispatch;
extern const IID IID_ITypeInfo;
extern const IID IID_ITypeLib;
extern const IID IID_IObjectSafety;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;

// VARIANT: the subset the system passes through IDispatch.
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
  VT_INT = 22,
  VT_UINT = 23,
  VT_HRESULT = 25,
  VT_BYREF = 0x4000,
};

struct IUnknown;
struct IDispatch;

typedef struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    SHORT iVal;
    int intVal;
    UINT uintVal;
    ULONG ulVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown *punkVal;
    IDispatch *pdispVal;
    struct VARIANT *pvarVal;
    void *byref;
    struct {
      void *pvRecord;
      void *pRecInfo;
    } brecVal;
  };
} VARIANT, VARIANTARG;
static_assert(sizeof(VARIANT) == 24, "VARIANT has COM's 64-bit layout");

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct DISPPARAMS {
  VARIANTARG *rgvarg;  // arguments in reverse order: the last one first
  DISPID *rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void *pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct EXCEPINFO *);
  HRESULT scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPID_UNKNOWN (-1)
#define DISPID_PROPERTYPUT (-3)
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

struct ITypeInfo;
struct ITypeLib;

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void **ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT *pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
                         VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) = 0;
};

#define INTERFACESAFE_FOR_UNTRUSTED_CALLER 0x00000001
#define INTERFACESAFE_FOR_UNTRUSTED_DATA 0x00000002

struct IObjectSafety : IUnknown {
  virtual HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD *pdwSupportedOptions, DWORD *pdwEnabledOptions) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) = 0;
};

struct IConnectionPoint;
struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(void **ppEnum) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) = 0;
};

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID *pIID) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer **ppCPC) = 0;
  virtual HRESULT Advise(IUnknown *pUnkSink, DWORD *pdwCookie) = 0;
  virtual HRESULT Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT EnumConnections(void **ppEnum) = 0;
};
