// dispatch_object.h - what the browser controls' automation objects share: reference counting, the IDispatch parts they do not serve, and argument checks.
#pragma once

#include <string>

#include "platform/com/bstr.h"
#include "platform/com/com_types.h"
#include "platform/com/variant.h"

namespace browser {

// Reference counting and the IDispatch parts no browser object serves: no type information,
// no names (callers use the published dispatch ids). Objects start with one reference.
class DispatchObject : public IDispatch {
 public:
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT *pctinfo) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return DISP_E_UNKNOWNNAME; }

 protected:
  DispatchObject() = default;
  virtual ~DispatchObject() = default;
  // Answers IUnknown and IDispatch; derived objects add their own interfaces first.
  HRESULT QueryDispatch(REFIID riid, void **ppv);

 private:
  ULONG m_refs = 1;
};

// Argument checks shared by the objects' Invoke. Arguments arrive last first in rgvarg.
HRESULT expect_call(const DISPPARAMS *params, WORD wFlags, WORD wanted_flags, UINT argument_count);
// The argument at position `index` (0 = first) as a BSTR or a LONG, through one level of VT_BYREF.
HRESULT bstr_argument(const DISPPARAMS *params, UINT index, BSTR *out, UINT *puArgErr);
HRESULT long_argument(const DISPPARAMS *params, UINT index, LONG *out, UINT *puArgErr);
std::u16string bstr_text(BSTR text);

// The calls a document element takes: insertAdjacentHTML(where, html) and getAttribute(name,
// flags), with their arguments checked; E_* or DISP_E_* for a call that is neither or is malformed.
struct ElementCall {
  DISPID dispid;
  std::u16string first;  // where, or the attribute's name
  std::u16string html;   // insertAdjacentHTML only
  LONG flags = 0;        // getAttribute only
};
HRESULT parse_element_call(DISPID dispid, WORD wFlags, DISPPARAMS *params, ElementCall *call, UINT *puArgErr);

// A property get of a dispatch pointer (Document, body): the result gets `value` with one
// reference added, which may be null.
HRESULT return_dispatch(IDispatch *value, VARIANT *result);

}  // namespace browser
