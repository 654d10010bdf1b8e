// last_error.h - the per-thread last-error code and the Windows error codes the platform layer reports.
#pragma once

#include "platform/base/win_types.h"

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_BAD_ENVIRONMENT 10
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_LOCK_VIOLATION 33
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_DIRECTORY 267
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_MORE_DATA 234
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_CANCELLED 1223
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815
#define ERROR_CANT_ACCESS_FILE 1920

DWORD GetLastError(void);
void SetLastError(DWORD code);

// The Windows error code that best describes a POSIX errno value.
DWORD win_error_from_errno(int errno_value);
