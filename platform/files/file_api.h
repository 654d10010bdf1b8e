// file_api.h - the Win32 file functions the system calls (CreateFileA, SetFileTime, SetFileAttributesA,
// DeleteFileA, CloseHandle) and the file-time conversions, over POSIX.
//
// Every function sets the thread's last error (GetLastError) when it fails. Paths use Windows
// syntax: a backslash separates folders as "/" does; every other byte belongs to a name, as on Linux
// (a file system that refuses one, as vfat refuses "?", gives ERROR_INVALID_NAME). A missing folder on the way
// gives ERROR_PATH_NOT_FOUND, a missing file in an existing folder ERROR_FILE_NOT_FOUND.
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

// What GetFileAttributesA returns when it fails.
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Do not follow a symbolic link in the last part of the path: the open fails instead.
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

typedef union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
} LARGE_INTEGER;

typedef enum FILE_INFO_BY_HANDLE_CLASS { FileBasicInfo = 0 } FILE_INFO_BY_HANDLE_CLASS;

// Times are FILETIME ticks; 0 leaves a time as it is.
typedef struct FILE_BASIC_INFO {
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  DWORD FileAttributes;
} FILE_BASIC_INFO;

// Opens or creates a file; only regular files open: a folder, FIFO, socket or device is refused
// (ERROR_ACCESS_DENIED for a folder), and the open never waits. Sharing modes are accepted
// and not enforced (POSIX has no mandatory sharing). A file created with FILE_ATTRIBUTE_READONLY gets no
// write permission. Returns INVALID_HANDLE_VALUE on failure. The handle stays valid until CloseHandle.
HANDLE CreateFileA(LPCSTR path, DWORD desired_access, DWORD share_mode, void *security_attributes,
                   DWORD creation_disposition, DWORD flags_and_attributes, HANDLE template_file);

BOOL CloseHandle(HANDLE handle);

// Null pointers, zero times and all-ones times leave the corresponding time unchanged; the creation
// time is ignored (see above). Times before 1970 are set like any other.
BOOL SetFileTime(HANDLE file, const FILETIME *creation_time, const FILETIME *last_access_time,
                 const FILETIME *last_write_time);

// Reads the times of an open file; the creation time is the status-change time, the nearest Linux
// keeps. Null pointers skip a time.
BOOL GetFileTime(HANDLE file, FILETIME *creation_time, FILETIME *last_access_time, FILETIME *last_write_time);

// Never follows a symbolic link: the link itself has no attributes to set here, so the call fails
// (ERROR_CANT_ACCESS_FILE). FILE_ATTRIBUTE_NORMAL or 0 leaves a plain, writable file. The file is
// opened for reading to be changed, so one its caller may not read fails (ERROR_ACCESS_DENIED).
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);

// Sets what `information` (FileBasicInfo: a FILE_BASIC_INFO of `nbytes`) gives for the open file:
// the last-access and last-write times as SetFileTime does (the creation and change times cannot be
// set here), then the attributes as SetFileAttributesA does, unless FileAttributes is 0. Any other
// class is ERROR_INVALID_PARAMETER.
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS information_class, void *information,
                                DWORD nbytes);

// Returns the attributes (read-only when the owner may not write, directory; FILE_ATTRIBUTE_NORMAL
// when neither), or INVALID_FILE_ATTRIBUTES. Follows symbolic links.
DWORD GetFileAttributesA(LPCSTR path);

// Removes a file; a folder is refused (ERROR_ACCESS_DENIED).
BOOL DeleteFileA(LPCSTR path);

// MS-DOS date (bits 0-4 day, 5-8 month, 9-15 years since 1980) and time (bits 0-4 seconds / 2,
// 5-10 minutes, 11-15 hours) to a FILETIME, in the same time zone. Fails on an impossible date
// or time.
BOOL DosDateTimeToFileTime(WORD dos_date, WORD dos_time, FILETIME *file_time);

// Local time to universal time, with the offset (daylight saving included) in force at that
// local time in the process's time zone (TZ). A local time that a change of clocks repeats is its
// first occurrence; one that the change skips is read with the offset in force before it.
BOOL LocalFileTimeToFileTime(const FILETIME *local_time, FILETIME *utc_time);

// Universal time to local time, the inverse of LocalFileTimeToFileTime.
BOOL FileTimeToLocalFileTime(const FILETIME *utc_time, FILETIME *local_time);

#ifdef __cplusplus
}
#endif
