// typelib_test.cc - catches type library images that do not read back as written, damaged images that are accepted, type information that misnames members, and registrations that leave keys behind or point at the wrong file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/guid_text.h"
#include "platform/com/ole_text.h"
#include "platform/com/typelib.h"
#include "platform/com/typelib_image.h"
#include "tests/platform/com/classes_root_test.h"
#include "tests/platform/com/test_server.h"

namespace {

using com::typelib::Library;

std::vector<uint8_t> image_of(const com::typelib::LibraryDecl &decl) {
  std::vector<uint8_t> image(com::typelib::image_size(decl));
  com::typelib::write_image(decl, image.data());
  return image;
}

TEST(TypeLibImageTest, ReadsBackWhatWasWritten) {
  const std::vector<uint8_t> image = image_of(testserver::kLibrary);
  Library lib;
  ASSERT_EQ(com::typelib::read_image(image.data(), image.size(), &lib), S_OK);
  EXPECT_EQ(lib.name, "TestLib");
  EXPECT_EQ(lib.guid, testserver::kLibraryId);
  EXPECT_EQ(lib.major, 1);
  EXPECT_EQ(lib.minor, 2);
  EXPECT_EQ(lib.lcid, 0x0409u);
  ASSERT_EQ(lib.types.size(), 2u);
  for (size_t t = 0; t < lib.types.size(); ++t) {
    const auto &decl = testserver::kLibrary.types[t];
    EXPECT_EQ(lib.types[t].name, decl.name);
    EXPECT_EQ(lib.types[t].guid, decl.guid);
    EXPECT_EQ(lib.types[t].kind, decl.kind);
    EXPECT_EQ(lib.types[t].flags, decl.flags);
    ASSERT_EQ(lib.types[t].funcs.size(), decl.funcs.size());
    for (size_t f = 0; f < decl.funcs.size(); ++f) {
      EXPECT_EQ(lib.types[t].funcs[f].name, decl.funcs[f].name);
      EXPECT_EQ(lib.types[t].funcs[f].memid, decl.funcs[f].memid);
      EXPECT_EQ(lib.types[t].funcs[f].invkind, decl.funcs[f].invkind);
      EXPECT_EQ(lib.types[t].funcs[f].vt_result, decl.funcs[f].vt_result);
      ASSERT_EQ(lib.types[t].funcs[f].params.size(), decl.funcs[f].params.size());
      for (size_t p = 0; p < decl.funcs[f].params.size(); ++p) {
        EXPECT_EQ(lib.types[t].funcs[f].params[p].name, decl.funcs[f].params[p].name);
        EXPECT_EQ(lib.types[t].funcs[f].params[p].vt, decl.funcs[f].params[p].vt);
      }
    }
  }
}

TEST(TypeLibImageTest, EveryTruncationAndLengthLieIsRefused) {
  const std::vector<uint8_t> image = image_of(testserver::kLibrary);
  Library lib;
  for (size_t n = 0; n < image.size(); ++n) {
    std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<long>(n));
    EXPECT_NE(com::typelib::read_image(cut.data(), cut.size(), &lib), S_OK) << "cut to " << n;
    // The same cut with its size field patched to agree: the records themselves run out.
    if (n >= com::typelib::kHeaderBytes) {
      cut[8] = static_cast<uint8_t>(n);
      cut[9] = static_cast<uint8_t>(n >> 8);
      EXPECT_EQ(com::typelib::read_image(cut.data(), cut.size(), &lib), TYPE_E_INVDATAREAD) << "cut to " << n;
    }
  }
  std::vector<uint8_t> longer = image;
  longer.push_back(0);
  EXPECT_EQ(com::typelib::read_image(longer.data(), longer.size(), &lib), TYPE_E_INVDATAREAD);
  longer[8] = static_cast<uint8_t>(longer.size());  // size agrees, a byte is left over
  EXPECT_EQ(com::typelib::read_image(longer.data(), longer.size(), &lib), TYPE_E_INVDATAREAD);
}

TEST(TypeLibImageTest, DamagedFieldsAreRefused) {
  const std::vector<uint8_t> image = image_of(testserver::kLibrary);
  const size_t library_name = com::typelib::kHeaderBytes + 16 + 2 + 2 + 4 + 2;  // its length field
  const size_t first_kind = library_name + 2 + 7 + 2;                           // "TestLib", type count
  const struct {
    const char *what;
    size_t offset;
    uint8_t value;
    HRESULT expected;
  } cases[] = {
      {"magic", 0, 'X', TYPE_E_INVDATAREAD},
      {"format version", 4, 2, TYPE_E_UNSUPFORMAT},
      {"reserved", 6, 1, TYPE_E_INVDATAREAD},
      {"name length zero", library_name, 0, TYPE_E_INVDATAREAD},
      {"name length past the end", library_name + 1, 0xFF, TYPE_E_INVDATAREAD},
      {"NUL inside a name", library_name + 2, 0, TYPE_E_INVDATAREAD},
      {"type count too high", library_name + 2 + 7, 3, TYPE_E_INVDATAREAD},
      {"type kind out of range", first_kind, TKIND_MAX, TYPE_E_INVDATAREAD},
  };
  for (const auto &c : cases) {
    std::vector<uint8_t> damaged = image;
    damaged[c.offset] = c.value;
    Library lib;
    EXPECT_EQ(com::typelib::read_image(damaged.data(), damaged.size(), &lib), c.expected) << c.what;
  }
  Library lib;
  EXPECT_EQ(com::typelib::read_image(nullptr, 0, &lib), TYPE_E_INVDATAREAD);
}

// Functions the type information could not describe: a member id that means "no member", and
// more parameters than FUNCDESC can count.
TEST(TypeLibImageTest, FunctionsTheTypeInformationCannotDescribeAreRefused) {
  using com::typelib::FuncDecl;
  using com::typelib::kMaxParams;
  const std::vector<com::typelib::ParamDecl> params(kMaxParams + 1, {"p", VT_I4});
  const struct {
    const char *what;
    MEMBERID memid;
    size_t param_count;
    HRESULT expected;
  } cases[] = {
      {"member id MEMBERID_NIL", MEMBERID_NIL, 1, TYPE_E_INVDATAREAD},
      {"member id -2", -2, 1, S_OK},
      {"most parameters", 1, kMaxParams, S_OK},
      {"one parameter too many", 1, kMaxParams + 1, TYPE_E_INVDATAREAD},
  };
  for (const auto &c : cases) {
    const FuncDecl funcs[] = {{"f", c.memid, INVOKE_FUNC, VT_EMPTY, {params.data(), c.param_count}}};
    const com::typelib::TypeDecl types[] = {{"T", testserver::kDispatchIid, TKIND_DISPATCH, 0, funcs}};
    const std::vector<uint8_t> image = image_of({"L", testserver::kLibraryId, 1, 0, 0, 0, types});
    ITypeLib *lib = nullptr;
    ASSERT_EQ(com::typelib::open_image(image.data(), image.size(), &lib), c.expected) << c.what;
    if (lib == nullptr) continue;
    ITypeInfo *info = nullptr;
    ASSERT_EQ(lib->GetTypeInfo(0, &info), S_OK);
    FUNCDESC *desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(0, &desc), S_OK);
    EXPECT_EQ(desc->memid, c.memid) << c.what;
    EXPECT_EQ(desc->cParams, static_cast<SHORT>(c.param_count)) << c.what;
    info->ReleaseFuncDesc(desc);
    info->Release();
    lib->Release();
  }
}

std::string ansi(BSTR bstr) {
  std::string text = com::ole_to_ansi(bstr, SysStringLen(bstr));
  SysFreeString(bstr);
  return text;
}

ITypeLib *load(const char *path, HRESULT *hr) {
  const std::u16string wide = com::utf8_path_to_ole(path);
  ITypeLib *lib = nullptr;
  *hr = LoadTypeLib(wide.c_str(), &lib);
  return lib;
}

TEST(LoadTypeLibTest, TypeInformationDescribesTheModulesLibrary) {
  HRESULT hr;
  ITypeLib *lib = load(TEST_SERVER_PATH, &hr);
  ASSERT_EQ(hr, S_OK);
  TLIBATTR *attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, testserver::kLibraryId);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 2);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
  BSTR name = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(ansi(name), "TestLib");

  ITypeInfo *info = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(testserver::kDispatchIid, &info), S_OK);
  lib->Release();  // the type information keeps its library alive
  TYPEATTR *type = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_DISPATCH);
  EXPECT_EQ(type->cFuncs, 2);
  EXPECT_EQ(type->wTypeFlags, TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FHIDDEN);
  info->ReleaseTypeAttr(type);

  FUNCDESC *func = nullptr;
  ASSERT_EQ(info->GetFuncDesc(0, &func), S_OK);
  EXPECT_EQ(func->memid, 7);
  EXPECT_EQ(func->invkind, INVOKE_FUNC);
  EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_BSTR);
  ASSERT_EQ(func->cParams, 2);
  EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
  EXPECT_EQ(func->lprgelemdescParam[1].tdesc.vt, VT_I4);
  info->ReleaseFuncDesc(func);
  EXPECT_EQ(info->GetFuncDesc(2, &func), TYPE_E_ELEMENTNOTFOUND);

  BSTR names[3] = {};
  UINT count = 0;
  ASSERT_EQ(info->GetNames(7, names, 3, &count), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(ansi(names[0]), "Twice");
  EXPECT_EQ(ansi(names[1]), "a");
  EXPECT_EQ(ansi(names[2]), "b");

  OLECHAR twice[] = u"tWICE";
  OLECHAR b[] = u"B";
  OLECHAR nope[] = u"Thrice";
  LPOLESTR query[] = {twice, b};
  MEMBERID ids[2];
  ASSERT_EQ(info->GetIDsOfNames(query, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 7);
  EXPECT_EQ(ids[1], 1);
  query[0] = nope;
  EXPECT_EQ(info->GetIDsOfNames(query, 1, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], MEMBERID_NIL);
  ITypeLib *container = nullptr;
  UINT index = 99;
  ASSERT_EQ(info->GetContainingTypeLib(&container, &index), S_OK);
  EXPECT_EQ(index, 0u);
  container->Release();
  info->Release();
}

TEST(LoadTypeLibTest, MissingOrDamagedResourcesAreRefused) {
  HRESULT hr;
  EXPECT_EQ(load(DAMAGED_SERVER_PATH, &hr), nullptr);
  EXPECT_EQ(hr, TYPE_E_INVDATAREAD);
  EXPECT_EQ(load(NO_EXPORT_SERVER_PATH, &hr), nullptr);  // loads, holds no TYPELIB
  EXPECT_EQ(hr, TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(load("/nonexistent/module.so", &hr), nullptr);
  EXPECT_EQ(hr, TYPE_E_CANTLOADLIBRARY);
}

class TypeLibRegistrationTest : public comtest::ClassesRootTest {};

TEST_F(TypeLibRegistrationTest, RegistersLoadsByRegistrationAndUnregistersWithoutTrace) {
  HRESULT hr;
  ITypeLib *lib = load(TEST_SERVER_PATH, &hr);
  ASSERT_EQ(hr, S_OK);
  const std::u16string path = com::utf8_path_to_ole(TEST_SERVER_PATH);
  ASSERT_EQ(RegisterTypeLib(lib, path.c_str(), nullptr), S_OK);
  lib->Release();

  const std::string version = "TypeLib\\" + com::guid_to_string(testserver::kLibraryId) + "\\1.2";
  const std::string iface = "Interface\\" + com::guid_to_string(testserver::kDispatchIid);
  const std::string folder = std::string(TEST_SERVER_PATH).substr(0, std::string(TEST_SERVER_PATH).rfind('/'));
  EXPECT_EQ(value(version), "TestLib");
  EXPECT_EQ(value(version + "\\409\\win64"), TEST_SERVER_PATH);
  EXPECT_EQ(value(version + "\\FLAGS"), "0");
  EXPECT_EQ(value(version + "\\HELPDIR"), folder);
  EXPECT_EQ(value(iface), "_DTestThing");
  EXPECT_EQ(value(iface + "\\ProxyStubClsid32"), "{00020420-0000-0000-C000-000000000046}");
  EXPECT_EQ(value(iface + "\\TypeLib"), com::guid_to_string(testserver::kLibraryId));
  EXPECT_EQ(value(iface + "\\TypeLib", "Version"), "1.2");
  EXPECT_FALSE(com::class_key_exists("Interface\\" + com::guid_to_string(testserver::kPlainIid)));

  // Any locale finds a library registered for one; other versions do not.
  for (LCID lcid : {0x0409u, 0x0809u, 0u, 0x0C0Au}) {
    ITypeLib *registered = nullptr;
    ASSERT_EQ(LoadRegTypeLib(testserver::kLibraryId, 1, 2, lcid, &registered), S_OK) << lcid;
    registered->Release();
  }
  ITypeLib *none = nullptr;
  EXPECT_EQ(LoadRegTypeLib(testserver::kLibraryId, 2, 0, 0, &none), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(testserver::kLibraryId, 1, 2, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);

  ASSERT_EQ(UnRegisterTypeLib(testserver::kLibraryId, 1, 2, 0x0409, SYS_WIN64), S_OK);
  EXPECT_FALSE(com::class_key_exists("TypeLib\\" + com::guid_to_string(testserver::kLibraryId)));
  EXPECT_FALSE(com::class_key_exists(iface));
  EXPECT_EQ(LoadRegTypeLib(testserver::kLibraryId, 1, 2, 0, &none), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibRegistrationTest, InterfaceKeysStayWhileAnotherLocaleOrLibraryHoldsThem) {
  HRESULT hr;
  ITypeLib *lib = load(TEST_SERVER_PATH, &hr);
  ASSERT_EQ(hr, S_OK);
  const std::u16string path = com::utf8_path_to_ole(TEST_SERVER_PATH);
  ASSERT_EQ(RegisterTypeLib(lib, path.c_str(), u"/help"), S_OK);
  lib->Release();
  const std::string version = "TypeLib\\" + com::guid_to_string(testserver::kLibraryId) + "\\1.2";
  const std::string iface = "Interface\\" + com::guid_to_string(testserver::kDispatchIid);
  EXPECT_EQ(value(version + "\\HELPDIR"), "/help");
  ASSERT_TRUE(com::write_class_text(version + "\\0\\win64", nullptr, TEST_SERVER_PATH));

  ASSERT_EQ(UnRegisterTypeLib(testserver::kLibraryId, 1, 2, 0x0409, SYS_WIN64), S_OK);
  EXPECT_EQ(value(version), "TestLib");  // the neutral locale is still registered
  EXPECT_TRUE(com::class_key_exists(iface));

  // An interface now claimed by another library is left to it.
  ASSERT_TRUE(com::write_class_text(iface + "\\TypeLib", nullptr, com::guid_to_string(IID_IDispatch)));
  ASSERT_EQ(UnRegisterTypeLib(testserver::kLibraryId, 1, 2, 0, SYS_WIN64), S_OK);
  EXPECT_FALSE(com::class_key_exists(version));
  EXPECT_TRUE(com::class_key_exists(iface));
}

}  // namespace
