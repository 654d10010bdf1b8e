// afx_event_sink.h - event sink maps: the table that binds a hosted control's events (by control id and dispatch id) to a window's handlers.
#pragma once

#include <tuple>
#include <utility>

#include "platform/framework/afx_disp_driver.h"

// A window that hosts controls declares DECLARE_EVENTSINK_MAP() in its class and defines
//   BEGIN_EVENTSINK_MAP(CMyDlg, CDialog)
//     ON_EVENT(CMyDlg, 101, 259, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
//   END_EVENTSINK_MAP()
// which overrides the window's OnCmdMsgEvent: an event of a listed control and dispatch id goes
// to its handler, anything else to the base class. The parameter string must match the handler's
// parameters, checked when the map compiles: VTS_DISPATCH LPDISPATCH, VTS_PVARIANT VARIANT *,
// VTS_I4 LONG, VTS_BSTR BSTR (borrowed for the call). Handlers return void or BOOL (ignored).

struct AFX_EVENTSINKMAP_ENTRY {
  UINT nCtrlId;
  DISPID dispid;
  // Unpacks the event's arguments and calls the handler on the window; fails without calling it
  // when the arguments do not match.
  HRESULT (*pfnInvoke)(void *pTarget, DISPPARAMS *params);
};

namespace afx_event {

template <class T>
struct Param;
template <>
struct Param<LPDISPATCH> {
  static constexpr char vts = VTS_DISPATCH[0];
  static HRESULT From(const VARIANT &v, LPDISPATCH *out) {
    if (v.vt == VT_DISPATCH) *out = v.pdispVal;
    else if (v.vt == (VT_DISPATCH | VT_BYREF) && v.byref != nullptr) *out = *static_cast<LPDISPATCH *>(v.byref);
    else return DISP_E_TYPEMISMATCH;
    return S_OK;
  }
};
template <>
struct Param<VARIANT *> {
  static constexpr char vts = VTS_PVARIANT[0];
  static HRESULT From(VARIANT &v, VARIANT **out) {
    // A raiser may pass the VARIANT itself instead of a reference to one; both reach the handler.
    *out = v.vt == (VT_VARIANT | VT_BYREF) ? v.pvarVal : &v;
    return *out != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
  }
};
template <>
struct Param<LONG> {
  static constexpr char vts = VTS_I4[0];
  static HRESULT From(const VARIANT &v, LONG *out) {
    if (v.vt != VT_I4) return DISP_E_TYPEMISMATCH;
    *out = v.lVal;
    return S_OK;
  }
};
template <>
struct Param<BSTR> {
  static constexpr char vts = VTS_BSTR[0];
  static HRESULT From(const VARIANT &v, BSTR *out) {
    if (v.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    *out = v.bstrVal;
    return S_OK;
  }
};

template <class... Args>
constexpr bool Matches(const char *vts) {
  const char expected[] = {Param<Args>::vts..., '\0'};
  for (size_t i = 0; i <= sizeof...(Args); ++i)
    if (vts[i] != expected[i]) return false;
  return true;
}
template <class C, class R, class... Args>
constexpr bool HandlerMatches(R (C::*)(Args...), const char *vts) {
  return Matches<Args...>(vts);
}

template <class Target, class C, class R, class... Args, size_t... I>
HRESULT CallWith(Target *target, R (C::*pfn)(Args...), DISPPARAMS *params, std::index_sequence<I...>) {
  std::tuple<Args...> args{};
  HRESULT hr = S_OK;
  // rgvarg holds the arguments last first.
  ((hr = SUCCEEDED(hr) ? Param<Args>::From(params->rgvarg[sizeof...(Args) - 1 - I], &std::get<I>(args)) : hr), ...);
  if (FAILED(hr)) return hr;
  (target->*pfn)(std::get<I>(args)...);
  return S_OK;
}

template <class Target, class C, class R, class... Args>
HRESULT Call(Target *target, R (C::*pfn)(Args...), DISPPARAMS *params) {
  const UINT count = params != nullptr ? params->cArgs : 0;
  if (count != sizeof...(Args)) return DISP_E_BADPARAMCOUNT;
  if (params != nullptr && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  return CallWith(target, pfn, params, std::index_sequence_for<Args...>());
}

// Finds the entry for (nCtrlId, dispid) in a map ended by a null entry and calls it; FALSE when
// the map has no such entry. A handler whose arguments do not match is not called.
BOOL Dispatch(void *pTarget, const AFX_EVENTSINKMAP_ENTRY *entries, UINT nCtrlId, DISPID dispid, DISPPARAMS *params);

}  // namespace afx_event

#define DECLARE_EVENTSINK_MAP()                                                      \
 public:                                                                             \
  BOOL OnCmdMsgEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS *params) override;      \
                                                                                     \
 private:                                                                            \
  static const AFX_EVENTSINKMAP_ENTRY _eventsinkEntries[];

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)                                      \
  BOOL theClass::OnCmdMsgEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS *params) {     \
    if (afx_event::Dispatch(this, _eventsinkEntries, nCtrlId, dispid, params)) return TRUE; \
    return baseClass::OnCmdMsgEvent(nCtrlId, dispid, params);                         \
  }                                                                                   \
  const AFX_EVENTSINKMAP_ENTRY theClass::_eventsinkEntries[] = {
#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams)                                         \
  {id, dispid, [](void *pTarget, DISPPARAMS *params) -> HRESULT {                                      \
     static_assert(afx_event::HandlerMatches(&theClass::pfnHandler, vtsParams),                        \
                   "the parameter string does not match the handler's parameters");                   \
     return afx_event::Call(static_cast<theClass *>(pTarget), &theClass::pfnHandler, params);          \
   }},
#define END_EVENTSINK_MAP() \
  { 0, 0, nullptr }         \
  }                         \
  ;
