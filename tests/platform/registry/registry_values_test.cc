// registry_values_test.cc - catches a broken size contract of RegQueryValueExA (overruns, wrong sizes, missing ERROR_MORE_DATA), value bytes or types changed on the way through, and the wrong error for missing keys and values.
#include <cstring>
#include <string>
#include <vector>

#include "registry_test_support.h"

namespace {

using regtest::read_value;
using regtest::RegistryTest;

constexpr DWORD kUnset = 0xDEADBEEF;

TEST_F(RegistryTest, ValuesKeepTheirTypeAndEveryByte) {
  const struct {
    const char *name;
    DWORD type;
    std::vector<BYTE> data;
  } values[] = {
      {"sz", REG_SZ, {'a', 'b', 0}},
      {"sz without its NUL", REG_SZ, {'a', 'b'}},
      {"expand", REG_EXPAND_SZ, {'%', 'X', '%', 0}},
      {"dword", REG_DWORD, {1, 0, 0, 0x80}},
      {"binary with zeros", REG_BINARY, {0, 0, 7, 0}},
      {"empty", REG_BINARY, {}},
      {"", REG_SZ, {'d', 0}},
      {"high bytes \xE9", 0x12345678, {0xFF, 0xFE}},
  };
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "V", &key), ERROR_SUCCESS);
  for (const auto &v : values) {
    ASSERT_EQ(RegSetValueExA(key, v.name, 0, v.type, v.data.empty() ? nullptr : v.data.data(),
                             static_cast<DWORD>(v.data.size())),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);
  for (const auto &v : values) {
    SCOPED_TRACE(v.name);
    const regtest::ReadValue read = read_value(HKEY_CURRENT_USER, "V", v.name);
    ASSERT_EQ(read.status, ERROR_SUCCESS);
    EXPECT_EQ(read.type, v.type);
    EXPECT_EQ(read.data, v.data);
  }
  // NULL and "" both name the default value.
  EXPECT_EQ(read_value(HKEY_CURRENT_USER, "V", nullptr).data, (std::vector<BYTE>{'d', 0}));
}

TEST_F(RegistryTest, QueryReportsSizesAndNeverWritesPastTheBuffer) {
  const std::string text = "C:\\Program Files\\quillora";
  ASSERT_EQ(regtest::set_string(HKEY_LOCAL_MACHINE, "K", "CWD", text), ERROR_SUCCESS);
  const DWORD needed = static_cast<DWORD>(text.size() + 1);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
  const struct {
    const char *what;
    bool with_buffer;
    DWORD room;
    LSTATUS expected;
    bool copied;
  } cases[] = {
      {"size query", false, 0, ERROR_SUCCESS, false},
      {"exact buffer", true, needed, ERROR_SUCCESS, true},
      {"larger buffer", true, needed + 10, ERROR_SUCCESS, true},
      {"one byte short", true, needed - 1, ERROR_MORE_DATA, false},
      {"no room", true, 0, ERROR_MORE_DATA, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    // The buffer sits in a larger block of guard bytes that must come back untouched.
    std::vector<BYTE> block(needed + 32, 0xAA);
    DWORD type = kUnset;
    DWORD size = c.room;
    EXPECT_EQ(RegQueryValueExA(key, "CWD", nullptr, &type, c.with_buffer ? block.data() : nullptr, &size), c.expected);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, needed);
    if (c.copied) {
      EXPECT_EQ(std::memcmp(block.data(), text.c_str(), needed), 0);
    }
    const size_t untouched_from = c.copied ? needed : 0;
    for (size_t i = untouched_from; i < block.size(); ++i) ASSERT_EQ(block[i], 0xAA) << "byte " << i;
  }
  BYTE byte = 0;
  EXPECT_EQ(RegQueryValueExA(key, "CWD", nullptr, nullptr, &byte, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key, "CWD", &reserved, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "CWD", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysAndValuesAreFileNotFound) {
  ASSERT_EQ(regtest::set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", "Other", "x"), ERROR_SUCCESS);
  const struct {
    HKEY hive;
    const char *path;
    const char *name;
  } missing[] = {
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", "CWD"},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", nullptr},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora\\Deeper", "CWD"},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody", "CWD"},
      // A hive that has never been written has no file, and reading it makes none.
      {HKEY_CLASSES_ROOT, "CLSID", nullptr},
      {HKEY_CLASSES_ROOT, "", "x"},
  };
  for (const auto &m : missing) {
    SCOPED_TRACE(m.path);
    EXPECT_EQ(read_value(m.hive, m.path, m.name).status, ERROR_FILE_NOT_FOUND);
  }
  EXPECT_FALSE(std::filesystem::exists(hive_file("classes_root")));
}

TEST_F(RegistryTest, ReadsOfAMissingRootCreateNothing) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  char name[8];
  DWORD nchars = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &nchars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(std::filesystem::exists(root_));
}

}  // namespace
