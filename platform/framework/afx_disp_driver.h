// afx_disp_driver.h - calls through IDispatch described by parameter type strings, as the framework's dispatch driver makes them.
#pragma once

#include <stdarg.h>

#include "platform/com/com_types.h"

// Parameter type strings: one byte per parameter, concatenated (VTS_BSTR VTS_I4), kept in a
// BYTE array by the caller. The C++ argument each byte takes from the variable arguments:
#define VT_MFCBYREF 0x40
#define VTS_NONE ""
#define VTS_I4 "\x03"        // LONG
#define VTS_BSTR "\x08"      // LPCSTR in the ANSI code page, passed on as a BSTR (NULL stays NULL)
#define VTS_DISPATCH "\x09"  // IDispatch *, not AddRef'd
#define VTS_VARIANT "\x0C"   // const VARIANT *, passed by value
#define VTS_PVARIANT "\x4C"  // VARIANT *, passed by reference

typedef IDispatch *LPDISPATCH;

// Calls dwDispID on pDispatch with the arguments that pbParamInfo describes (NULL: none). vtRet
// and pvRet receive the result: VT_EMPTY none; VT_I4 LONG *; VT_BSTR CString *; VT_DISPATCH
// LPDISPATCH * (a reference the caller releases; null when the member returned null);
// VT_VARIANT VARIANT * (the caller clears it). On failure pvRet is untouched and the HRESULT of
// the call, or of the result's conversion, is returned.
HRESULT AfxInvokeHelperV(IDispatch *pDispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet,
                         const BYTE *pbParamInfo, va_list argList);

// Holds one IDispatch and calls it. Unlike the original framework's driver, failures are returned
// rather than thrown, so that a failing call can never unwind through a COM caller.
class COleDispatchDriver {
 public:
  COleDispatchDriver() = default;
  // Takes over a reference of lpDispatch; released by the destructor when bAutoRelease.
  explicit COleDispatchDriver(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE)
      : m_lpDispatch(lpDispatch), m_bAutoRelease(bAutoRelease) {}
  COleDispatchDriver(const COleDispatchDriver &) = delete;
  COleDispatchDriver &operator=(const COleDispatchDriver &) = delete;
  ~COleDispatchDriver() { ReleaseDispatch(); }

  void AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE);
  void ReleaseDispatch();

  HRESULT InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet, const BYTE *pbParamInfo, ...);
  HRESULT GetProperty(DISPID dwDispID, VARTYPE vtProp, void *pvProp);

  LPDISPATCH m_lpDispatch = nullptr;
  BOOL m_bAutoRelease = TRUE;
};
