// afx_ole_dispatch.h - dispatch maps: the members a class exposes through IDispatch, and the thunks that convert their arguments.
#pragma once

#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/com_types.h"
#include "platform/framework/afx_disp_driver.h"  // the VTS_ parameter strings
#include "platform/framework/afx_ole_target.h"

// Converts the call's arguments, calls the member and stores its result. Arguments arrive in
// DISPPARAMS order (the last first); *puArgErr names a refused one by that index.
typedef HRESULT (*AFX_DISPTHUNK)(CCmdTarget *pTarget, DISPPARAMS *pDispParams, VARIANT *pVarResult,
                                 UINT *puArgErr);

struct AFX_DISPMAP_ENTRY {
  LPCSTR lpszName;  // NULL ends the map
  DISPID lDispID;   // DISPID_UNKNOWN: the entry's position in its map, counted from 1
  AFX_DISPTHUNK pfnThunk;
};
struct AFX_DISPMAP {
  const AFX_DISPMAP *(*pfnGetBaseMap)();
  const AFX_DISPMAP_ENTRY *lpEntries;
};

// The entry of a map chain (the class's own map first) that a name or an identifier names.
// Names match without regard to case. NULL when none does; *pDispID receives the entry's DISPID.
const AFX_DISPMAP_ENTRY *AfxFindDispatchEntry(const AFX_DISPMAP *pMap, LPCOLESTR lpszName, DISPID *pDispID);
const AFX_DISPMAP_ENTRY *AfxFindDispatchEntry(const AFX_DISPMAP *pMap, DISPID dispid);

namespace afx_dispatch {

// The one argument conversion each parameter type has. An automation string becomes an 8-bit
// string in the ANSI code page (WideCharToMultiByte(CP_ACP)); a null BSTR a null pointer.
template <typename T>
struct Arg;
template <>
struct Arg<LPCSTR> {
  static constexpr char vts = VTS_BSTR[0];
  std::optional<std::string> value;
  HRESULT take(const VARIANT &v);
  LPCSTR get() const { return value ? value->c_str() : nullptr; }
};
template <>
struct Arg<LONG> {
  static constexpr char vts = VTS_I4[0];
  LONG value = 0;
  HRESULT take(const VARIANT &v);
  LONG get() const { return value; }
};

// The result conversion: a BSTR result is handed over to the caller (or freed without one).
void store_result(BSTR result, VARIANT *pVarResult);
void store_result(LONG result, VARIANT *pVarResult);
template <typename R>
constexpr VARTYPE result_vt() {
  if constexpr (std::is_void_v<R>) return VT_EMPTY;
  else if constexpr (std::is_same_v<R, BSTR>) return VT_BSTR;
  else if constexpr (std::is_same_v<R, LONG>) return VT_I4;
}

// Called around every member: a member that runs out of memory fails the call with
// E_OUTOFMEMORY; any other exception with DISP_E_EXCEPTION. Nothing is thrown to the caller.
HRESULT guarded_call(void (*call)(void *), void *context);

template <auto Member>
struct Thunk;

template <class C, class R, class... A, R (C::*Member)(A...)>
struct Thunk<Member> {
  static HRESULT Call(CCmdTarget *pTarget, DISPPARAMS *pDispParams, VARIANT *pVarResult, UINT *puArgErr) {
    if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (pDispParams->cArgs != sizeof...(A)) return DISP_E_BADPARAMCOUNT;
    std::tuple<Arg<A>...> args;
    HRESULT hr = S_OK;
    UINT index = 0;
    std::apply(
        [&](auto &...arg) {
          ((hr = SUCCEEDED(hr) ? take(arg, pDispParams, index, puArgErr) : hr, ++index), ...);
        },
        args);
    if (FAILED(hr)) return hr;
    struct Context {
      C *target;
      std::tuple<Arg<A>...> *args;
      VARIANT *result;
    } context{static_cast<C *>(pTarget), &args, pVarResult};
    return guarded_call(
        [](void *p) {
          auto *ctx = static_cast<Context *>(p);
          std::apply(
              [ctx](auto &...arg) {
                if constexpr (std::is_void_v<R>) (ctx->target->*Member)(arg.get()...);
                else store_result((ctx->target->*Member)(arg.get()...), ctx->result);
              },
              *ctx->args);
        },
        &context);
  }

  // The thunk, once the declared result type and parameter string are checked against the
  // member's signature: a mismatch does not compile.
  static consteval AFX_DISPTHUNK Checked(VARTYPE vtResult, const char *vtsParams) {
    const char expected[] = {Arg<A>::vts..., '\0'};
    for (size_t i = 0; i < sizeof expected; ++i)
      if (vtsParams[i] != expected[i]) throw "dispatch map parameters differ from the member's";
    if (vtResult != result_vt<R>()) throw "dispatch map result differs from the member's";
    return &Call;
  }

 private:
  template <typename T>
  static HRESULT take(Arg<T> &arg, DISPPARAMS *pDispParams, UINT index, UINT *puArgErr) {
    const UINT position = pDispParams->cArgs - 1 - index;
    const HRESULT hr = arg.take(pDispParams->rgvarg[position]);
    if (FAILED(hr) && puArgErr != nullptr) *puArgErr = position;
    return hr;
  }
};

}  // namespace afx_dispatch

#define DECLARE_DISPATCH_MAP()                             \
 private:                                                  \
  static const AFX_DISPMAP_ENTRY _dispatchEntries[];       \
                                                           \
 protected:                                                \
  static const AFX_DISPMAP dispatchMap;                    \
  static const AFX_DISPMAP *GetThisDispatchMap();          \
  const AFX_DISPMAP *GetDispatchMap() const override;

#define BEGIN_DISPATCH_MAP(theClass, baseClass)                                                   \
  const AFX_DISPMAP *theClass::GetThisDispatchMap() { return &theClass::dispatchMap; }            \
  const AFX_DISPMAP *theClass::GetDispatchMap() const { return &theClass::dispatchMap; }          \
  const AFX_DISPMAP theClass::dispatchMap = {&baseClass::GetThisDispatchMap, &theClass::_dispatchEntries[0]}; \
  const AFX_DISPMAP_ENTRY theClass::_dispatchEntries[] = {
#define DISP_FUNCTION(theClass, szExternalName, pfnMember, vtRetVal, vtsParams) \
  {szExternalName, DISPID_UNKNOWN,                                              \
   afx_dispatch::Thunk<&theClass::pfnMember>::Checked(vtRetVal, vtsParams)},
#define DISP_FUNCTION_ID(theClass, szExternalName, dispid, pfnMember, vtRetVal, vtsParams) \
  {szExternalName, dispid, afx_dispatch::Thunk<&theClass::pfnMember>::Checked(vtRetVal, vtsParams)},
#define END_DISPATCH_MAP() \
  {nullptr, 0, nullptr}    \
  }                        \
  ;
