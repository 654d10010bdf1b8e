// guid_text.h - GUIDs as text: the braced upper-case form COM writes into the registry, and its strict parser.
#pragma once

#include <string>

#include "platform/com/com_types.h"

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its NUL; returns the characters written
// with the NUL (39), or 0 when cchMax is too small.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parse the braced form only (hex digits of either case); anything else is CO_E_CLASSSTRING
// (CLSIDFromString) or E_INVALIDARG (IIDFromString), and leaves the output untouched.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID *pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid);

namespace com {

// The same forms as 8-bit text, for registry keys and values.
std::string guid_to_string(REFGUID guid);
bool guid_from_string(const char *text, GUID *guid);

}  // namespace com
