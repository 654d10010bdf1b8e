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

// dlopen underneath; failures set GetLastError (ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT for a
// file that is no shared library, ERROR_PROC_NOT_FOUND). A module handle is the loader's handle of
// the module, the same for every load of it and for module_handle_of any address in it; the
// program's own handle is what module_handle_of gives for an address in the program.
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_BAD_EXE_FORMAT 193
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
// NULL, the program's own handle, is the only name answered here; any other fails with
// ERROR_INVALID_PARAMETER. Never changes the last error on success.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
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

// Registers a module's table at load time; the table must outlive the module. The table
// belongs to the module that holds address_in_module (a module linked into a program belongs to
// the program).
void register_module_resources(const ResourceEntry *entries, size_t count, const void *address_in_module);
// Forgets a table registered before.
void unregister_module_resources(const ResourceEntry *entries);

// Holds a module's table registered for as long as the module is loaded: constructed with the
// module's static objects and destroyed when it is unloaded, so that a module loaded later at the
// same place never finds a table whose memory is gone.
class ModuleResourcesRegistration {
 public:
  template <size_t N>
  explicit ModuleResourcesRegistration(const ResourceEntry (&entries)[N]) : entries_(entries) {
    register_module_resources(entries, N, entries);
  }
  ~ModuleResourcesRegistration() { unregister_module_resources(entries_); }
  ModuleResourcesRegistration(const ModuleResourcesRegistration &) = delete;
  ModuleResourcesRegistration &operator=(const ModuleResourcesRegistration &) = delete;

 private:
  const ResourceEntry *entries_;
};
#define PLATFORM_MODULE_RESOURCES(entries) \
  static const ModuleResourcesRegistration platform_module_resources_registration(entries)

// hModule NULL searches the main program's tables. String types compare case-insensitively.
HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
void *LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
// String table entries are ResourceEntry rows of type RT_STRING whose id is the string's id and
// whose data is the NUL-terminated 8-bit text. Returns the length copied, 0 when missing.
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
