// multibyte.h - MultiByteToWideChar and WideCharToMultiByte for the ANSI code page (Windows-1252) and UTF-8.
#pragma once

#include "platform/base/win_types.h"

#define CP_ACP 0
#define CP_THREAD_ACP 3  // the calling thread's ANSI code page: 1252 here, as for the process
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400  // characters without an exact byte become the default character

#ifdef __cplusplus
extern "C" {
#endif

// Converts cbMultiByte bytes (-1: up to and including the NUL) of code page CodePage (CP_ACP,
// CP_THREAD_ACP or 1252, or CP_UTF8) into lpWideCharStr; dwFlags must be 0, and ill-formed UTF-8 becomes U+FFFD. With cchWideChar 0 returns the size needed; returns the
// code units written, 0 on failure with ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);

// The reverse; a character 1252 lacks becomes its best fit (unless dwFlags has
// WC_NO_BEST_FIT_CHARS, the only flag taken, and only for 1252), else lpDefaultChar (or '?'), and
// *lpUsedDefaultChar (when not NULL) tells whether a default was put. Same size contract.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, BOOL *lpUsedDefaultChar);

#ifdef __cplusplus
}
#endif
