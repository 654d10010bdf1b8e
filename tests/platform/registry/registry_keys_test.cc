// registry_keys_test.cc - catches keys lost between processes or put in the wrong hive, names compared with case or stored folded, deletion that ignores subkeys or leaves some behind, stale handles that act on deleted keys, missing access checks, and enumeration out of order or past its end.
#include <cstring>
#include <string>
#include <vector>

#include "registry_test_support.h"

namespace {

using regtest::read_value;
using regtest::RegistryTest;
using regtest::set_string;
using regtest::subkey_names;

std::vector<BYTE> bytes_of(const std::string &text) { return std::vector<BYTE>(text.begin(), text.end()); }

TEST_F(RegistryTest, ValuesWrittenByAnotherProcessReadBackInTheirOwnHive) {
  const struct {
    HKEY hive;
    const char *file;
    const char *path;
    const char *name;
    DWORD type;
    std::vector<BYTE> data;
  } values[] = {
      {HKEY_LOCAL_MACHINE, "local_machine", "SOFTWARE\\KESTRAVON\\quillora", "CWD", REG_SZ, bytes_of(std::string("C:\\X\0", 5))},
      {HKEY_CLASSES_ROOT, "classes_root", "CLSID\\{1}\\InprocServer32", nullptr, REG_SZ, bytes_of(std::string("/q.ocx\0", 7))},
      {HKEY_CLASSES_ROOT, "classes_root", "CLSID\\{1}\\InprocServer32", "ThreadingModel", REG_SZ, bytes_of(std::string("Apartment\0", 10))},
      {HKEY_CURRENT_USER, "current_user", "Software\\Test", "Count", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {HKEY_CURRENT_USER, "current_user", "Software\\Test", "Blob", REG_BINARY, {0, 1, 0, 0xFF}},
  };
  const int status = regtest::run_in_child([&] {
    for (const auto &v : values) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(v.hive, v.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
          RegSetValueExA(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())) != ERROR_SUCCESS)
        return 1;
      RegCloseKey(key);
    }
    return 0;
  });
  ASSERT_EQ(status, 0);
  for (const auto &v : values) {
    SCOPED_TRACE(v.path);
    const regtest::ReadValue read = read_value(v.hive, v.path, v.name);
    ASSERT_EQ(read.status, ERROR_SUCCESS);
    EXPECT_EQ(read.type, v.type);
    EXPECT_EQ(read.data, v.data);
    EXPECT_TRUE(std::filesystem::exists(hive_file(v.file)));
  }
  // Each hive is its own namespace: the same path in another hive is not there.
  EXPECT_EQ(read_value(HKEY_CURRENT_USER, "SOFTWARE\\KESTRAVON\\quillora", "CWD").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheCaseFirstWritten) {
  ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "Software\\Kestravon\\Quillora", "CWD", "one"), ERROR_SUCCESS);
  DWORD disposition = 0;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  // The value of another case is the same value, replaced rather than added.
  const std::string two = "two";
  ASSERT_EQ(RegSetValueExA(key, "cwd", 0, REG_SZ, reinterpret_cast<const BYTE *>(two.c_str()), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, "software\\kestravon\\QUILLORA", "Cwd").text(), std::string("two\0", 4));
  EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "SOFTWARE"), std::vector<std::string>{"Kestravon"});
  EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "software\\KESTRAVON"), std::vector<std::string>{"Quillora"});
}

TEST_F(RegistryTest, EnumerationIsOrderedByFoldedNameAndEndsWithNoMoreItems) {
  for (const char *name : {"b", "C", "A", "a1"}) ASSERT_EQ(set_string(HKEY_CURRENT_USER, (std::string("E\\") + name).c_str(), nullptr, "x"), ERROR_SUCCESS);
  EXPECT_EQ(subkey_names(HKEY_CURRENT_USER, "E"), (std::vector<std::string>{"A", "a1", "b", "C"}));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "E", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[8];
  FILETIME written = {};
  DWORD nchars = 2;  // "a1" needs 3 with its NUL
  EXPECT_EQ(RegEnumKeyExA(key, 1, name, &nchars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  nchars = 3;
  char key_class[4] = "zzz";
  DWORD class_nchars = sizeof key_class;
  ASSERT_EQ(RegEnumKeyExA(key, 1, name, &nchars, nullptr, key_class, &class_nchars, &written), ERROR_SUCCESS);
  EXPECT_STREQ(name, "a1");
  EXPECT_EQ(nchars, 2u);
  EXPECT_STREQ(key_class, "");
  EXPECT_NE(written.dwHighDateTime, 0u) << "the key's last write time is not kept";
  nchars = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 4, name, &nchars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletionFollowsTheRulesForSubkeysAndValues) {
  auto populate = [] {
    ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora", "CWD", "C:\\X"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora\\Sub\\Deeper", "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\Leaf", "v", "1"), ERROR_SUCCESS);
  };
  const struct {
    const char *what;
    std::function<LSTATUS()> call;
    LSTATUS expected;
    std::vector<std::string> k_subkeys_after;     // subkeys of SOFTWARE\K afterwards
    std::vector<std::string> quillora_subkeys_after;
  } cases[] = {
      {"a key with subkeys is refused", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora"); },
       ERROR_ACCESS_DENIED, {"Leaf", "quillora"}, {"Sub"}},
      {"a leaf goes, whatever its values", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\k\\LEAF"); },
       ERROR_SUCCESS, {"quillora"}, {"Sub"}},
      {"a missing key", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\Gone"); }, ERROR_FILE_NOT_FOUND,
       {"Leaf", "quillora"}, {"Sub"}},
      {"a hive's root stays", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""); }, ERROR_ACCESS_DENIED,
       {"Leaf", "quillora"}, {"Sub"}},
      {"a tree goes whole", [] { return RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora"); }, ERROR_SUCCESS,
       {"Leaf"}, {}},
      {"a missing tree", [] { return RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\Gone"); }, ERROR_FILE_NOT_FOUND,
       {"Leaf", "quillora"}, {"Sub"}},
      {"a missing value", [] {
         HKEY key = nullptr;
         RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora", 0, KEY_ALL_ACCESS, &key);
         const LSTATUS status = RegDeleteValueA(key, "Nope");
         RegCloseKey(key);
         return status;
       },
       ERROR_FILE_NOT_FOUND, {"Leaf", "quillora"}, {"Sub"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr);
    populate();
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "SOFTWARE\\K"), c.k_subkeys_after);
    EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora"), c.quillora_subkeys_after);
  }
}

TEST_F(RegistryTest, DeleteTreeWithoutASubkeyEmptiesTheKeyButKeepsIt) {
  ASSERT_EQ(set_string(HKEY_CURRENT_USER, "T\\A\\B", "v", "1"), ERROR_SUCCESS);
  ASSERT_EQ(set_string(HKEY_CURRENT_USER, "T", "w", "2"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "T", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "w", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(subkey_names(HKEY_CURRENT_USER, ""), std::vector<std::string>{"T"});
  EXPECT_TRUE(subkey_names(HKEY_CURRENT_USER, "T").empty());
}

TEST_F(RegistryTest, HandlesToKeysDeletedMeanwhileReportKeyDeleted) {
  ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora\\Sub", "v", "1"), ERROR_SUCCESS);
  const struct {
    const char *what;
    std::function<LSTATUS()> remove;
  } deletions[] = {
      {"by another handle", [] { return RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K"); }},
      {"by another process",
       [] { return regtest::run_in_child([] { return static_cast<int>(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "software\\k")); }) == 0 ? ERROR_SUCCESS : ERROR_WRITE_FAULT; }},
  };
  for (const auto &deletion : deletions) {
    SCOPED_TRACE(deletion.what);
    ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora\\Sub", "v", "1"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\quillora", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(deletion.remove(), ERROR_SUCCESS);
    const BYTE data[] = "x";
    char name[16];
    DWORD nchars = sizeof name;
    HKEY sub = nullptr;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &nchars, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExA(key, "Sub", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
    // Writes must not bring the key back to life.
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, data, sizeof data), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(sub, nullptr);
    EXPECT_TRUE(subkey_names(HKEY_LOCAL_MACHINE, "SOFTWARE").empty());
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
}

TEST_F(RegistryTest, HandlesGiveOnlyTheRightsAskedFor) {
  ASSERT_EQ(set_string(HKEY_CURRENT_USER, "R\\Existing", "v", "1"), ERROR_SUCCESS);
  const BYTE data[] = "x";
  HKEY sub = nullptr;
  char name[16];
  DWORD nchars = sizeof name;
  const struct {
    REGSAM access;
    std::function<LSTATUS(HKEY)> call;
    LSTATUS expected;
  } cases[] = {
      {KEY_READ, [&](HKEY k) { return RegSetValueExA(k, "v", 0, REG_SZ, data, sizeof data); }, ERROR_ACCESS_DENIED},
      {KEY_READ, [&](HKEY k) { return RegDeleteValueA(k, "v"); }, ERROR_ACCESS_DENIED},
      {KEY_READ, [&](HKEY k) { return RegCreateKeyExA(k, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr); },
       ERROR_ACCESS_DENIED},
      {KEY_READ, [&](HKEY k) { return RegSetValueA(k, "New", REG_SZ, "x", 0); }, ERROR_ACCESS_DENIED},
      {KEY_READ, [&](HKEY k) { return RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr); }, ERROR_SUCCESS},
      // Opening an existing subkey creates nothing, so it needs no right to create.
      {KEY_READ,
       [&](HKEY k) {
         const LSTATUS s = RegCreateKeyExA(k, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
         RegCloseKey(sub);
         return s;
       },
       ERROR_SUCCESS},
      {KEY_SET_VALUE, [&](HKEY k) { return RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr); }, ERROR_ACCESS_DENIED},
      {KEY_SET_VALUE, [&](HKEY k) { return RegEnumKeyExA(k, 0, name, &nchars, nullptr, nullptr, nullptr, nullptr); },
       ERROR_ACCESS_DENIED},
      {KEY_WRITE, [&](HKEY k) { return RegSetValueExA(k, "v", 0, REG_SZ, data, sizeof data); }, ERROR_SUCCESS},
      {MAXIMUM_ALLOWED, [&](HKEY k) { return RegDeleteValueA(k, "v"); }, ERROR_SUCCESS},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "access " << std::hex << c.access);
    ASSERT_EQ(set_string(HKEY_CURRENT_USER, "R", "v", "1"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, c.access, &key), ERROR_SUCCESS);
    EXPECT_EQ(c.call(key), c.expected);
    RegCloseKey(key);
  }
  EXPECT_EQ(subkey_names(HKEY_CURRENT_USER, "R"), std::vector<std::string>{"Existing"});
}

TEST_F(RegistryTest, BadHandlesPathsAndArgumentsAreRefused) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "H", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  int not_a_key = 0;
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(&not_a_key), "H", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "H", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  const std::string longest(255, 'n');
  const struct {
    std::string path;
    LSTATUS expected;
  } paths[] = {
      {"\\Lead", ERROR_BAD_PATHNAME},
      {"A\\\\B", ERROR_BAD_PATHNAME},
      {longest + "n", ERROR_BAD_PATHNAME},
      {"Trailing\\", ERROR_SUCCESS},
      {longest, ERROR_SUCCESS},
  };
  for (const auto &p : paths) {
    SCOPED_TRACE(p.path);
    key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, p.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              p.expected);
    EXPECT_EQ(key != nullptr, p.expected == ERROR_SUCCESS);
    if (key != nullptr) RegCloseKey(key);
  }
  EXPECT_EQ(subkey_names(HKEY_CURRENT_USER, ""), (std::vector<std::string>{"H", longest, "Trailing"}));
}

TEST_F(RegistryTest, OldSetValueSetsTheDefaultOfASubkeyFromTheText) {
  // cbData is ignored: the text's own length (with its NUL) is stored.
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "KESTRAVON.Quillora.1\\CLSID", REG_SZ, "{1234}", 99), ERROR_SUCCESS);
  const regtest::ReadValue read = read_value(HKEY_CLASSES_ROOT, "KESTRAVON.Quillora.1\\CLSID", "");
  ASSERT_EQ(read.status, ERROR_SUCCESS);
  EXPECT_EQ(read.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(read.text(), std::string("{1234}\0", 7));
  EXPECT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "X", REG_DWORD, "1", 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(subkey_names(HKEY_CLASSES_ROOT, ""), std::vector<std::string>{"KESTRAVON.Quillora.1"});
}

}  // namespace
