// module_loading.cc - LoadLibraryExA, GetProcAddress, FreeLibrary and module file names over the dynamic loader.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/files/posix_call.h"
#include "platform/files/win_path.h"
#include "platform/modules/module_map.h"

namespace modules {
namespace {

// glibc's dlopen handle is the object's link_map, which is what makes a handle found from an
// address (module_handle_of) the same value LoadLibraryExA returned for that module.
HMODULE handle_of(const link_map *object) { return reinterpret_cast<HMODULE>(const_cast<link_map *>(object)); }

// Why dlopen refused `path`: a file that cannot be opened is a missing module, one without the
// ELF magic is no module at all, and anything else (a missing dependency, an unresolved symbol)
// counts as missing as Windows counts it.
DWORD load_failure(const std::string &path) {
  const int fd = platform::open_file(path.c_str(), O_RDONLY, 0);
  if (fd < 0) return ERROR_MOD_NOT_FOUND;
  unsigned char magic[4] = {};
  const ssize_t n = platform::retry_on_eintr([&] { return read(fd, magic, sizeof magic); });
  close(fd);
  return n == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0 ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT;
}

// The object's file as an absolute path; the main program's is /proc/self/exe's target.
std::string file_of(const link_map *object) {
  char path[PATH_MAX];
  if (object == main_program() || object->l_name == nullptr || object->l_name[0] == '\0') {
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  }
  return realpath(object->l_name, path) != nullptr ? std::string(path) : std::string(object->l_name);
}

}  // namespace

const link_map *object_of(const void *address) {
  Dl_info info;
  link_map *object = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void **>(&object), RTLD_DL_LINKMAP) == 0) return nullptr;
  return object;
}

const link_map *object_of_handle(HMODULE hModule) {
  if (hModule == nullptr) return main_program();
  link_map *object = nullptr;
  return dlinfo(hModule, RTLD_DI_LINKMAP, &object) == 0 ? object : nullptr;
}

const link_map *main_program() {
  static const link_map *const program = [] {
    link_map *object = nullptr;
    dlinfo(dlopen(nullptr, RTLD_NOW), RTLD_DI_LINKMAP, &object);
    return object;
  }();
  return program;
}

}  // namespace modules

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD) {
  // The search-path flags change nothing here: a path is loaded as given, a bare name is looked
  // up as the loader looks up libraries.
  if (lpLibFileName == nullptr || *lpLibFileName == '\0' || hFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = platform::posix_path(lpLibFileName);
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    SetLastError(modules::load_failure(path));
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName) { return LoadLibraryExA(lpLibFileName, nullptr, 0); }

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Modules here export by name only, so an ordinal finds nothing.
  const link_map *module = modules::object_of_handle(hModule);
  if (module == nullptr || lpProcName == nullptr || IS_INTRESOURCE(lpProcName)) {
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *symbol = dlsym(modules::handle_of(module), lpProcName);
  // dlsym also searches the module's dependencies; Windows finds only the module's own exports.
  if (symbol == nullptr || modules::object_of(symbol) != module) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  const link_map *module = modules::object_of_handle(hModule);
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const std::string path = modules::file_of(module);
  if (nSize == 0 || lpFilename == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // A path too long for the buffer is cut to fit with its NUL, and the full size is reported as
  // nSize with ERROR_INSUFFICIENT_BUFFER, as Windows does.
  const size_t copied = std::min<size_t>(path.size(), nSize - 1);
  std::memcpy(lpFilename, path.data(), copied);
  lpFilename[copied] = '\0';
  if (copied < path.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  return static_cast<DWORD>(copied);
}

HMODULE module_handle_of(const void *address_in_module) {
  const link_map *module = modules::object_of(address_in_module);
  if (module == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return modules::handle_of(module);
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return modules::handle_of(modules::main_program());
}

DWORD GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
  if (lpszLongPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Windows answers only for a path that exists.
  struct stat st;
  if (stat(platform::posix_path(lpszLongPath).c_str(), &st) != 0) {
    SetLastError(win_error_from_errno(errno));
    return 0;
  }
  const size_t length = std::strlen(lpszLongPath);
  if (lpszShortPath == nullptr || cchBuffer < length + 1) return static_cast<DWORD>(length + 1);
  std::memmove(lpszShortPath, lpszLongPath, length + 1);  // the two may be one buffer
  return static_cast<DWORD>(length);
}
