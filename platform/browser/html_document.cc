// html_document.cc - the stand-in's document and body element, and the reference counting and argument checks its objects share.
#include "platform/browser/browser_objects.h"
#include "platform/codepage/utf8.h"

namespace headless_browser {

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

HRESULT long_argument(const DISPPARAMS *params, UINT index, LONG *out, UINT *puArgErr) {
  const VARIANT *arg = argument(params, index);
  if (arg->vt != VT_I4) {
    if (puArgErr != nullptr) *puArgErr = params->cArgs - 1 - index;
    return DISP_E_TYPEMISMATCH;
  }
  *out = arg->lVal;
  return S_OK;
}

void record(std::u16string where, std::u16string html) {
  if (!settings().record_insertions) return;
  Insertion insertion;
  insertion.where_utf8 = codepage::utf8_from_utf16(where);
  insertion.html_utf8 = codepage::utf8_from_utf16(html);
  insertion.where = std::move(where);
  insertion.html = std::move(html);
  settings().insertions.push_back(std::move(insertion));
}

}  // namespace

HRESULT bstr_argument(const DISPPARAMS *params, UINT index, BSTR *out, UINT *puArgErr) {
  const VARIANT *arg = argument(params, index);
  if (arg->vt != VT_BSTR) {
    if (puArgErr != nullptr) *puArgErr = params->cArgs - 1 - index;
    return DISP_E_TYPEMISMATCH;
  }
  *out = arg->bstrVal;
  return S_OK;
}

std::u16string bstr_text(BSTR text) { return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text)); }

HRESULT HtmlBody::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                         UINT *puArgErr) {
  if (dispid != DISPID_HTMLELEMENT_INSERTADJACENTHTML && dispid != DISPID_HTMLELEMENT_GETATTRIBUTE)
    return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = expect_call(params, wFlags, DISPATCH_METHOD, 2);
  BSTR first = nullptr;
  if (SUCCEEDED(hr)) hr = bstr_argument(params, 0, &first, puArgErr);
  if (FAILED(hr)) return hr;

  if (dispid == DISPID_HTMLELEMENT_INSERTADJACENTHTML) {
    BSTR html = nullptr;
    if (FAILED(hr = bstr_argument(params, 1, &html, puArgErr))) return hr;
    if (FAILED(hr = injected_failure(dispid))) return hr;
    // Only the position the system uses is modelled; the others would need an element tree.
    if (bstr_text(first) != u"beforeEnd") return E_INVALIDARG;
    record(bstr_text(first), bstr_text(html));
    m_html += codepage::utf8_from_utf16(std::u16string_view(html != nullptr ? html : u"", SysStringLen(html)));
    body_changed(*this);
    return S_OK;
  }

  LONG flags = 0;
  if (FAILED(hr = long_argument(params, 1, &flags, puArgErr))) return hr;
  if (FAILED(hr = injected_failure(dispid))) return hr;
  if (result == nullptr) return S_OK;
  VariantInit(result);
  const std::u16string name = bstr_text(first);
  if (name == u"scrollWidth") return VariantCopy(result, &settings().scroll_width);
  if (name == u"scrollHeight") return VariantCopy(result, &settings().scroll_height);
  result->vt = VT_NULL;  // an attribute the element does not have
  return S_OK;
}

HRESULT HtmlDocument::QueryInterface(REFIID riid, void **ppv) {
  if (ppv != nullptr && riid == IID_IHTMLDocument2) {
    if (settings().refuse_document_interface) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IDispatch *>(this);
    AddRef();
    return S_OK;
  }
  return QueryDispatch(riid, ppv);
}

HRESULT HtmlDocument::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result,
                             EXCEPINFO *, UINT *) {
  if (dispid != DISPID_HTMLDOCUMENT_BODY) return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = expect_call(params, wFlags, DISPATCH_PROPERTYGET, 0);
  if (FAILED(hr) || FAILED(hr = injected_failure(dispid))) return hr;
  if (result == nullptr) return S_OK;
  VariantInit(result);
  result->vt = VT_DISPATCH;
  result->pdispVal = settings().null_body ? nullptr : m_body;
  if (result->pdispVal != nullptr) result->pdispVal->AddRef();
  return S_OK;
}

}  // namespace headless_browser
