// registry_files_test.cc - catches a reader that accepts damaged hive files or lets a write replace one, writers in two processes losing each other's keys, a failed step of a write that leaves a part of it, files in the wrong folder or readable by others, and temporary files left behind.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/data_root.h"
#include "platform/registry/hive_file.h"
#include "registry_test_support.h"
#include "tests/support/fault_loop.h"

namespace {

using regtest::file_bytes;
using regtest::put_file;
using regtest::RegistryTest;
using regtest::set_string;
using regtest::subkey_names;

// A test-side encoder of the hive file layout, written from its description and independent of
// the registry's own writer, so that each damage below is exactly one fault in a file that is
// otherwise right.
std::string le(uint64_t value, size_t nbytes) {
  std::string out;
  for (size_t i = 0; i < nbytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::string value_record(const std::string &name, uint32_t type, const std::string &data) {
  return le(name.size(), 2) + name + le(type, 4) + le(data.size(), 4) + data;
}

std::string key_record(const std::string &name, const std::vector<std::string> &values,
                       const std::vector<std::string> &subkeys) {
  std::string out = le(name.size(), 2) + name + le(0x01D0000000000000ull, 8) + le(values.size(), 4);
  for (const std::string &value : values) out += value;
  out += le(subkeys.size(), 4);
  for (const std::string &subkey : subkeys) out += subkey;
  return out;
}

std::string hive(const std::string &body, uint32_t version = 1, const std::string &magic = "QREG") {
  return magic + le(version, 4) + le(body.size(), 4) + body;
}

std::string root(const std::vector<std::string> &subkeys, const std::vector<std::string> &values = {}) {
  return key_record("", values, subkeys);
}

std::string software_with(const std::vector<std::string> &values) {
  return key_record("SOFTWARE", values, {});
}

// A chain of `depth` keys named "k" below the root.
std::string chain(size_t depth) {
  std::string key = key_record("k", {}, {});
  for (size_t i = 1; i < depth; ++i) key = key_record("k", {}, {key});
  return key;
}

TEST_F(RegistryTest, TheReaderReadsTheDocumentedLayout) {
  ASSERT_EQ(platform::make_private_folders(root_), ERROR_SUCCESS);
  put_file(hive_file("local_machine"),
           hive(root({key_record("SOFTWARE", {value_record("CWD", REG_SZ, std::string("C:\\X\0", 5))},
                                 {key_record("A", {}, {}), key_record("b", {}, {})})})));
  const regtest::ReadValue read = regtest::read_value(HKEY_LOCAL_MACHINE, "software", "cwd");
  ASSERT_EQ(read.status, ERROR_SUCCESS);
  EXPECT_EQ(read.text(), std::string("C:\\X\0", 5));
  EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "SOFTWARE"), (std::vector<std::string>{"A", "b"}));
}

// Every call on the damaged hive fails with ERROR_BADDB and the file keeps its bytes; the other
// hives go on working.
void expect_damaged(const std::string &file, const std::string &bytes) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const BYTE data[] = "x";
  char name[16];
  DWORD nchars = sizeof name;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_BADDB);
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, data, sizeof data), ERROR_BADDB);
  EXPECT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, "New", REG_SZ, "x", 0), ERROR_BADDB);
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "v", nullptr, nullptr, nullptr, nullptr), ERROR_BADDB);
  EXPECT_EQ(RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &nchars, nullptr, nullptr, nullptr, nullptr), ERROR_BADDB);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_BADDB);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_BADDB);
  EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, "v"), ERROR_BADDB);
  EXPECT_EQ(file_bytes(file), bytes) << "the damaged file was overwritten";
  EXPECT_EQ(set_string(HKEY_CURRENT_USER, "Elsewhere", "v", "fine"), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DamagedFilesGiveBadDbAndAreNeverReplaced) {
  const std::string sz = std::string("x\0", 2);
  const struct {
    const char *what;
    std::string bytes;
  } damaged[] = {
      {"empty file", ""},
      {"header only, cut", "QREG" + le(1, 4)},
      {"bad magic", hive(root({}), 1, "QREH")},
      {"unknown version", hive(root({}), 2)},
      {"body length one short", "QREG" + le(1, 4) + le(root({}).size() - 1, 4) + root({})},
      {"body length one long", "QREG" + le(1, 4) + le(root({}).size() + 1, 4) + root({})},
      {"a byte after the root", hive(root({}) + std::string(1, '\0'))},
      {"the root has a name", hive(key_record("R", {}, {}))},
      {"value data runs past the end", hive(root({}, {le(1, 2) + "v" + le(REG_SZ, 4) + le(100, 4) + sz}))},
      {"key name runs past the end", hive(root({le(200, 2) + "SOFTWARE"}))},
      {"value count beyond what is left", hive(le(0, 2) + le(0, 8) + le(0x10000000, 4) + le(0, 4))},
      {"subkey count beyond what is left", hive(le(0, 2) + le(0, 8) + le(0, 4) + le(0xFFFFFFFF, 4))},
      {"empty key name", hive(root({key_record("", {}, {})}))},
      {"backslash in a key name", hive(root({key_record("a\\b", {}, {})}))},
      {"key name of 256 bytes", hive(root({key_record(std::string(256, 'k'), {}, {})}))},
      {"NUL in a value name", hive(root({software_with({value_record(std::string("a\0b", 3), REG_SZ, sz)})}))},
      {"two subkeys differing in case", hive(root({key_record("A", {}, {}), key_record("a", {}, {})}))},
      {"subkeys out of order", hive(root({key_record("b", {}, {}), key_record("a", {}, {})}))},
      {"two values differing in case", hive(root({software_with({value_record("V", REG_SZ, sz), value_record("v", REG_SZ, sz)})}))},
      {"nesting deeper than 512", hive(root({chain(513)}))},
  };
  ASSERT_EQ(platform::make_private_folders(root_), ERROR_SUCCESS);
  for (const auto &d : damaged) {
    SCOPED_TRACE(d.what);
    put_file(hive_file("local_machine"), d.bytes);
    expect_damaged(hive_file("local_machine"), d.bytes);
  }
  // The deepest nesting allowed is a good file.
  put_file(hive_file("local_machine"), hive(root({chain(512)})));
  EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, ""), std::vector<std::string>{"k"});
}

TEST_F(RegistryTest, EveryTruncationOfAWrittenHiveIsBadDb) {
  ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", "CWD", "C:\\X"), ERROR_SUCCESS);
  ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", nullptr, "default"), ERROR_SUCCESS);
  const std::optional<std::string> whole = file_bytes(hive_file("local_machine"));
  ASSERT_TRUE(whole.has_value());
  for (size_t length = 0; length < whole->size(); ++length) {
    SCOPED_TRACE(testing::Message() << "cut to " << length << " of " << whole->size());
    put_file(hive_file("local_machine"), whole->substr(0, length));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_BADDB);
    ASSERT_EQ(set_string(HKEY_LOCAL_MACHINE, "SOFTWARE", "v", "x"), ERROR_BADDB);
    ASSERT_EQ(file_bytes(hive_file("local_machine")), whole->substr(0, length));
  }
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kKeysPerWriter = 200;
  auto writer = [](int id) {
    return [id] {
      for (int i = 0; i < kKeysPerWriter; ++i) {
        const std::string path = "W\\" + std::to_string(id) + "-" + std::to_string(i);
        if (RegSetValueA(HKEY_LOCAL_MACHINE, path.c_str(), REG_SZ, std::to_string(i).c_str(), 0) != ERROR_SUCCESS)
          return 1;
      }
      return 0;
    };
  };
  // Both children start before either is waited for, so their updates interleave.
  const pid_t first = fork();
  if (first == 0) _exit(writer(1)());
  const pid_t second = fork();
  if (second == 0) _exit(writer(2)());
  for (pid_t child : {first, second}) {
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(subkey_names(HKEY_LOCAL_MACHINE, "W").size(), 2u * kKeysPerWriter);
  for (int id : {1, 2}) {
    for (int i = 0; i < kKeysPerWriter; ++i) {
      const std::string path = "W\\" + std::to_string(id) + "-" + std::to_string(i);
      ASSERT_EQ(regtest::read_value(HKEY_LOCAL_MACHINE, path.c_str(), nullptr).text(), std::to_string(i) + '\0') << path;
    }
  }
}

// The keys and values of every hive file, without the times of last write, which differ from run to run.
std::string hives_without_times(const std::string &root) {
  const std::function<void(hive::Key &)> clear_times = [&](hive::Key &key) {
    key.last_write = {};
    for (hive::Key &subkey : key.subkeys) clear_times(subkey);
  };
  std::string state;
  for (const char *name : {"classes_root", "current_user", "local_machine"}) {
    const std::optional<std::string> bytes = file_bytes(root + "/" + name);
    hive::Key key;
    if (!bytes) {
      state += std::string(name) + " missing;";
    } else if (!hive::parse(reinterpret_cast<const BYTE *>(bytes->data()), bytes->size(), &key)) {
      state += std::string(name) + " damaged;";
    } else {
      clear_times(key);
      const std::vector<BYTE> normal = hive::serialize(key);
      state += std::string(name) + "=" + std::string(normal.begin(), normal.end()) + ";";
    }
  }
  return state;
}

TEST_F(RegistryTest, AFailedStepOfAWriteLeavesTheOldHiveOrTheNewOneAndTheNextWriteSucceeds) {
  ASSERT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", REG_SZ, "old", 0), ERROR_SUCCESS);
  const testsupport::FolderSnapshot old_root(root_);
  // Each write is one call, so one update of one hive.
  const struct {
    const char *what;
    std::function<LSTATUS()> write;
  } writes[] = {
      {"a value changed in a hive file", [] { return RegSetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", REG_SZ, "new", 0); }},
      {"the first key of a hive without a file", [] { return RegSetValueA(HKEY_CLASSES_ROOT, "CLSID", REG_SZ, "x", 0); }},
  };
  for (const auto &write : writes) {
    SCOPED_TRACE(write.what);
    testsupport::FaultLoopWork work;
    work.folder = root_;
    work.reset = [&] { old_root.restore(); };
    work.run = [&] { return write.write() == ERROR_SUCCESS; };
    work.state = [&] { return hives_without_times(root_); };
    testsupport::record_fault_loop(testsupport::fail_every_call(work, EIO));
  }
}

mode_t mode_of(const std::string &path) {
  struct stat st = {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST_F(RegistryTest, HivesLiveUnderTheRootInPrivateFilesWithNothingLeftOver) {
  ASSERT_EQ(set_string(HKEY_CLASSES_ROOT, "CLSID", nullptr, "x"), ERROR_SUCCESS);
  ASSERT_EQ(set_string(HKEY_CLASSES_ROOT, "CLSID", nullptr, "y"), ERROR_SUCCESS);
  EXPECT_EQ(mode_of(root_), 0700u);
  EXPECT_EQ(mode_of(hive_file("classes_root")), 0600u);
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(root_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"classes_root", "classes_root.lock"}));
}

TEST_F(RegistryTest, WithoutTheOverrideTheRootIsUnderTheUserDataRoot) {
  unsetenv("QUILLORA_REGISTRY_ROOT");
  const std::string data_home = base_ + "/data";
  setenv("QUILLORA_DATA_HOME", data_home.c_str(), 1);
  const LSTATUS status = set_string(HKEY_CURRENT_USER, "Software", "v", "x");
  unsetenv("QUILLORA_DATA_HOME");
  ASSERT_EQ(status, ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(data_home + "/registry/current_user"));
  EXPECT_FALSE(std::filesystem::exists(root_));
}

}  // namespace
