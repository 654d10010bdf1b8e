// activation_test.cc - catches activation that misses the registry or the process's class table, loads a server twice or never lets it go, and misreports unknown classes and broken servers.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/com/activation.h"
#include "platform/com/guid_text.h"
#include "platform/com/ole_text.h"
#include "platform/modules/modules.h"
#include "tests/platform/com/classes_root_test.h"
#include "tests/platform/com/test_server.h"

namespace {

// The dynamic loader itself is the oracle for whether a module is still mapped.
bool is_loaded(const char *path) {
  void *handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

const std::string kClassKey = "CLSID\\" + com::guid_to_string(testserver::kClassId);

class ActivationTest : public comtest::ClassesRootTest {
 protected:
  void SetUp() override {
    ClassesRootTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    ClassesRootTest::TearDown();
  }
  static void register_server(const std::string &path) {
    ASSERT_TRUE(com::write_class_text(kClassKey + "\\InprocServer32", nullptr, path));
    ASSERT_TRUE(com::write_class_text(testserver::kProgId, nullptr, "Test thing"));
    ASSERT_TRUE(com::write_class_text(std::string(testserver::kProgId) + "\\CLSID", nullptr,
                                      com::guid_to_string(testserver::kClassId)));
  }
};

TEST_F(ActivationTest, CreatesByProgIdThroughTheRegistry) {
  register_server(TEST_SERVER_PATH);
  CLSID clsid;
  const std::u16string progid = com::ansi_to_ole(testserver::kProgId);
  ASSERT_EQ(CLSIDFromProgID(progid.c_str(), &clsid), S_OK);
  EXPECT_EQ(clsid, testserver::kClassId);
  IUnknown *object = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&object)),
            S_OK);
  ASSERT_NE(object, nullptr);
  // The object's code is the server's, named by InprocServer32.
  void *vtable = *reinterpret_cast<void **>(object);
  EXPECT_EQ(module_handle_of(vtable), LoadLibraryExA(TEST_SERVER_PATH, nullptr, 0));
  FreeLibrary(module_handle_of(vtable));

  // While an object is alive the server stays loaded; once it is gone, the server is unloaded.
  CoFreeUnusedLibraries();
  EXPECT_TRUE(is_loaded(TEST_SERVER_PATH));
  EXPECT_EQ(object->Release(), 0u);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(is_loaded(TEST_SERVER_PATH));
}

TEST_F(ActivationTest, UnknownAndBrokenClassesFailWithTheirOwnCodes) {
  void *out = &out;
  const std::u16string missing_progid = u"No.Such.Thing";
  CLSID clsid = IID_IUnknown;
  EXPECT_EQ(CLSIDFromProgID(missing_progid.c_str(), &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"CLSID\\x", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);

  register_server(root_ + "/no-such-module.so");
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CO_E_DLLNOTFOUND);
  register_server(NO_EXPORT_SERVER_PATH);  // a shared library without DllGetClassObject
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CO_E_ERRORINDLL);
  register_server(TEST_SERVER_PATH);
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
            E_NOINTERFACE);

  ASSERT_TRUE(com::write_class_text(std::string(testserver::kProgId) + "\\CLSID", nullptr, "{not-a-guid}"));
  const std::u16string progid = com::ansi_to_ole(testserver::kProgId);
  EXPECT_EQ(CLSIDFromProgID(progid.c_str(), &clsid), CO_E_CLASSSTRING);
}

// A class object registered by the process itself, counting what is asked of it.
class LocalFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (!(riid == IID_IUnknown) && !(riid == IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT CreateInstance(IUnknown *, REFIID, void **ppv) override {
    ++created;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
  ULONG refs = 0;
  int created = 0;
};

TEST_F(ActivationTest, ClassTableComesBeforeTheRegistryUntilRevoked) {
  register_server(TEST_SERVER_PATH);
  LocalFactory local;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(testserver::kClassId, &local, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
            S_OK);
  EXPECT_EQ(local.refs, 1u);
  void *out = nullptr;
  EXPECT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), E_NOINTERFACE);
  EXPECT_EQ(local.created, 1);
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(local.refs, 0u);
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);

  IUnknown *object = nullptr;
  ASSERT_EQ(CoCreateInstance(testserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void **>(&object)),
            S_OK);
  EXPECT_EQ(local.created, 1);
  object->Release();
}

TEST(ApartmentTest, CountsCallsAndRefusesAModelChange) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

}  // namespace
