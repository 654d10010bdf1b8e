// format_message.h - FormatMessageA for the system's own error texts, and LocalFree for the buffers it allocates.
#pragma once

#include <stdarg.h>

#include "platform/base/win_types.h"


typedef void *HLOCAL;

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

#define LANG_USER_DEFAULT 0x0400

#ifdef __cplusplus
extern "C" {
#endif

// Copies the English system text for dwMessageId, ending in "\r\n", into lpBuffer. Only
// FORMAT_MESSAGE_FROM_SYSTEM is a source; the texts hold no inserts, so IGNORE_INSERTS and
// Arguments change nothing. An HRESULT 0x8007xxxx gives the text of Win32 code xxxx.
// dwLanguageId must be 0 or name the neutral or English language.
//
// Returns the characters stored, not counting the NUL. Without ALLOCATE_BUFFER, lpBuffer holds
// nSize characters and a text that does not fit with its NUL fails with ERROR_INSUFFICIENT_BUFFER
// and leaves the buffer unchanged. With ALLOCATE_BUFFER, lpBuffer is really an LPSTR * that
// receives a buffer of at least nSize characters (NULL on failure), to be released with LocalFree.
// On failure returns 0 with the last error: ERROR_MR_MID_NOT_FOUND for a code without text,
// ERROR_RESOURCE_LANG_NOT_FOUND for another language, ERROR_INVALID_PARAMETER for other sources
// or flags.
DWORD FormatMessageA(DWORD dwFlags, const void *lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list *Arguments);

// Releases a buffer FormatMessageA allocated; NULL is accepted. Returns NULL.
HLOCAL LocalFree(HLOCAL hMem);

#ifdef __cplusplus
}
#endif
