// afx_disp_driver.cc - IDispatch calls from parameter type strings: argument marshalling, the call, and the result's conversion.
#include "platform/framework/afx_disp_driver.h"

#include <string.h>

#include <vector>

#include "platform/codepage/multibyte.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/framework/afx_string.h"

namespace {

// NULL stays NULL, as the framework passes a null string on.
HRESULT bstr_from_ansi(LPCSTR text, BSTR *out) {
  *out = nullptr;
  if (text == nullptr) return S_OK;
  const int length = static_cast<int>(strlen(text));
  *out = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (*out == nullptr) return E_OUTOFMEMORY;
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, length, *out, length);
  return S_OK;
}

CString ansi_from_bstr(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return CString();
  const int needed = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  CString result;
  WideCharToMultiByte(CP_ACP, 0, text, length, result.GetBuffer(needed), needed, nullptr, nullptr);
  result.ReleaseBuffer(needed);
  return result;
}

// Moves the call's result into the caller's variable; clears *result on every path.
HRESULT store_result(VARIANT *result, VARTYPE vtRet, void *pvRet) {
  HRESULT hr = S_OK;
  switch (vtRet) {
    case VT_VARIANT:
      *static_cast<VARIANT *>(pvRet) = *result;
      VariantInit(result);  // ownership moved to the caller
      return S_OK;
    case VT_DISPATCH:
      if (result->vt != VT_DISPATCH) break;
      *static_cast<LPDISPATCH *>(pvRet) = result->pdispVal;
      VariantInit(result);
      return S_OK;
    case VT_I4:
      if (FAILED(hr = VariantChangeType(result, result, 0, VT_I4))) break;
      *static_cast<LONG *>(pvRet) = result->lVal;
      return S_OK;
    case VT_BSTR:
      if (result->vt != VT_BSTR) break;
      *static_cast<CString *>(pvRet) = ansi_from_bstr(result->bstrVal);
      VariantClear(result);
      return S_OK;
    default:
      hr = DISP_E_BADVARTYPE;
  }
  VariantClear(result);
  return FAILED(hr) ? hr : DISP_E_TYPEMISMATCH;
}

void clear_excepinfo(EXCEPINFO *excep) {
  SysFreeString(excep->bstrSource);
  SysFreeString(excep->bstrDescription);
  SysFreeString(excep->bstrHelpFile);
}

}  // namespace

HRESULT AfxInvokeHelperV(IDispatch *pDispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet,
                         const BYTE *pbParamInfo, va_list argList) {
  if (pDispatch == nullptr || (vtRet != VT_EMPTY && pvRet == nullptr)) return E_POINTER;
  const size_t count = pbParamInfo != nullptr ? strlen(reinterpret_cast<const char *>(pbParamInfo)) : 0;

  // IDispatch wants the arguments last first. Only BSTRs made here are owned by the vector;
  // dispatch pointers and VARIANTs stay the caller's.
  std::vector<VARIANT> args(count);
  HRESULT hr = S_OK;
  for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
    VARIANT &arg = args[count - 1 - i];
    VariantInit(&arg);
    switch (pbParamInfo[i]) {
      case VT_I4:
        arg.vt = VT_I4;
        arg.lVal = va_arg(argList, LONG);
        break;
      case VT_BSTR:
        arg.vt = VT_BSTR;
        hr = bstr_from_ansi(va_arg(argList, LPCSTR), &arg.bstrVal);
        break;
      case VT_DISPATCH:
        arg.vt = VT_DISPATCH;
        arg.pdispVal = va_arg(argList, LPDISPATCH);
        break;
      case VT_VARIANT:
        arg = *va_arg(argList, const VARIANT *);
        break;
      case VT_VARIANT | VT_MFCBYREF:
        arg.vt = VT_VARIANT | VT_BYREF;
        arg.pvarVal = va_arg(argList, VARIANT *);
        break;
      default:
        hr = DISP_E_BADVARTYPE;  // the remaining arguments cannot be read without their types
    }
  }

  VARIANT result;
  VariantInit(&result);
  if (SUCCEEDED(hr)) {
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(count), 0};
    EXCEPINFO excep{};
    UINT argErr = 0;
    hr = pDispatch->Invoke(dwDispID, GUID_NULL, LOCALE_USER_DEFAULT, wFlags, &params,
                           vtRet != VT_EMPTY ? &result : nullptr, &excep, &argErr);
    clear_excepinfo(&excep);
  }
  for (size_t i = 0; i < count; ++i)
    if (pbParamInfo[i] == VT_BSTR) SysFreeString(args[count - 1 - i].bstrVal);

  if (FAILED(hr) || vtRet == VT_EMPTY) {
    VariantClear(&result);
    return hr;
  }
  return store_result(&result, vtRet, pvRet);
}

void COleDispatchDriver::AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease) {
  ReleaseDispatch();
  m_lpDispatch = lpDispatch;
  m_bAutoRelease = bAutoRelease;
}

void COleDispatchDriver::ReleaseDispatch() {
  if (m_lpDispatch != nullptr && m_bAutoRelease) m_lpDispatch->Release();
  m_lpDispatch = nullptr;
}

HRESULT COleDispatchDriver::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet,
                                         const BYTE *pbParamInfo, ...) {
  va_list argList;
  va_start(argList, pbParamInfo);
  const HRESULT hr = AfxInvokeHelperV(m_lpDispatch, dwDispID, wFlags, vtRet, pvRet, pbParamInfo, argList);
  va_end(argList);
  return hr;
}

HRESULT COleDispatchDriver::GetProperty(DISPID dwDispID, VARTYPE vtProp, void *pvProp) {
  return InvokeHelper(dwDispID, DISPATCH_PROPERTYGET, vtProp, pvProp, nullptr);
}
