// typelib_fuzz.cc - fuzzes the type library image reader, and the ITypeLib and ITypeInfo built on what it accepts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/ole_text.h"
#include "platform/com/typelib.h"
#include "platform/com/typelib_image.h"

/*
 * Every input is copied to a heap block of exactly its size, so that ASan sees a read one byte
 * past it, and then:
 *   - read: read_image and open_image must give the same verdict;
 *   - written back: an accepted image must re-encode to exactly its own bytes (the layout has
 *     one encoding per library), which proves every field was read from where it lies;
 *   - walked through ITypeLib and ITypeInfo: every type, every function description and its
 *     parameter array, names through arrays of exactly the size given, documentation, and
 *     GetIDsOfNames with the names GetNames returned; each answer must match the library read.
 */
namespace {

using com::typelib::Func;
using com::typelib::Library;
using com::typelib::Type;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "typelib_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

std::vector<uint8_t> encode(const Library &lib) {
  using namespace com::typelib;
  std::vector<std::vector<ParamDecl>> params;
  std::vector<std::vector<FuncDecl>> funcs;
  std::vector<TypeDecl> types;
  for (const Type &type : lib.types) {
    std::vector<FuncDecl> type_funcs;
    for (const Func &func : type.funcs) {
      std::vector<ParamDecl> func_params;
      for (const Param &param : func.params) func_params.push_back({param.name, param.vt});
      // Moving a vector keeps its elements where they are, so the span stays valid.
      params.push_back(std::move(func_params));
      type_funcs.push_back({func.name, func.memid, func.invkind, func.vt_result, params.back()});
    }
    funcs.push_back(std::move(type_funcs));
    types.push_back({type.name, type.guid, type.kind, type.flags, funcs.back()});
  }
  const LibraryDecl decl = {lib.name, lib.guid, lib.major, lib.minor, lib.lcid, lib.flags, types};
  std::vector<uint8_t> image(image_size(decl));
  write_image(decl, image.data());
  return image;
}

// Takes the BSTR; true when it holds exactly `expected` (1252 maps every byte to one character).
bool holds(BSTR bstr, const std::string &expected) {
  const bool same = bstr != nullptr && com::ole_to_ansi(bstr, SysStringLen(bstr)) == expected;
  SysFreeString(bstr);
  return same;
}

bool is_ascii(const std::string &name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) > 0x7F) return false;
  return true;
}

// GetNames and GetDocumentation describe the first function with a member id.
const Func &first_with(const Type &type, MEMBERID memid) {
  for (const Func &func : type.funcs)
    if (func.memid == memid) return func;
  fail("a member id of the type is not found in it");
}

void check_description(const Func &func, ITypeInfo *info, UINT index) {
  FUNCDESC *desc = nullptr;
  check(info->GetFuncDesc(index, &desc) == S_OK && desc != nullptr, "GetFuncDesc failed on a function");
  check(desc->memid == func.memid && desc->invkind == func.invkind && desc->elemdescFunc.tdesc.vt == func.vt_result,
        "a function description differs from the function read");
  check(desc->cParams >= 0 && static_cast<size_t>(desc->cParams) == func.params.size(),
        "a function description miscounts its parameters");
  for (size_t p = 0; p < func.params.size(); ++p)
    check(desc->lprgelemdescParam[p].tdesc.vt == func.params[p].vt, "a parameter's type differs");
  info->ReleaseFuncDesc(desc);
}

void check_names(const Type &type, const Func &func, ITypeInfo *info) {
  const Func &named = first_with(type, func.memid);
  const size_t total = named.params.size() + 1;
  for (size_t max_names : {size_t{0}, size_t{1}, total, total + 1}) {
    std::unique_ptr<BSTR[]> names(new BSTR[max_names]);
    UINT count = 0;
    check(info->GetNames(func.memid, names.get(), static_cast<UINT>(max_names), &count) == S_OK,
          "GetNames failed on a member id of the type");
    check(count == std::min(max_names, total), "GetNames returned the wrong number of names");
    bool all_same = true;
    for (UINT n = 0; n < count; ++n) all_same &= holds(names[n], n == 0 ? named.name : named.params[n - 1].name);
    check(all_same, "GetNames returned other names");
  }
  BSTR doc_name = nullptr;
  check(info->GetDocumentation(func.memid, &doc_name, nullptr, nullptr, nullptr) == S_OK &&
            holds(doc_name, named.name),
        "GetDocumentation named a member otherwise");
}

// Asks for the function's own names; each id found must name a member, or a parameter of that
// member, whose name matches. Names are matched as ASCII, so any other name is unknown.
void check_ids(const Type &type, const Func &func, ITypeInfo *info) {
  std::vector<std::u16string> texts{com::ansi_to_ole(func.name)};
  for (const auto &param : func.params) texts.push_back(com::ansi_to_ole(param.name));
  const size_t count = texts.size();
  std::unique_ptr<LPOLESTR[]> names(new LPOLESTR[count]);
  for (size_t i = 0; i < count; ++i) names[i] = texts[i].data();
  std::unique_ptr<MEMBERID[]> ids(new MEMBERID[count]);
  const HRESULT hr = info->GetIDsOfNames(names.get(), static_cast<UINT>(count), ids.get());
  check(hr == S_OK || hr == DISP_E_UNKNOWNNAME, "GetIDsOfNames gave neither an id nor DISP_E_UNKNOWNNAME");
  if (!is_ascii(func.name)) {
    check(hr == DISP_E_UNKNOWNNAME && ids[0] == MEMBERID_NIL, "a name outside ASCII was matched");
    return;
  }
  const Func *member = nullptr;
  for (const Func &candidate : type.funcs)
    if (candidate.memid == ids[0] && com::ole_name_equals(names[0], candidate.name)) member = &candidate;
  check(member != nullptr, "GetIDsOfNames did not find a member by its own name");
  bool unknown = false;
  for (size_t i = 1; i < count; ++i) {
    if (ids[i] == MEMBERID_NIL) {
      unknown = true;
      continue;
    }
    check(ids[i] >= 0 && static_cast<size_t>(ids[i]) < member->params.size() &&
              com::ole_name_equals(names[i], member->params[static_cast<size_t>(ids[i])].name),
          "GetIDsOfNames gave a parameter id that does not name the parameter");
  }
  check(unknown == (hr == DISP_E_UNKNOWNNAME), "GetIDsOfNames' result disagrees with its ids");
}

void walk_type(const Type &type, ITypeInfo *info, UINT index) {
  TYPEATTR *attr = nullptr;
  check(info->GetTypeAttr(&attr) == S_OK, "GetTypeAttr failed");
  check(attr->guid == type.guid && attr->typekind == type.kind && attr->wTypeFlags == type.flags &&
            attr->cFuncs == type.funcs.size(),
        "a type's attributes differ from the type read");
  info->ReleaseTypeAttr(attr);

  ITypeLib *container = nullptr;
  UINT container_index = 0;
  check(info->GetContainingTypeLib(&container, &container_index) == S_OK && container_index == index,
        "a type does not know its place in its library");
  container->Release();
  BSTR name = nullptr;
  check(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr) == S_OK && holds(name, type.name),
        "a type's documentation names it otherwise");

  for (UINT f = 0; f < type.funcs.size(); ++f) {
    check_description(type.funcs[f], info, f);
    check_names(type, type.funcs[f], info);
    check_ids(type, type.funcs[f], info);
  }
  FUNCDESC *none = nullptr;
  check(info->GetFuncDesc(static_cast<UINT>(type.funcs.size()), &none) == TYPE_E_ELEMENTNOTFOUND,
        "GetFuncDesc answered past the last function");
}

void walk_library(const Library &lib, ITypeLib *tlib) {
  check(tlib->GetTypeInfoCount() == lib.types.size(), "GetTypeInfoCount differs from the types read");
  TLIBATTR *attr = nullptr;
  check(tlib->GetLibAttr(&attr) == S_OK, "GetLibAttr failed");
  check(attr->guid == lib.guid && attr->lcid == lib.lcid && attr->wMajorVerNum == lib.major &&
            attr->wMinorVerNum == lib.minor && attr->wLibFlags == lib.flags,
        "the library's attributes differ from the library read");
  tlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  check(tlib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr) == S_OK && holds(name, lib.name),
        "the library's documentation names it otherwise");

  const UINT count = static_cast<UINT>(lib.types.size());
  for (UINT t = 0; t < count; ++t) {
    const Type &type = lib.types[t];
    TYPEKIND kind{};
    check(tlib->GetTypeInfoType(t, &kind) == S_OK && kind == type.kind, "GetTypeInfoType differs");
    check(tlib->GetDocumentation(static_cast<int>(t), &name, nullptr, nullptr, nullptr) == S_OK &&
              holds(name, type.name),
          "a type's library documentation names it otherwise");
    ITypeInfo *info = nullptr;
    check(tlib->GetTypeInfo(t, &info) == S_OK, "GetTypeInfo failed on a type");
    walk_type(type, info, t);
    info->Release();
    check(tlib->GetTypeInfoOfGuid(type.guid, &info) == S_OK, "GetTypeInfoOfGuid does not find a type's GUID");
    TYPEATTR *found = nullptr;
    check(info->GetTypeAttr(&found) == S_OK && found->guid == type.guid, "GetTypeInfoOfGuid found another type");
    info->ReleaseTypeAttr(found);
    info->Release();
  }
  ITypeInfo *none = nullptr;
  check(tlib->GetTypeInfo(count, &none) == TYPE_E_ELEMENTNOTFOUND, "GetTypeInfo answered past the last type");
  check(tlib->GetDocumentation(static_cast<int>(count), &name, nullptr, nullptr, nullptr) == TYPE_E_ELEMENTNOTFOUND,
        "GetDocumentation answered past the last type");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);

  Library lib;
  const HRESULT read = com::typelib::read_image(image.get(), size, &lib);
  ITypeLib *tlib = nullptr;
  const HRESULT opened = com::typelib::open_image(image.get(), size, &tlib);
  check(read == opened, "read_image and open_image disagree");
  check(read == S_OK || read == TYPE_E_INVDATAREAD || read == TYPE_E_UNSUPFORMAT, "an unexpected verdict");
  check((tlib != nullptr) == (read == S_OK), "open_image's library does not match its verdict");
  if (read != S_OK) return 0;
  image.reset();  // the library must not refer to the image it was read from

  const std::vector<uint8_t> written = encode(lib);
  check(written.size() == size && std::memcmp(written.data(), data, size) == 0,
        "an accepted image does not re-encode to its own bytes");
  walk_library(lib, tlib);
  tlib->Release();
  return 0;
}
