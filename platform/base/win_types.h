// win_types.h - the Windows scalar types, handles and constants that the system's code is written with.
#pragma once

#include <stdint.h>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef void *HANDLE;
typedef const char *LPCSTR;
typedef char *LPSTR;
#ifndef __cplusplus
#include <uchar.h>
#endif
typedef char16_t WCHAR;  // a UTF-16 code unit, as on Windows
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef uintptr_t ULONG_PTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// A point in time as 100-nanosecond intervals since 1601-01-01, split into two 32-bit halves.
typedef struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
