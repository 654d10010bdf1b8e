// variant.h - VARIANT ownership and the type changes the dispatch layer needs.
#pragma once

#include "platform/com/com_types.h"

// A VARIANT owns its BSTR and holds one reference on its interface pointer; VT_BYREF values
// point at storage the variant does not own.
void VariantInit(VARIANTARG *pvarg);
// Releases what the variant owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE for a type outside
// the supported set (the variant is left as it was).
HRESULT VariantClear(VARIANTARG *pvarg);
// Clears pvargDest, then makes it an owning copy of pvargSrc (a new BSTR, one more reference).
HRESULT VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc);

#define VARIANT_NOVALUEPROP 0x1

// Converts pvarSrc to vt into pvargDest (which may be pvarSrc). Supported: any type to itself,
// and VT_I4 from VT_I2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_BOOL and decimal VT_BSTR text
// (surrounding blanks and a sign allowed). A VT_BYREF|VT_VARIANT source is looked through.
// DISP_E_OVERFLOW when the value does not fit, DISP_E_TYPEMISMATCH for anything else; on
// failure pvargDest is untouched.
HRESULT VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT wFlags, VARTYPE vt);
