// typelib.h - type libraries: ITypeLib and ITypeInfo, their descriptions, and loading and registering libraries.
#pragma once

#include "platform/com/com_types.h"

typedef LONG MEMBERID;
typedef DWORD HREFTYPE;
typedef LONG SCODE;
#define MEMBERID_NIL DISPID_UNKNOWN

enum TYPEKIND : int {
  TKIND_ENUM,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
};
enum SYSKIND : int { SYS_WIN16, SYS_WIN32, SYS_MAC, SYS_WIN64 };
enum FUNCKIND : int { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND : int {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};
enum CALLCONV : int { CC_FASTCALL, CC_CDECL, CC_MSCPASCAL, CC_PASCAL = CC_MSCPASCAL, CC_MACPASCAL, CC_STDCALL };

#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FDISPATCHABLE 0x1000
#define LIBFLAG_FCONTROL 0x2
#define LIBFLAG_FHASDISKIMAGE 0x8

#define TYPE_E_UNSUPFORMAT MAKE_HRESULT_VALUE(0x80028019u)

typedef struct TYPEDESC {
  union {
    struct TYPEDESC *lptdesc;
    void *lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;

typedef struct IDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
} IDLDESC;

typedef struct PARAMDESC {
  void *pparamdescex;
  USHORT wParamFlags;
} PARAMDESC;

typedef struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
} ELEMDESC;

typedef struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
} TYPEATTR;

typedef struct FUNCDESC {
  MEMBERID memid;
  SCODE *lprgscode;
  ELEMDESC *lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
} FUNCDESC;

typedef struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR;

struct ITypeComp;
struct VARDESC;

// Methods the system never calls answer E_NOTIMPL; they keep their places in the vtable.
struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR **ppTypeAttr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp **ppTComp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC **ppFuncDesc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC **ppVarDesc) = 0;
  virtual HRESULT GetNames(MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE *pRefType) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, int *pImplTypeFlags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) = 0;
  virtual HRESULT Invoke(void *pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS *pDispParams,
                         VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) = 0;
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                                   BSTR *pBstrHelpFile) = 0;
  virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR *pBstrDllName, BSTR *pBstrName,
                              WORD *pwOrdinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo **ppTInfo) = 0;
  virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void **ppv) = 0;
  virtual HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObj) = 0;
  virtual HRESULT GetMops(MEMBERID memid, BSTR *pBstrMops) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib **ppTLib, UINT *pIndex) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR *pTypeAttr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC *pFuncDesc) = 0;
  virtual void ReleaseVarDesc(VARDESC *pVarDesc) = 0;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo **ppTInfo) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND *pTKind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **ppTinfo) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR **ppTLibAttr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp **ppTComp) = 0;
  // index -1 documents the library itself.
  virtual HRESULT GetDocumentation(int index, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                                   BSTR *pBstrHelpFile) = 0;
  virtual HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL *pfName) = 0;
  virtual HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo **ppTInfo, MEMBERID *rgMemId,
                           USHORT *pcFound) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR *pTLibAttr) = 0;
};

// Loads the type library held by the module at szFile as its resource "TYPELIB" 1 (the module
// is unloaded again once the library is read). TYPE_E_CANTLOADLIBRARY when the module or the
// resource is missing, TYPE_E_INVDATAREAD or TYPE_E_UNSUPFORMAT when the resource is damaged.
// Paths are UTF-8 once converted to 8-bit text.
HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib **pptlib);

namespace com::typelib {
// The library an image holds, behind ITypeLib: what LoadTypeLib gives for a module's resource,
// with read_image's verdicts. The library keeps its own copy, so the bytes may go at once.
HRESULT open_image(const uint8_t *data, size_t size, ITypeLib **pptlib);
}  // namespace com::typelib

// Writes, under HKEY_CLASSES_ROOT:
//   TypeLib\{libid}\<major>.<minor> = name, with subkeys <lcid>\win64 = szFullPath,
//   FLAGS = library flags in decimal, HELPDIR = szHelpDir or the folder of szFullPath;
//   Interface\{iid} = name, with ProxyStubClsid32, ProxyStubClsid and TypeLib = {libid}
//   (value Version) for every dispatch interface of the library.
// Versions and locales are written in hexadecimal. TYPE_E_REGISTRYACCESS when a write fails.
HRESULT RegisterTypeLib(ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes the locale's registration; when it was the version's last locale, also the version
// key and the Interface keys that name this library, and the library key once it is empty.
// TYPE_E_REGISTRYACCESS when that locale is not registered.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
// Loads a registered library: the version's key, then the locale lcid, its primary language,
// the neutral locale 0, and finally the first locale registered (a library registered
// for one locale serves every request). TYPE_E_LIBNOTREGISTERED when nothing matches.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib **pptlib);
