// modules.h - loading modules (shared libraries) by path, their exports, file names and resources.
#pragma once

#include <stddef.h>

#include "platform/base/win_types.h"

typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__ *HRSRC;
typedef void *HGLOBAL;
typedef intptr_t (*FARPROC)(void);

#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008

// dlopen underneath; failures set GetLastError (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND).
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
// NULL is the main program. The handle of the module that holds a given address (our
// stand-in for a module's own instance handle) comes from module_handle_of.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE module_handle_of(const void *address_in_module);
// Linux paths have no short form: the path is copied as it is.
DWORD GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer);

// Resources. A module declares its table once with PLATFORM_MODULE_RESOURCES; the table is
// found through the module that holds it, whether the module is a shared library or linked into
// a program. Integer names and types are MAKEINTRESOURCEA values.
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) (((uintptr_t)(p) >> 16) == 0)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)

struct ResourceEntry {
  LPCSTR type;  // an integer type (RT_DIALOG) or a string type ("TYPELIB")
  WORD id;
  const void *data;
  DWORD size;
};

// Registers a module's table at load time; the table must outlive the module.
void register_module_resources(const ResourceEntry *entries, size_t count, const void *address_in_module);
#define PLATFORM_MODULE_RESOURCES(entries)                                                  \
  static const int platform_module_resources_registered = [] {                              \
    register_module_resources(entries, sizeof(entries) / sizeof(entries[0]), (const void *)entries); \
    return 0;                                                                                \
  }()

// hModule NULL searches the main program's tables. String types compare case-insensitively.
HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
void *LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
// String table entries are ResourceEntry rows of type RT_STRING whose id is the string's id and
// whose data is the NUL-terminated 8-bit text. Returns the length copied, 0 when missing.
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
