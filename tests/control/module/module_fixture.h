// module_fixture.h - a test that loads libquillora.so by path, as a host or the uninstaller does, with a fresh registry and certificate store.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/com/class_registry.h"
#include "platform/com/com_types.h"
#include "platform/modules/modules.h"
#include "tests/support/data_root_test.h"

namespace moduletest {

typedef HRESULT (*SelfRegisterFn)();
typedef HRESULT (*GetClassObjectFn)(REFCLSID, REFIID, void **);

// The module's exports, looked up by name as every caller of the module does.
struct ModuleExports {
  HMODULE module = nullptr;
  SelfRegisterFn can_unload_now = nullptr;
  GetClassObjectFn get_class_object = nullptr;
  SelfRegisterFn register_server = nullptr;
  SelfRegisterFn unregister_server = nullptr;
};

template <typename Fn>
Fn export_of(HMODULE module, const char *name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

inline ModuleExports load_module(const std::string &path) {
  ModuleExports exports;
  exports.module = LoadLibraryExA(path.c_str(), nullptr, 0);
  if (exports.module == nullptr) return exports;
  exports.can_unload_now = export_of<SelfRegisterFn>(exports.module, "DllCanUnloadNow");
  exports.get_class_object = export_of<GetClassObjectFn>(exports.module, "DllGetClassObject");
  exports.register_server = export_of<SelfRegisterFn>(exports.module, "DllRegisterServer");
  exports.unregister_server = export_of<SelfRegisterFn>(exports.module, "DllUnregisterServer");
  return exports;
}

class ModuleTest : public testsupport::DataRootTest {
 protected:
  void SetUp() override {
    DataRootTest::SetUp();
    exports_ = load_module(QUILLORA_MODULE_PATH);
    ASSERT_NE(exports_.module, nullptr);
    ASSERT_NE(exports_.register_server, nullptr);
    ASSERT_NE(exports_.unregister_server, nullptr);
    ASSERT_NE(exports_.get_class_object, nullptr);
    ASSERT_NE(exports_.can_unload_now, nullptr);
  }
  void TearDown() override {
    if (exports_.module != nullptr) FreeLibrary(exports_.module);
    DataRootTest::TearDown();
  }

  static std::optional<std::string> value(const std::string &key, const char *name = nullptr) {
    std::string text;
    if (!com::read_class_text(key, name, &text)) return std::nullopt;
    return text;
  }

  ModuleExports exports_;
};

}  // namespace moduletest
