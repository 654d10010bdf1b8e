// signing_request.h - the request flow behind the control's four scripting methods.
#pragma once

#include "platform/com/com_types.h"

// The four methods share one flow with three switches: the dialog's plain-text flag, whether the
// text is vetted as HTML first, and which certificate list is built.
enum class SigningMethod { kText, kHtml, kTextWithFilter, kHtmlWithFilter };

// Runs one request from the method's 8-bit arguments (a null pointer counts as the empty string)
// to its result, a newly allocated automation string the caller owns: the Base64 signature or
// one of the fixed "error:..." results, never null. Every refusal is first explained to the user
// in a message box. issuer, sn and keyUsage are read by the filtered methods only. Nothing of the
// request outlives the call. Exhausted memory throws std::bad_alloc.
BSTR RunSigningRequest(SigningMethod method, LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage);
