// registry_fuzz.cc - fuzzes the hive file reader, alone and behind the registry functions, with arbitrary bytes as a hive file.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"

/*
 * Every input is written as the local machine hive of a private registry root and then:
 *   - parsed alone: a file that parses must serialize back to exactly its own bytes (the layout
 *     has one encoding per tree), and a file that does not must be refused by every call below;
 *   - walked through the registry functions: every key's subkeys enumerated and its values
 *     queried, through buffers of exactly the size reported, up to a bound on the keys visited;
 *   - written to: a value set on a good hive must read back and leave a file that still parses;
 *     on a damaged hive the set must fail with ERROR_BADDB and leave the file's bytes as they were.
 */
namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "registry_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

std::string g_root;

void remove_root() { std::filesystem::remove_all(g_root); }

// The hive file in a registry root of this process's own, removed when the process exits.
const std::string &hive_path() {
  static const std::string path = [] {
    g_root = (std::filesystem::temp_directory_path() / "registry_fuzz_XXXXXX").string();
    check(mkdtemp(g_root.data()) != nullptr, "no temporary folder");
    setenv("QUILLORA_REGISTRY_ROOT", g_root.c_str(), 1);
    std::atexit(remove_root);
    return g_root + "/local_machine";
  }();
  return path;
}

std::string file_bytes() {
  std::ifstream in(hive_path(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr int kMaxKeysVisited = 64;

void query_value(HKEY key, const char *name) {
  DWORD type = 0;
  DWORD nbytes = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &nbytes) != ERROR_SUCCESS) return;
  std::vector<BYTE> data(nbytes);
  DWORD given = nbytes;
  check(RegQueryValueExA(key, name, nullptr, &type, data.data(), &given) == ERROR_SUCCESS && given == nbytes,
        "a value did not fit the size reported for it");
}

void walk(HKEY key, int *visited, bool damaged) {
  query_value(key, nullptr);
  query_value(key, "CWD");
  for (DWORD i = 0; *visited < kMaxKeysVisited; ++i) {
    char name[256];
    DWORD nchars = sizeof name;
    const LSTATUS status = RegEnumKeyExA(key, i, name, &nchars, nullptr, nullptr, nullptr, nullptr);
    if (damaged) check(status == ERROR_BADDB, "a damaged hive was enumerated");
    if (status != ERROR_SUCCESS) return;
    check(nchars < sizeof name && name[nchars] == '\0', "an enumerated name is not terminated");
    ++*visited;
    HKEY subkey = nullptr;
    check(RegOpenKeyExA(key, name, 0, KEY_READ, &subkey) == ERROR_SUCCESS, "an enumerated key does not open");
    walk(subkey, visited, damaged);
    RegCloseKey(subkey);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  {
    std::ofstream out(hive_path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  }
  hive::Key root;
  const bool parsed = hive::parse(data, size, &root);
  if (parsed) {
    const std::vector<BYTE> written = hive::serialize(root);
    check(written.size() == size && std::equal(written.begin(), written.end(), data),
          "a parsed hive does not serialize to its own bytes");
  }

  int visited = 0;
  walk(HKEY_LOCAL_MACHINE, &visited, !parsed);

  const BYTE value[] = "fuzz";
  const LSTATUS status = RegSetValueExA(HKEY_LOCAL_MACHINE, "Fuzz", 0, REG_SZ, value, sizeof value);
  if (!parsed) {
    check(status == ERROR_BADDB, "a set on a damaged hive did not fail with ERROR_BADDB");
    const std::string after = file_bytes();
    check(after.size() == size && std::memcmp(after.data(), data, size) == 0, "a damaged hive was overwritten");
    return 0;
  }
  check(status == ERROR_SUCCESS, "a set on a good hive failed");
  BYTE back[sizeof value] = {};
  DWORD nbytes = sizeof back;
  check(RegQueryValueExA(HKEY_LOCAL_MACHINE, "fuzz", nullptr, nullptr, back, &nbytes) == ERROR_SUCCESS &&
            nbytes == sizeof value && std::equal(back, back + nbytes, value),
        "a value set does not read back");
  const std::string after = file_bytes();
  check(hive::parse(reinterpret_cast<const BYTE *>(after.data()), after.size(), &root), "a write left a damaged hive");
  return 0;
}
