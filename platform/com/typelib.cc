// typelib.cc - ITypeLib and ITypeInfo over a library read from a module's TYPELIB resource.
#include "platform/com/typelib.h"

#include <atomic>
#include <limits>
#include <memory>
#include <new>

#include "platform/com/bstr.h"
#include "platform/com/ole_text.h"
#include "platform/com/typelib_image.h"
#include "platform/modules/modules.h"

namespace {

using com::typelib::Func;
using com::typelib::Library;
using com::typelib::Type;

static_assert(com::typelib::kMaxParams <= std::numeric_limits<SHORT>::max(), "FUNCDESC::cParams is a SHORT");

// Size of IDispatch's vtable: what a dispatch interface's vtable holds.
constexpr WORD kDispatchVtableBytes = 7 * sizeof(void *);

class TypeLibrary;

// Stores a new BSTR of name when out is not null; false when it cannot be allocated.
bool put_name(BSTR *out, const std::string &name) {
  if (out == nullptr) return true;
  *out = com::bstr_from_ansi(name);
  return *out != nullptr;
}

template <typename Iface>
class RefCounted : public Iface {
 public:
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~RefCounted() = default;
  HRESULT query(REFIID riid, const IID &own, void **ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == own) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> m_refs{1};
};

class TypeInformation final : public RefCounted<ITypeInfo> {
 public:
  TypeInformation(TypeLibrary *library, UINT index);

  HRESULT QueryInterface(REFIID riid, void **ppv) override { return query(riid, IID_ITypeInfo, ppv); }

  HRESULT GetTypeAttr(TYPEATTR **ppTypeAttr) override {
    if (ppTypeAttr == nullptr) return E_INVALIDARG;
    auto *attr = new (std::nothrow) TYPEATTR{};
    if (attr == nullptr) return E_OUTOFMEMORY;
    attr->guid = m_type.guid;
    attr->lcid = m_lcid;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->typekind = m_type.kind;
    attr->cFuncs = static_cast<WORD>(m_type.funcs.size());
    attr->cbSizeVft = m_type.kind == TKIND_DISPATCH ? kDispatchVtableBytes : 0;
    attr->cbAlignment = sizeof(void *);
    attr->wTypeFlags = m_type.flags;
    *ppTypeAttr = attr;
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR *pTypeAttr) override { delete pTypeAttr; }

  // The description and its parameter array live in one block, released together.
  HRESULT GetFuncDesc(UINT index, FUNCDESC **ppFuncDesc) override {
    if (ppFuncDesc == nullptr) return E_INVALIDARG;
    if (index >= m_type.funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
    const Func &func = m_type.funcs[index];
    auto *block = new (std::nothrow) FuncBlock;
    if (block == nullptr) return E_OUTOFMEMORY;
    block->params.resize(func.params.size());
    for (size_t i = 0; i < func.params.size(); ++i) block->params[i].tdesc.vt = func.params[i].vt;
    FUNCDESC &desc = block->desc;
    desc.memid = func.memid;
    desc.lprgelemdescParam = block->params.empty() ? nullptr : block->params.data();
    desc.funckind = FUNC_DISPATCH;
    desc.invkind = func.invkind;
    desc.callconv = CC_STDCALL;
    desc.cParams = static_cast<SHORT>(func.params.size());
    desc.elemdescFunc.tdesc.vt = func.vt_result;
    *ppFuncDesc = &block->desc;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC *pFuncDesc) override {
    delete reinterpret_cast<FuncBlock *>(pFuncDesc);  // desc is FuncBlock's first member
  }

  HRESULT GetNames(MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) override {
    if (rgBstrNames == nullptr || pcNames == nullptr) return E_INVALIDARG;
    const Func *func = find(memid);
    if (func == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    UINT n = 0;
    if (n < cMaxNames && !put_name(&rgBstrNames[n++], func->name)) return E_OUTOFMEMORY;
    for (size_t i = 0; i < func->params.size() && n < cMaxNames; ++i)
      if (!put_name(&rgBstrNames[n++], func->params[i].name)) return E_OUTOFMEMORY;
    *pcNames = n;
    return S_OK;
  }

  // The first name is a member, the others its parameters, numbered by position.
  HRESULT GetIDsOfNames(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) override {
    if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) pMemId[i] = MEMBERID_NIL;
    const Func *member = nullptr;
    for (const Func &func : m_type.funcs)
      if (com::ole_name_equals(rgszNames[0], func.name)) member = &func;
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    pMemId[0] = member->memid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
      for (size_t p = 0; p < member->params.size(); ++p)
        if (com::ole_name_equals(rgszNames[i], member->params[p].name)) pMemId[i] = static_cast<MEMBERID>(p);
      if (pMemId[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  HRESULT GetDocumentation(MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                           BSTR *pBstrHelpFile) override {
    const std::string *name = &m_type.name;
    if (memid != MEMBERID_NIL) {
      const Func *func = find(memid);
      if (func == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      name = &func->name;
    }
    if (pBstrDocString != nullptr) *pBstrDocString = nullptr;
    if (pdwHelpContext != nullptr) *pdwHelpContext = 0;
    if (pBstrHelpFile != nullptr) *pBstrHelpFile = nullptr;
    return put_name(pBstrName, *name) ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT GetContainingTypeLib(ITypeLib **ppTLib, UINT *pIndex) override;

  HRESULT GetTypeComp(ITypeComp **) override { return E_NOTIMPL; }
  HRESULT GetVarDesc(UINT, VARDESC **) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT GetRefTypeOfImplType(UINT, HREFTYPE *) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT GetImplTypeFlags(UINT, int *) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT Invoke(void *, MEMBERID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
    return E_NOTIMPL;
  }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR *, BSTR *, WORD *) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo **) override { return E_NOTIMPL; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void **) override { return E_NOTIMPL; }
  HRESULT CreateInstance(IUnknown *, REFIID, void **) override { return E_NOTIMPL; }
  HRESULT GetMops(MEMBERID, BSTR *) override { return E_NOTIMPL; }
  void ReleaseVarDesc(VARDESC *) override {}

 private:
  struct FuncBlock {
    FUNCDESC desc{};
    std::vector<ELEMDESC> params;
  };
  ~TypeInformation() override;

  const Func *find(MEMBERID memid) const {
    for (const Func &func : m_type.funcs)
      if (func.memid == memid) return &func;
    return nullptr;
  }

  TypeLibrary *m_library;  // holds a reference
  UINT m_index;
  const Type &m_type;
  LCID m_lcid;
};

class TypeLibrary final : public RefCounted<ITypeLib> {
 public:
  explicit TypeLibrary(Library library) : m_library(std::move(library)) {}

  const Library &library() const { return m_library; }

  HRESULT QueryInterface(REFIID riid, void **ppv) override { return query(riid, IID_ITypeLib, ppv); }

  UINT GetTypeInfoCount() override { return static_cast<UINT>(m_library.types.size()); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo **ppTInfo) override {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    if (index >= m_library.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *ppTInfo = new (std::nothrow) TypeInformation(this, index);
    return *ppTInfo != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetTypeInfoType(UINT index, TYPEKIND *pTKind) override {
    if (pTKind == nullptr) return E_INVALIDARG;
    if (index >= m_library.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *pTKind = m_library.types[index].kind;
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **ppTinfo) override {
    if (ppTinfo == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < m_library.types.size(); ++i)
      if (m_library.types[i].guid == guid) return GetTypeInfo(i, ppTinfo);
    *ppTinfo = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR **ppTLibAttr) override {
    if (ppTLibAttr == nullptr) return E_INVALIDARG;
    auto *attr = new (std::nothrow) TLIBATTR{};
    if (attr == nullptr) return E_OUTOFMEMORY;
    attr->guid = m_library.guid;
    attr->lcid = m_library.lcid;
    attr->syskind = SYS_WIN64;
    attr->wMajorVerNum = m_library.major;
    attr->wMinorVerNum = m_library.minor;
    attr->wLibFlags = m_library.flags;
    *ppTLibAttr = attr;
    return S_OK;
  }
  void ReleaseTLibAttr(TLIBATTR *pTLibAttr) override { delete pTLibAttr; }
  HRESULT GetDocumentation(int index, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                           BSTR *pBstrHelpFile) override {
    if (index < -1 || index >= static_cast<int>(m_library.types.size())) return TYPE_E_ELEMENTNOTFOUND;
    const std::string &name = index == -1 ? m_library.name : m_library.types[static_cast<size_t>(index)].name;
    if (pBstrDocString != nullptr) *pBstrDocString = nullptr;
    if (pdwHelpContext != nullptr) *pdwHelpContext = 0;
    if (pBstrHelpFile != nullptr) *pBstrHelpFile = nullptr;
    return put_name(pBstrName, name) ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetTypeComp(ITypeComp **) override { return E_NOTIMPL; }
  HRESULT IsName(LPOLESTR, ULONG, BOOL *) override { return E_NOTIMPL; }
  HRESULT FindName(LPOLESTR, ULONG, ITypeInfo **, MEMBERID *, USHORT *) override { return E_NOTIMPL; }

 private:
  Library m_library;
};

TypeInformation::TypeInformation(TypeLibrary *library, UINT index)
    : m_library(library), m_index(index), m_type(library->library().types[index]),
      m_lcid(library->library().lcid) {
  m_library->AddRef();
}

TypeInformation::~TypeInformation() { m_library->Release(); }

HRESULT TypeInformation::GetContainingTypeLib(ITypeLib **ppTLib, UINT *pIndex) {
  if (ppTLib == nullptr) return E_INVALIDARG;
  m_library->AddRef();
  *ppTLib = m_library;
  if (pIndex != nullptr) *pIndex = m_index;
  return S_OK;
}

// Unloads the module on every path out of LoadTypeLib.
class LoadedModule {
 public:
  explicit LoadedModule(const std::string &path) : m_module(LoadLibraryExA(path.c_str(), nullptr, 0)) {}
  LoadedModule(const LoadedModule &) = delete;
  LoadedModule &operator=(const LoadedModule &) = delete;
  ~LoadedModule() {
    if (m_module != nullptr) FreeLibrary(m_module);
  }
  HMODULE get() const { return m_module; }

 private:
  HMODULE m_module;
};

}  // namespace

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib **pptlib) {
  if (szFile == nullptr || pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  const LoadedModule module(com::ole_path_to_utf8(szFile));
  if (module.get() == nullptr) return TYPE_E_CANTLOADLIBRARY;
  HRSRC resource = FindResourceA(module.get(), MAKEINTRESOURCEA(1), "TYPELIB");
  if (resource == nullptr) return TYPE_E_CANTLOADLIBRARY;
  const void *data = LockResource(LoadResource(module.get(), resource));
  const DWORD size = SizeofResource(module.get(), resource);
  if (data == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return com::typelib::open_image(static_cast<const uint8_t *>(data), size, pptlib);
}

HRESULT com::typelib::open_image(const uint8_t *data, size_t size, ITypeLib **pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  Library library;
  const HRESULT read = read_image(data, size, &library);
  if (FAILED(read)) return read;
  *pptlib = new (std::nothrow) TypeLibrary(std::move(library));
  return *pptlib != nullptr ? S_OK : E_OUTOFMEMORY;
}
