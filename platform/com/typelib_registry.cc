// typelib_registry.cc - type library registration under TypeLib and Interface, and loading a library by its registration.
#include "platform/com/typelib.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/guid_text.h"
#include "platform/com/ole_text.h"

namespace {

// The proxy class COM names for every dispatch interface (PSDispatch).
constexpr const char *kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";
constexpr const char *kPlatformKey = "win64";

std::string hex(unsigned value) {
  char text[16];
  snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string version_text(WORD major, WORD minor) { return hex(major) + "." + hex(minor); }

std::string library_key(REFGUID libid) { return "TypeLib\\" + com::guid_to_string(libid); }

std::string version_key(REFGUID libid, WORD major, WORD minor) {
  return library_key(libid) + "\\" + version_text(major, minor);
}

std::string interface_key(REFGUID iid) { return "Interface\\" + com::guid_to_string(iid); }

std::string folder_of(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Takes ownership of a BSTR for one scope.
class OwnedBstr {
 public:
  OwnedBstr() = default;
  OwnedBstr(const OwnedBstr &) = delete;
  OwnedBstr &operator=(const OwnedBstr &) = delete;
  ~OwnedBstr() { SysFreeString(m_bstr); }
  BSTR *out() { return &m_bstr; }
  std::string ansi() const { return com::ole_to_ansi(m_bstr, SysStringLen(m_bstr)); }

 private:
  BSTR m_bstr = nullptr;
};

struct DispatchInterface {
  GUID iid;
  std::string name;
};

// The library's dispatch interfaces (and dual interfaces), which are the ones registered.
std::vector<DispatchInterface> dispatch_interfaces(ITypeLib *library) {
  std::vector<DispatchInterface> found;
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo *info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR *attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
      if (attr->typekind == TKIND_DISPATCH || (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0) {
        OwnedBstr name;
        if (SUCCEEDED(library->GetDocumentation(static_cast<int>(i), name.out(), nullptr, nullptr, nullptr)))
          found.push_back({attr->guid, name.ansi()});
      }
      info->ReleaseTypeAttr(attr);
    }
    info->Release();
  }
  return found;
}

// Removes the Interface keys of the library's interfaces that still name this library.
void unregister_interfaces(ITypeLib *library, REFGUID libid) {
  const std::string owner = com::guid_to_string(libid);
  for (const DispatchInterface &iface : dispatch_interfaces(library)) {
    std::string registered_owner;
    if (com::read_class_text(interface_key(iface.iid) + "\\TypeLib", nullptr, &registered_owner) &&
        registered_owner == owner)
      com::delete_class_tree(interface_key(iface.iid));
  }
}

// A version's subkeys other than FLAGS and HELPDIR are its locales.
std::vector<std::string> registered_locales(const std::string &version) {
  std::vector<std::string> locales;
  for (std::string &name : com::class_subkeys(version))
    if (name != "FLAGS" && name != "HELPDIR") locales.push_back(std::move(name));
  return locales;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
  TLIBATTR *attr = nullptr;
  const HRESULT got = ptlib->GetLibAttr(&attr);
  if (FAILED(got)) return got;
  const TLIBATTR lib = *attr;
  ptlib->ReleaseTLibAttr(attr);
  OwnedBstr name;
  if (FAILED(ptlib->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr))) return TYPE_E_INVDATAREAD;

  const std::string path = com::ole_path_to_utf8(szFullPath);
  const std::string help = szHelpDir != nullptr ? com::ole_path_to_utf8(szHelpDir) : folder_of(path);
  const std::string version = version_key(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum);
  bool written = com::write_class_text(version, nullptr, name.ansi()) &&
                 com::write_class_text(version + "\\" + hex(lib.lcid) + "\\" + kPlatformKey, nullptr, path) &&
                 com::write_class_text(version + "\\FLAGS", nullptr, std::to_string(lib.wLibFlags)) &&
                 com::write_class_text(version + "\\HELPDIR", nullptr, help);
  const std::string libid = com::guid_to_string(lib.guid);
  for (const DispatchInterface &iface : dispatch_interfaces(ptlib)) {
    if (!written) break;
    const std::string key = interface_key(iface.iid);
    written = com::write_class_text(key, nullptr, iface.name) &&
              com::write_class_text(key + "\\ProxyStubClsid32", nullptr, kDispatchProxyStub) &&
              com::write_class_text(key + "\\ProxyStubClsid", nullptr, kDispatchProxyStub) &&
              com::write_class_text(key + "\\TypeLib", nullptr, libid) &&
              com::write_class_text(key + "\\TypeLib", "Version", version_text(lib.wMajorVerNum, lib.wMinorVerNum));
  }
  return written ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND /*syskind*/) {
  const std::string version = version_key(libID, wVerMajor, wVerMinor);
  const std::string locale = version + "\\" + hex(lcid);
  std::string path;
  if (!com::read_class_text(locale + "\\" + kPlatformKey, nullptr, &path)) return TYPE_E_REGISTRYACCESS;

  // The library itself says which interfaces it registered; a library that no longer loads
  // leaves its Interface keys, as there is no way to know them.
  ITypeLib *library = nullptr;
  const std::u16string wide_path = com::utf8_path_to_ole(path);
  if (FAILED(LoadTypeLib(wide_path.c_str(), &library))) library = nullptr;

  bool removed = com::delete_class_tree(locale);
  if (removed && registered_locales(version).empty()) {
    removed = com::delete_class_tree(version);
    if (library != nullptr) unregister_interfaces(library, libID);
    if (com::class_subkeys(library_key(libID)).empty()) com::delete_class_tree(library_key(libID));
  }
  if (library != nullptr) library->Release();
  return removed ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib **pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  const std::string version = version_key(rguid, wVerMajor, wVerMinor);
  const std::vector<std::string> locales = registered_locales(version);
  if (locales.empty()) return TYPE_E_LIBNOTREGISTERED;
  std::vector<std::string> wanted = {hex(lcid), hex(lcid & 0x3FF), "0"};
  wanted.push_back(locales.front());
  for (const std::string &locale : wanted) {
    std::string path;
    if (!com::read_class_text(version + "\\" + locale + "\\" + kPlatformKey, nullptr, &path)) continue;
    const std::u16string wide_path = com::utf8_path_to_ole(path);
    return LoadTypeLib(wide_path.c_str(), pptlib);
  }
  return TYPE_E_LIBNOTREGISTERED;
}
