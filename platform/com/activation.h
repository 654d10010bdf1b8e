// activation.h - the COM runtime: apartment entry, in-process class objects and object creation by CLSID or ProgID.
#pragma once

#include "platform/com/com_types.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

#define CO_E_NOTINITIALIZED MAKE_HRESULT_VALUE(0x800401F0u)
#define CO_E_OBJNOTREG MAKE_HRESULT_VALUE(0x800401FBu)
#define RPC_E_CHANGED_MODE MAKE_HRESULT_VALUE(0x80010106u)

// Apartments are counted per thread: the first call answers S_OK, later ones S_FALSE, and a call
// asking for the other threading model RPC_E_CHANGED_MODE. Creation does not insist on them:
// every object here is in-process and runs on its caller's thread.
HRESULT CoInitialize(void *pvReserved);
HRESULT CoInitializeEx(void *pvReserved, DWORD dwCoInit);
// The last balancing call also unloads the modules that agree to it (CoFreeUnusedLibraries).
void CoUninitialize();

// The process's own class table, searched before the registry. The table holds one reference on
// pUnk until the class is revoked by its cookie.
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown *pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD *lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);

// In-process servers only: the class table, then HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32,
// whose module is loaded once and asked through its export DllGetClassObject.
// REGDB_E_CLASSNOTREG when the class is unknown, CO_E_DLLNOTFOUND when its module does not load,
// CO_E_ERRORINDLL when it lacks the export, CLASS_E_CLASSNOTAVAILABLE without CLSCTX_INPROC_SERVER.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void *pvReserved, REFIID riid, void **ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv);
// HKEY_CLASSES_ROOT\<ProgID>\CLSID; CO_E_CLASSSTRING when missing or not a GUID.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID *lpclsid);
// Asks each module loaded for a class whether it can be unloaded (DllCanUnloadNow) and unloads
// those that answer S_OK.
void CoFreeUnusedLibraries();
