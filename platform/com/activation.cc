// activation.cc - the class table, the loaded in-process servers, and creation through them.
#include "platform/com/activation.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/class_registry.h"
#include "platform/com/guid_text.h"
#include "platform/com/ole_text.h"
#include "platform/modules/modules.h"

namespace {

typedef HRESULT (*DllGetClassObjectFn)(REFCLSID, REFIID, void **);
typedef HRESULT (*DllCanUnloadNowFn)();

// GetProcAddress's generic function type, cast to the export's own (through void *, which the
// loader's symbols are).
template <typename Fn>
Fn export_of(HMODULE module, const char *name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

struct ClassEntry {
  CLSID clsid;
  IUnknown *object;
};

// Process-wide state. Class objects are called outside the lock, since they may re-enter.
struct Runtime {
  std::mutex mutex;
  std::map<DWORD, ClassEntry> classes;
  DWORD next_cookie = 1;
  std::map<std::string, HMODULE> servers;  // module path -> the one handle we hold
};

Runtime &runtime() {
  static Runtime *state = new Runtime;  // never destroyed: modules may call in during exit
  return *state;
}

struct Apartment {
  ULONG count = 0;
  DWORD model = 0;
};
thread_local Apartment t_apartment;

IUnknown *find_registered(REFCLSID clsid) {
  Runtime &rt = runtime();
  std::lock_guard<std::mutex> lock(rt.mutex);
  for (auto &[cookie, entry] : rt.classes) {
    if (entry.clsid == clsid) {
      entry.object->AddRef();
      return entry.object;
    }
  }
  return nullptr;
}

// Loads the server once per path; a second load of the same module gives back its extra handle.
HRESULT load_server(const std::string &path, HMODULE *module) {
  HMODULE loaded = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (loaded == nullptr) return CO_E_DLLNOTFOUND;
  Runtime &rt = runtime();
  std::lock_guard<std::mutex> lock(rt.mutex);
  auto [it, inserted] = rt.servers.emplace(path, loaded);
  if (!inserted) FreeLibrary(loaded);
  *module = it->second;
  return S_OK;
}

HRESULT server_class_object(REFCLSID clsid, REFIID riid, void **ppv) {
  std::string path;
  if (!com::read_class_text("CLSID\\" + com::guid_to_string(clsid) + "\\InprocServer32", nullptr, &path) ||
      path.empty())
    return REGDB_E_CLASSNOTREG;
  HMODULE module = nullptr;
  const HRESULT loaded = load_server(path, &module);
  if (FAILED(loaded)) return loaded;
  auto get = export_of<DllGetClassObjectFn>(module, "DllGetClassObject");
  if (get == nullptr) return CO_E_ERRORINDLL;
  return get(clsid, riid, ppv);
}

}  // namespace

HRESULT CoInitializeEx(void * /*pvReserved*/, DWORD dwCoInit) {
  const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_apartment.count > 0 && t_apartment.model != model) return RPC_E_CHANGED_MODE;
  t_apartment.model = model;
  return t_apartment.count++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void *pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (t_apartment.count == 0) return;
  if (--t_apartment.count == 0) CoFreeUnusedLibraries();
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown *pUnk, DWORD dwClsContext, DWORD /*flags*/,
                              DWORD *lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return E_INVALIDARG;
  pUnk->AddRef();
  Runtime &rt = runtime();
  std::lock_guard<std::mutex> lock(rt.mutex);
  const DWORD cookie = rt.next_cookie++;
  rt.classes[cookie] = ClassEntry{rclsid, pUnk};
  *lpdwRegister = cookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  IUnknown *object = nullptr;
  {
    Runtime &rt = runtime();
    std::lock_guard<std::mutex> lock(rt.mutex);
    auto it = rt.classes.find(dwRegister);
    if (it == rt.classes.end()) return CO_E_OBJNOTREG;
    object = it->second.object;
    rt.classes.erase(it);
  }
  object->Release();
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void * /*pvReserved*/, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return CLASS_E_CLASSNOTAVAILABLE;
  if (IUnknown *registered = find_registered(rclsid)) {
    const HRESULT hr = registered->QueryInterface(riid, ppv);
    registered->Release();
    return hr;
  }
  return server_class_object(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory *factory = nullptr;
  const HRESULT got = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void **>(&factory));
  if (FAILED(got)) return got;
  const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return created;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID *lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  const std::string progid = com::ole_to_ansi(lpszProgID);
  std::string text;
  if (progid.empty() || progid.find('\\') != std::string::npos ||
      !com::read_class_text(progid + "\\CLSID", nullptr, &text)) return CO_E_CLASSSTRING;
  return com::guid_from_string(text.c_str(), lpclsid) ? S_OK : CO_E_CLASSSTRING;
}

void CoFreeUnusedLibraries() {
  std::vector<std::pair<std::string, HMODULE>> servers;
  {
    Runtime &rt = runtime();
    std::lock_guard<std::mutex> lock(rt.mutex);
    servers.assign(rt.servers.begin(), rt.servers.end());
  }
  for (const auto &[path, module] : servers) {
    auto can_unload = export_of<DllCanUnloadNowFn>(module, "DllCanUnloadNow");
    if (can_unload == nullptr || can_unload() != S_OK) continue;
    {
      Runtime &rt = runtime();
      std::lock_guard<std::mutex> lock(rt.mutex);
      rt.servers.erase(path);
    }
    FreeLibrary(module);
  }
}
