// html_document.cc - the stand-in's document and body element.
#include "platform/browser/browser_objects.h"
#include "platform/codepage/utf8.h"

namespace headless_browser {

namespace {

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

HRESULT HtmlBody::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                         UINT *puArgErr) {
  browser::ElementCall call;
  HRESULT hr = browser::parse_element_call(dispid, wFlags, params, &call, puArgErr);
  if (FAILED(hr) || FAILED(hr = injected_failure(dispid))) return hr;

  if (dispid == DISPID_HTMLELEMENT_INSERTADJACENTHTML) {
    // Only the position the system uses is modelled; the others would need an element tree.
    if (call.first != u"beforeEnd") return E_INVALIDARG;
    m_html += codepage::utf8_from_utf16(call.html);
    record(std::move(call.first), std::move(call.html));
    body_changed(*this);
    return S_OK;
  }

  if (result == nullptr) return S_OK;
  VariantInit(result);
  if (call.first == u"scrollWidth") return VariantCopy(result, &settings().scroll_width);
  if (call.first == u"scrollHeight") return VariantCopy(result, &settings().scroll_height);
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
  HRESULT hr = browser::expect_call(params, wFlags, DISPATCH_PROPERTYGET, 0);
  if (FAILED(hr) || FAILED(hr = injected_failure(dispid))) return hr;
  return browser::return_dispatch(settings().null_body ? nullptr : m_body, result);
}

}  // namespace headless_browser
