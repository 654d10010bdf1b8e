// bstr.h - automation strings: allocation, release and length of BSTRs.
#pragma once

#include "platform/com/com_types.h"

// A BSTR points just after a 32-bit prefix holding its length in bytes and is followed by a
// 16-bit NUL that the length does not count; it may hold NULs of its own. A null BSTR counts as
// the empty string everywhere. Allocation failures return NULL.

// Copies psz up to its NUL; NULL gives NULL.
BSTR SysAllocString(const OLECHAR *psz);
// ui characters, copied from strIn when it is not NULL, else zero-filled.
BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui);
// len bytes, copied from psz when it is not NULL, else zero-filled; an odd length is kept.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);
