// dispatch_object.cc - the browser objects' reference counting and argument checks.
#include "platform/browser/dispatch_object.h"

#include "platform/browser/web_browser.h"

namespace browser {

ULONG DispatchObject::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT *pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT DispatchObject::QueryDispatch(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppv = static_cast<IDispatch *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT expect_call(const DISPPARAMS *params, WORD wFlags, WORD wanted_flags, UINT argument_count) {
  if ((wFlags & wanted_flags) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return argument_count == 0 ? S_OK : DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != argument_count) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

namespace {

// The argument at `index` counted from the first, following one level of VT_BYREF to a VARIANT.
const VARIANT *argument(const DISPPARAMS *params, UINT index) {
  const VARIANT *arg = &params->rgvarg[params->cArgs - 1 - index];
  if (arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal != nullptr) arg = arg->pvarVal;
  return arg;
}

HRESULT mismatch(const DISPPARAMS *params, UINT index, UINT *puArgErr) {
  if (puArgErr != nullptr) *puArgErr = params->cArgs - 1 - index;
  return DISP_E_TYPEMISMATCH;
}

}  // namespace

HRESULT bstr_argument(const DISPPARAMS *params, UINT index, BSTR *out, UINT *puArgErr) {
  const VARIANT *arg = argument(params, index);
  if (arg->vt != VT_BSTR) return mismatch(params, index, puArgErr);
  *out = arg->bstrVal;
  return S_OK;
}

HRESULT long_argument(const DISPPARAMS *params, UINT index, LONG *out, UINT *puArgErr) {
  const VARIANT *arg = argument(params, index);
  if (arg->vt != VT_I4) return mismatch(params, index, puArgErr);
  *out = arg->lVal;
  return S_OK;
}

std::u16string bstr_text(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

HRESULT parse_element_call(DISPID dispid, WORD wFlags, DISPPARAMS *params, ElementCall *call, UINT *puArgErr) {
  if (dispid != DISPID_HTMLELEMENT_INSERTADJACENTHTML && dispid != DISPID_HTMLELEMENT_GETATTRIBUTE)
    return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = expect_call(params, wFlags, DISPATCH_METHOD, 2);
  BSTR first = nullptr;
  if (SUCCEEDED(hr)) hr = bstr_argument(params, 0, &first, puArgErr);
  if (FAILED(hr)) return hr;
  call->dispid = dispid;
  call->first = bstr_text(first);
  if (dispid == DISPID_HTMLELEMENT_GETATTRIBUTE) return long_argument(params, 1, &call->flags, puArgErr);
  BSTR html = nullptr;
  if (FAILED(hr = bstr_argument(params, 1, &html, puArgErr))) return hr;
  call->html = bstr_text(html);
  return S_OK;
}

HRESULT return_dispatch(IDispatch *value, VARIANT *result) {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  result->vt = VT_DISPATCH;
  result->pdispVal = value;
  if (value != nullptr) value->AddRef();
  return S_OK;
}

}  // namespace browser
