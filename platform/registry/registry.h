// registry.h - the Windows registry API over persistent files: keys, string and DWORD values, recursive deletion.
#pragma once

#include "platform/base/last_error.h"
#include "platform/base/win_types.h"

// The registry lives under one root folder: $QUILLORA_REGISTRY_ROOT when set, else
// <user data root>/registry (platform/base/data_root.h). Each predefined key is one file there;
// a write replaces its file atomically while holding a lock against concurrent writers, and a
// damaged file makes every call on that hive fail with ERROR_BADDB instead of losing keys.

typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

#define ERROR_BAD_PATHNAME 161
#define ERROR_BADDB 1009
#define ERROR_KEY_DELETED 1018
#define ERROR_NO_MORE_ITEMS 259

// Every function returns ERROR_SUCCESS or a Windows error code (it does not touch GetLastError).
// Key paths use "\" between names; names compare case-insensitively and keep the case written.
// A path with an empty name in it (a leading or doubled "\") gives ERROR_BAD_PATHNAME.
// An opened HKEY remembers its key's path and the access asked for: a call that needs a right
// the handle lacks gives ERROR_ACCESS_DENIED, and once the key is deleted (by this or another
// handle or process) every call on the handle but RegCloseKey gives ERROR_KEY_DELETED. Subkeys
// are enumerated in ascending order of their case-folded names.
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, const void *lpSecurityAttributes, PHKEY phkResult,
                        DWORD *lpdwDisposition);
LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS RegCloseKey(HKEY hKey);
// lpValueName NULL or "" is the key's default value.
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                       DWORD cbData);
// Sets the default value of hKey\lpSubKey (created when missing) to the REG_SZ lpData.
LSTATUS RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData);
// With lpData NULL only the size is reported; a buffer too small gives ERROR_MORE_DATA and the size needed.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                         DWORD *lpcbData);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Deletes the key with every subkey and value under it; lpSubKey NULL empties hKey itself.
LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD *lpcchName, DWORD *lpReserved,
                      LPSTR lpClass, DWORD *lpcchClass, FILETIME *lpftLastWriteTime);

#include <string>

namespace registry {

// Beyond the Windows API, for messages that must name it: the file that holds the hive of
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; "" for another key or when the
// data folder cannot be found.
std::string hive_file(HKEY predefined);

}  // namespace registry
