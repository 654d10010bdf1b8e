// file_api.h - the Win32 file functions the system calls (CreateFileA, SetFileTime, SetFileAttributesA,
// DeleteFileA, CloseHandle) and the file-time conversions, over POSIX.
//
// Every function sets the thread's last error (GetLastError) when it fails. Paths use Windows
// syntax: a backslash separates folders as "/" does.
//
// What the attributes become here: FILE_ATTRIBUTE_READONLY removes every write permission bit and
// its absence gives the owner write permission back; hidden, system and archive have no POSIX
// counterpart and are accepted without effect. A file's creation time cannot be set on Linux, so
// SetFileTime applies the last-write and last-access times only.
#pragma once

#include "platform/base/last_error.h"
#include "platform/base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

// Do not follow a symbolic link in the last part of the path: the open fails instead.
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

// Opens or creates a file. Sharing modes are accepted and not enforced (POSIX has no mandatory
// sharing). Returns INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR path, DWORD desired_access, DWORD share_mode, void *security_attributes,
                   DWORD creation_disposition, DWORD flags_and_attributes, HANDLE template_file);

BOOL CloseHandle(HANDLE handle);

// Null pointers leave the corresponding time unchanged; the creation time is ignored (see above).
BOOL SetFileTime(HANDLE file, const FILETIME *creation_time, const FILETIME *last_access_time,
                 const FILETIME *last_write_time);

// Reads the last-write time of an open file.
BOOL GetFileTime(HANDLE file, FILETIME *creation_time, FILETIME *last_access_time, FILETIME *last_write_time);

// Never follows a symbolic link: the link itself has no attributes to set here, so the call fails.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);

// Returns the attributes (read-only from the permission bits, directory), or 0xFFFFFFFF.
DWORD GetFileAttributesA(LPCSTR path);

BOOL DeleteFileA(LPCSTR path);

// MS-DOS date (bits 0-4 day, 5-8 month, 9-15 years since 1980) and time (bits 0-4 seconds / 2,
// 5-10 minutes, 11-15 hours) to a FILETIME, in the same time zone. Fails on an impossible date
// or time.
BOOL DosDateTimeToFileTime(WORD dos_date, WORD dos_time, FILETIME *file_time);

// Local time to universal time, with the offset (daylight saving included) in force at that
// local time in the process's time zone.
BOOL LocalFileTimeToFileTime(const FILETIME *local_time, FILETIME *utc_time);

// Universal time to local time, the inverse of LocalFileTimeToFileTime.
BOOL FileTimeToLocalFileTime(const FILETIME *utc_time, FILETIME *local_time);

#ifdef __cplusplus
}
#endif
