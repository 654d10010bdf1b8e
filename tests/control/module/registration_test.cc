// registration_test.cc - catches self-registration that writes other keys or values than the control's, leaves keys behind on removal, or goes on past a failed type library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "control/module/control_ids.h"
#include "platform/com/guid_text.h"
#include "tests/control/module/module_fixture.h"

namespace {

using moduletest::ModuleTest;

const std::string kClassKey = "CLSID\\" + com::guid_to_string(CLSID_QuilloraActX);
const std::string kLibraryKey = "TypeLib\\" + com::guid_to_string(LIBID_QuilloraActXLib);
const std::string kInterfaceKey = "Interface\\" + com::guid_to_string(DIID__DQuilloraActX);

TEST_F(ModuleTest, RegistrationWritesExactlyTheControlsEntries) {
  ASSERT_EQ(exports_.register_server(), S_OK);
  const std::string path = QUILLORA_MODULE_PATH;
  const struct {
    std::string key;
    const char *name;
    std::string data;
  } expected[] = {
      {kClassKey, nullptr, "KESTRAVON Quillora Control"},
      {kClassKey + "\\ProgID", nullptr, "KESTRAVON.Quillora.1"},
      {kClassKey + "\\InprocServer32", nullptr, path},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClassKey + "\\ToolboxBitmap32", nullptr, path + ", 1"},
      {kClassKey + "\\MiscStatus", nullptr, "0"},
      {kClassKey + "\\MiscStatus\\1", nullptr, "131473"},
      {kClassKey + "\\Control", nullptr, ""},
      {kClassKey + "\\TypeLib", nullptr, com::guid_to_string(LIBID_QuilloraActXLib)},
      {kClassKey + "\\Version", nullptr, "2.0"},
      {"KESTRAVON.Quillora.1", nullptr, "KESTRAVON Quillora Control"},
      {"KESTRAVON.Quillora.1\\CLSID", nullptr, com::guid_to_string(CLSID_QuilloraActX)},
      {kLibraryKey + "\\2.0", nullptr, "QuilloraActXLib"},
      {kLibraryKey + "\\2.0\\409\\win64", nullptr, path},
      {kLibraryKey + "\\2.0\\FLAGS", nullptr, "0"},
      {kInterfaceKey, nullptr, "_DQuilloraActX"},
      {kInterfaceKey + "\\TypeLib", nullptr, com::guid_to_string(LIBID_QuilloraActXLib)},
      {kInterfaceKey + "\\ProxyStubClsid32", nullptr, "{00020420-0000-0000-C000-000000000046}"},
  };
  for (const auto &e : expected) EXPECT_EQ(value(e.key, e.name), e.data) << e.key << " " << (e.name ? e.name : "");
  EXPECT_EQ(com::class_subkeys(kClassKey).size(), 7u);  // nothing beyond the table: no Insertable
  EXPECT_EQ(com::class_subkeys("KESTRAVON.Quillora.1").size(), 1u);

  // Registering again changes nothing.
  ASSERT_EQ(exports_.register_server(), S_OK);
  EXPECT_EQ(value(kClassKey + "\\MiscStatus\\1"), "131473");
}

TEST_F(ModuleTest, UnregistrationLeavesNoKeyOfTheControl) {
  ASSERT_EQ(exports_.register_server(), S_OK);
  ASSERT_TRUE(com::write_class_text("CLSID\\{00000000-0000-0000-0000-00000000000A}", nullptr, "a neighbour"));
  ASSERT_EQ(exports_.unregister_server(), S_OK);
  for (const std::string &key : {kClassKey, std::string("KESTRAVON.Quillora.1"), kLibraryKey, kInterfaceKey})
    EXPECT_FALSE(com::class_key_exists(key)) << key;
  EXPECT_EQ(value("CLSID\\{00000000-0000-0000-0000-00000000000A}"), "a neighbour");
  // With nothing registered the type library step is the one that fails.
  EXPECT_EQ(exports_.unregister_server(), SELFREG_E_TYPELIB);
}

// A copy of the module whose type library carries a format version this platform cannot read.
std::string damaged_copy(const std::string &folder) {
  std::ifstream in(QUILLORA_MODULE_PATH, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string header("QTLB\x01\x00\x00\x00", 8);
  // The loaded sections come first in the file; debug information may hold a second copy.
  auto at = std::search(bytes.begin(), bytes.end(), header.begin(), header.end());
  EXPECT_NE(at, bytes.end());
  if (at != bytes.end()) at[4] = 9;
  const std::string path = folder + "/damaged_quillora.so";
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST_F(ModuleTest, AFailedTypeLibraryStopsRegistrationBeforeTheClass) {
  ASSERT_EQ(exports_.register_server(), S_OK);
  const moduletest::ModuleExports damaged = moduletest::load_module(damaged_copy(root_));
  ASSERT_NE(damaged.module, nullptr);
  EXPECT_EQ(damaged.register_server(), SELFREG_E_TYPELIB);
  // The class still names the module registered first: the damaged copy wrote nothing.
  EXPECT_EQ(value(kClassKey + "\\InprocServer32"), QUILLORA_MODULE_PATH);
  EXPECT_EQ(value(kLibraryKey + "\\2.0\\409\\win64"), QUILLORA_MODULE_PATH);
  FreeLibrary(damaged.module);
}

}  // namespace
