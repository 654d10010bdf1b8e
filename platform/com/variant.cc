// variant.cc - VARIANT release, copy and the conversions to VT_I4.
#include "platform/com/variant.h"

#include <cstdint>
#include <string>

#include "platform/com/bstr.h"

namespace {

bool is_known_type(VARTYPE vt) {
  if (vt & VT_BYREF) return true;
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_BSTR: case VT_DISPATCH:
    case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_HRESULT:
      return true;
    default:
      return false;
  }
}

bool is_blank(OLECHAR c) { return c == ' ' || c == '\t'; }

// Decimal text to a 32-bit integer: blanks, an optional sign, at least one digit, blanks.
HRESULT long_from_text(BSTR text, LONG *value) {
  const UINT n = SysStringLen(text);
  UINT i = 0;
  while (i < n && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const UINT digits_start = i;
  int64_t magnitude = 0;
  bool overflow = false;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) {
      overflow = true;
      magnitude = int64_t{INT32_MAX} + 1;  // keep scanning for a type mismatch later on
    }
  }
  const bool had_digits = i > digits_start;
  while (i < n && is_blank(text[i])) ++i;
  if (!had_digits || i != n) return DISP_E_TYPEMISMATCH;
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (overflow || signed_value > INT32_MAX || signed_value < INT32_MIN) return DISP_E_OVERFLOW;
  *value = static_cast<LONG>(signed_value);
  return S_OK;
}

HRESULT long_from(const VARIANT &src, LONG *value) {
  switch (src.vt) {
    case VT_I2: *value = src.iVal; return S_OK;
    case VT_I4: *value = src.lVal; return S_OK;
    case VT_INT: *value = src.intVal; return S_OK;
    case VT_BOOL: *value = src.boolVal != VARIANT_FALSE ? -1 : 0; return S_OK;
    case VT_UI4:
    case VT_UINT:
      if (src.ulVal > static_cast<ULONG>(INT32_MAX)) return DISP_E_OVERFLOW;
      *value = static_cast<LONG>(src.ulVal);
      return S_OK;
    case VT_BSTR: return long_from_text(src.bstrVal, value);
    default: return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

void VariantInit(VARIANTARG *pvarg) {
  memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG *pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!is_known_type(pvarg->vt)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    default: break;
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!is_known_type(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  if (copy.vt == VT_BSTR && copy.bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                         SysStringByteLen(pvargSrc->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  }
  const HRESULT cleared = VariantClear(pvargDest);
  if (FAILED(cleared)) {
    if (copy.vt == VT_BSTR) SysFreeString(copy.bstrVal);
    return cleared;
  }
  if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal != nullptr) copy.punkVal->AddRef();
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT /*wFlags*/, VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  const VARIANT *src = pvarSrc;
  if (src->vt == (VT_BYREF | VT_VARIANT)) {
    if (src->pvarVal == nullptr) return DISP_E_TYPEMISMATCH;
    src = src->pvarVal;
  }
  if (src->vt == vt) return VariantCopy(pvargDest, src);
  if (vt != VT_I4) return DISP_E_TYPEMISMATCH;
  LONG value = 0;
  const HRESULT hr = long_from(*src, &value);
  if (FAILED(hr)) return hr;
  const HRESULT cleared = VariantClear(pvargDest);
  if (FAILED(cleared)) return cleared;
  pvargDest->vt = VT_I4;
  pvargDest->lVal = value;
  return S_OK;
}
