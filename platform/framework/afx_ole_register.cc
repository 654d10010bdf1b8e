// afx_ole_register.cc - writing and removing the type library and control class entries of a module.
#include "platform/framework/afx_ole_register.h"

#include <cstdio>
#include <string>

#include "platform/com/class_registry.h"
#include "platform/com/guid_text.h"
#include "platform/com/ole_text.h"
#include "platform/com/typelib.h"

namespace {

// The module's full path, or empty when it cannot be found.
std::string module_path(HINSTANCE hInstance) {
  char path[4096];
  const DWORD length = GetModuleFileNameA(hInstance, path, sizeof path);
  if (length == 0 || length >= sizeof path) return {};
  return std::string(path, length);
}

std::string short_path(const std::string &path) {
  char shortened[4096];
  const DWORD length = GetShortPathNameA(path.c_str(), shortened, sizeof shortened);
  if (length == 0 || length >= sizeof shortened) return path;
  return std::string(shortened, length);
}

// Releases a COM interface pointer for one scope.
template <typename Iface>
class Held {
 public:
  Held() = default;
  Held(const Held &) = delete;
  Held &operator=(const Held &) = delete;
  ~Held() {
    if (m_p != nullptr) m_p->Release();
  }
  Iface **out() { return &m_p; }
  Iface *operator->() const { return m_p; }
  Iface *get() const { return m_p; }

 private:
  Iface *m_p = nullptr;
};

bool library_attributes(ITypeLib *library, TLIBATTR *attributes) {
  TLIBATTR *attr = nullptr;
  if (FAILED(library->GetLibAttr(&attr))) return false;
  *attributes = *attr;
  library->ReleaseTLibAttr(attr);
  return true;
}

}  // namespace

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, LPCSTR pszFileName, LPCSTR pszHelpDir) {
  const std::string path = pszFileName != nullptr ? std::string(pszFileName) : module_path(hInstance);
  if (path.empty()) return FALSE;
  const std::u16string wide_path = com::utf8_path_to_ole(path);
  Held<ITypeLib> library;
  if (FAILED(LoadTypeLib(wide_path.c_str(), library.out()))) return FALSE;
  TLIBATTR attributes;
  if (!library_attributes(library.get(), &attributes) || !(attributes.guid == tlid)) return FALSE;
  const std::u16string wide_help = pszHelpDir != nullptr ? com::utf8_path_to_ole(pszHelpDir) : std::u16string();
  const LPCOLESTR help = pszHelpDir != nullptr ? wide_help.c_str() : nullptr;
  return SUCCEEDED(RegisterTypeLib(library.get(), wide_path.c_str(), help));
}

BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid) {
  // The registered library names the locale it was registered for and its interfaces.
  Held<ITypeLib> library;
  if (FAILED(LoadRegTypeLib(tlid, wVerMajor, wVerMinor, lcid, library.out()))) return FALSE;
  TLIBATTR attributes;
  if (!library_attributes(library.get(), &attributes)) return FALSE;
  return SUCCEEDED(UnRegisterTypeLib(tlid, wVerMajor, wVerMinor, attributes.lcid, attributes.syskind));
}

BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, LPCSTR pszProgID, UINT idTypeName,
                                UINT idBitmap, int nRegFlags, DWORD dwMiscStatus, REFGUID tlid, WORD wVerMajor,
                                WORD wVerMinor) {
  if (pszProgID == nullptr || *pszProgID == '\0') return FALSE;
  const std::string path = module_path(hInstance);
  if (path.empty()) return FALSE;
  const std::string clsid_text = com::guid_to_string(clsid);
  char type_name[256];
  const std::string user_type =
      LoadStringA(hInstance, idTypeName, type_name, sizeof type_name) > 0 ? std::string(type_name) : clsid_text;
  char version[32];
  snprintf(version, sizeof version, "%u.%u", unsigned{wVerMajor}, unsigned{wVerMinor});

  const std::string key = "CLSID\\" + clsid_text;
  const std::string progid = pszProgID;
  bool written = com::write_class_text(key, nullptr, user_type) &&
                 com::write_class_text(key + "\\ProgID", nullptr, progid) &&
                 com::write_class_text(key + "\\InprocServer32", nullptr, short_path(path)) &&
                 com::write_class_text(key + "\\ToolboxBitmap32", nullptr, path + ", " + std::to_string(idBitmap)) &&
                 com::write_class_text(key + "\\MiscStatus", nullptr, "0") &&
                 com::write_class_text(key + "\\MiscStatus\\1", nullptr, std::to_string(dwMiscStatus)) &&
                 com::write_class_text(key + "\\Control", nullptr, "") &&
                 com::write_class_text(key + "\\TypeLib", nullptr, com::guid_to_string(tlid)) &&
                 com::write_class_text(key + "\\Version", nullptr, version) &&
                 com::write_class_text(progid, nullptr, user_type) &&
                 com::write_class_text(progid + "\\CLSID", nullptr, clsid_text);
  if (written && (nRegFlags & afxRegApartmentThreading) != 0)
    written = com::write_class_text(key + "\\InprocServer32", "ThreadingModel", "Apartment");
  if (written && (nRegFlags & afxRegInsertable) != 0)
    written = com::write_class_text(key + "\\Insertable", nullptr, "");
  if (!written) AfxOleUnregisterClass(clsid, pszProgID);
  return written;
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR pszProgID) {
  bool removed = com::delete_class_tree("CLSID\\" + com::guid_to_string(clsid));
  if (pszProgID != nullptr && *pszProgID != '\0') removed = com::delete_class_tree(pszProgID) && removed;
  return removed;
}
