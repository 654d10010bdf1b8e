// afx_ole_register.h - the registry entries of a control module: its type library and its control classes.
#pragma once

#include "platform/com/com_types.h"
#include "platform/modules/modules.h"

// Registration flags of AfxOleRegisterControlClass.
enum AFX_REG_FLAGS { afxRegDefault = 0x0, afxRegInsertable = 0x1, afxRegApartmentThreading = 0x2 };

// Registers the type library that the module hInstance (or the module file pszFileName, when
// given) holds as resource TYPELIB 1, after checking that it is the library tlid. pszHelpDir
// NULL uses the module's folder.
BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCSTR pszFileName = nullptr,
                           LPCSTR pszHelpDir = nullptr);
// Removes a registered type library version and, with its last locale, its interfaces' keys.
// FALSE when the library is not registered or cannot be removed.
BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor = 0, WORD wVerMinor = 0, LCID lcid = 0);

// Writes under HKEY_CLASSES_ROOT:
//   CLSID\{clsid} = user type name (string idTypeName of hInstance, else the class identifier's
//     text), with subkeys ProgID = pszProgID; InprocServer32 = the module's path in short form
//     (and ThreadingModel = "Apartment" with afxRegApartmentThreading); ToolboxBitmap32 =
//     "<path>, <idBitmap>"; MiscStatus = "0" and MiscStatus\1 = dwMiscStatus in decimal;
//     Control = ""; TypeLib = {tlid}; Version = "<major>.<minor>"; and Insertable = "" with
//     afxRegInsertable;
//   <pszProgID> = user type name, with subkey CLSID = {clsid}.
// A failed write removes what was written and returns FALSE.
BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor);
// Deletes CLSID\{clsid} and the ProgID key with everything under them; keys already gone count
// as deleted.
BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID);
