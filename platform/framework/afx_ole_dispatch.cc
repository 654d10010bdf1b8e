// afx_ole_dispatch.cc - dispatch map lookup and the argument and result conversions of the thunks.
#include "platform/framework/afx_ole_dispatch.h"

#include "platform/com/bstr.h"
#include "platform/com/ole_text.h"
#include "platform/com/variant.h"

namespace {

DISPID dispid_of(const AFX_DISPMAP_ENTRY *entries, const AFX_DISPMAP_ENTRY &entry) {
  return entry.lDispID != DISPID_UNKNOWN ? entry.lDispID : static_cast<DISPID>(&entry - entries + 1);
}

template <typename Match>
const AFX_DISPMAP_ENTRY *find(const AFX_DISPMAP *map, DISPID *pDispID, Match match) {
  for (; map != nullptr; map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_DISPMAP_ENTRY *entry = map->lpEntries; entry->lpszName != nullptr; ++entry) {
      const DISPID dispid = dispid_of(map->lpEntries, *entry);
      if (match(*entry, dispid)) {
        if (pDispID != nullptr) *pDispID = dispid;
        return entry;
      }
    }
  }
  return nullptr;
}

}  // namespace

const AFX_DISPMAP_ENTRY *AfxFindDispatchEntry(const AFX_DISPMAP *pMap, LPCOLESTR lpszName, DISPID *pDispID) {
  return find(pMap, pDispID, [lpszName](const AFX_DISPMAP_ENTRY &entry, DISPID) {
    return com::ole_name_equals(lpszName, entry.lpszName);
  });
}

const AFX_DISPMAP_ENTRY *AfxFindDispatchEntry(const AFX_DISPMAP *pMap, DISPID dispid) {
  return find(pMap, nullptr, [dispid](const AFX_DISPMAP_ENTRY &, DISPID id) { return id == dispid; });
}

namespace afx_dispatch {

HRESULT Arg<LPCSTR>::take(const VARIANT &v) {
  // A string is converted where it lies: a change of type would copy it first, and a page's text
  // may be large.
  if (v.vt == VT_BSTR) {
    if (v.bstrVal != nullptr) value = com::ole_to_ansi(v.bstrVal, SysStringLen(v.bstrVal));
    return S_OK;
  }
  VARIANT text;
  VariantInit(&text);
  const HRESULT hr = VariantChangeType(&text, &v, 0, VT_BSTR);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  if (text.bstrVal != nullptr) value = com::ole_to_ansi(text.bstrVal, SysStringLen(text.bstrVal));
  VariantClear(&text);
  return S_OK;
}

HRESULT Arg<LONG>::take(const VARIANT &v) {
  VARIANT number;
  VariantInit(&number);
  const HRESULT hr = VariantChangeType(&number, &v, 0, VT_I4);
  if (FAILED(hr)) return hr;
  value = number.lVal;
  return S_OK;
}

void store_result(BSTR result, VARIANT *pVarResult) {
  if (pVarResult == nullptr) {
    SysFreeString(result);
    return;
  }
  VariantClear(pVarResult);
  pVarResult->vt = VT_BSTR;
  pVarResult->bstrVal = result;
}

void store_result(LONG result, VARIANT *pVarResult) {
  if (pVarResult == nullptr) return;
  VariantClear(pVarResult);
  pVarResult->vt = VT_I4;
  pVarResult->lVal = result;
}

HRESULT guarded_call(void (*call)(void *), void *context) {
  try {
    call(context);
    return S_OK;
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return DISP_E_EXCEPTION;
  }
}

}  // namespace afx_dispatch
