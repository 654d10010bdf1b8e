// modules_test.cc - catches modules not loaded from Windows paths, handles that differ between a load and an address in the module, exports found in a dependency, missing or wrong last-error codes, resources found in the wrong module or under the wrong type, and LoadStringA or GetModuleFileNameA writing past their buffers.
#include "platform/modules/modules.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/base/last_error.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr DWORD kUnset = 0xDEADBEEF;

const char kProgramTypeLib[] = "program typelib";
const ResourceEntry kProgramResources[] = {
    {RT_STRING, 1, "program string one", sizeof "program string one"},
    {RT_STRING, 7, "0123456789", sizeof "0123456789"},
    {"TYPELIB", 1, kProgramTypeLib, sizeof kProgramTypeLib},
};
PLATFORM_MODULE_RESOURCES(kProgramResources);

std::string windows_syntax(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string real(const char *path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : "";
}

// The test module, loaded for the life of one test.
class ModulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryExA(windows_syntax(MODULES_TEST_LIBRARY).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(library_, nullptr) << GetLastError();
  }
  void TearDown() override { EXPECT_TRUE(FreeLibrary(library_)); }

  template <typename Function>
  Function *get(const char *name) {
    // Through void (*)(), the one function type GCC lets any other be cast from without warning.
    return reinterpret_cast<Function *>(reinterpret_cast<void (*)()>(GetProcAddress(library_, name)));
  }

  HMODULE library_ = nullptr;
};

TEST_F(ModulesTest, AModuleLoadedByItsWindowsPathIsOneHandleWithItsExports) {
  auto *answer = get<int()>("library_answer");
  auto *address = get<const void *()>("library_address");
  ASSERT_NE(answer, nullptr);
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(answer(), 42);
  // The module's own view of itself (its instance handle) is the handle its loader got.
  EXPECT_EQ(module_handle_of(address()), library_);
  HMODULE again = LoadLibraryA(MODULES_TEST_LIBRARY);
  EXPECT_EQ(again, library_);
  EXPECT_TRUE(FreeLibrary(again));

  char name[PATH_MAX];
  const DWORD length = GetModuleFileNameA(library_, name, sizeof name);
  EXPECT_EQ(std::string(name, length), real(MODULES_TEST_LIBRARY));
}

TEST_F(ModulesTest, FailuresReturnNothingAndSetTheLastError) {
  testsupport::ScratchFolder scratch("platform_modules");
  const std::string &folder = scratch.path();
  const std::string text_file = std::string(folder) + "/not_a_module.ocx";
  std::ofstream(text_file) << "MZ this is no shared library";
  HMODULE base = LoadLibraryA(MODULES_TEST_BASE);
  ASSERT_NE(base, nullptr);

  const struct {
    const char *what;
    std::function<bool()> call;  // true when the call reported failure
    DWORD error;
  } cases[] = {
      {"missing module", [&] { return LoadLibraryExA((std::string(folder) + "\\quillora.ocx").c_str(), nullptr, 0) == nullptr; },
       ERROR_MOD_NOT_FOUND},
      {"not a shared library", [&] { return LoadLibraryA(text_file.c_str()) == nullptr; }, ERROR_BAD_EXE_FORMAT},
      {"no path", [] { return LoadLibraryA(nullptr) == nullptr; }, ERROR_INVALID_PARAMETER},
      {"a file handle", [] { return LoadLibraryExA(MODULES_TEST_LIBRARY, INVALID_HANDLE_VALUE, 0) == nullptr; },
       ERROR_INVALID_PARAMETER},
      {"missing export", [&] { return GetProcAddress(library_, "DllUnregisterServer") == nullptr; }, ERROR_PROC_NOT_FOUND},
      {"an export of a dependency only", [&] { return GetProcAddress(library_, "base_only_export") == nullptr; },
       ERROR_PROC_NOT_FOUND},
      {"an ordinal", [&] { return GetProcAddress(library_, MAKEINTRESOURCEA(1)) == nullptr; }, ERROR_PROC_NOT_FOUND},
      {"freeing no module", [] { return !FreeLibrary(nullptr); }, ERROR_INVALID_HANDLE},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(kUnset);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  // The dependency's export is found through the dependency itself.
  EXPECT_NE(GetProcAddress(base, "base_only_export"), nullptr);
  EXPECT_TRUE(FreeLibrary(base));
  std::filesystem::remove_all(folder);
}

std::string resource_bytes(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC found = FindResourceA(module, name, type);
  if (found == nullptr) return "";
  const char *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
  return std::string(data, SizeofResource(module, found));
}

TEST_F(ModulesTest, ResourcesAreFoundInTheirOwnModuleOnly) {
  const HMODULE program = module_handle_of(kProgramResources);
  ASSERT_NE(program, nullptr);
  const HMODULE base = LoadLibraryA(MODULES_TEST_BASE);
  ASSERT_NE(base, nullptr);
  const struct {
    const char *what;
    HMODULE module;
    LPCSTR name;
    LPCSTR type;
    std::string bytes;  // empty when not found
    DWORD error;
  } cases[] = {
      {"program by NULL", nullptr, MAKEINTRESOURCEA(1), "TYPELIB", std::string(kProgramTypeLib, sizeof kProgramTypeLib), 0},
      {"program by its handle", program, MAKEINTRESOURCEA(1), "TYPELIB",
       std::string(kProgramTypeLib, sizeof kProgramTypeLib), 0},
      {"string type in another case", library_, MAKEINTRESOURCEA(1), "typelib", std::string("TLB\0x", 5), 0},
      {"integer type", library_, MAKEINTRESOURCEA(131), RT_BITMAP, std::string("BM-library", 11), 0},
      {"# forms of name and type", library_, "#131", "#2", std::string("BM-library", 11), 0},
      {"a library's resource is not the program's", nullptr, MAKEINTRESOURCEA(131), RT_BITMAP, "",
       ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"missing number", library_, MAKEINTRESOURCEA(132), RT_BITMAP, "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a string name names nothing", library_, "BITMAP131", RT_BITMAP, "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {"missing type", library_, MAKEINTRESOURCEA(1), RT_DIALOG, "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"an integer type is no string type", library_, MAKEINTRESOURCEA(1), "#5", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"a module without resources", base, MAKEINTRESOURCEA(1), RT_STRING, "", ERROR_RESOURCE_DATA_NOT_FOUND},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(kUnset);
    EXPECT_EQ(resource_bytes(c.module, c.name, c.type), c.bytes);
    if (c.bytes.empty()) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  EXPECT_TRUE(FreeLibrary(base));
}

TEST_F(ModulesTest, LoadStringCopiesAtMostOneLessThanTheBufferAndTerminates) {
  const struct {
    HMODULE module;
    UINT id;
    int buffer_chars;
    int copied;
    const char *text;
  } cases[] = {
      {nullptr, 7, 100, 10, "0123456789"},
      {nullptr, 7, 11, 10, "0123456789"},
      {nullptr, 7, 10, 9, "012345678"},
      {nullptr, 7, 2, 1, "0"},
      {nullptr, 7, 1, 0, ""},
      {nullptr, 1, 100, 18, "program string one"},
      {library_, 1, 100, 18, "library string one"},
      {library_, 2, 100, 0, ""},
      {library_, 3, 100, 0, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " buffer " << c.buffer_chars);
    char block[128];
    std::memset(block, '#', sizeof block);
    EXPECT_EQ(LoadStringA(c.module, c.id, block, c.buffer_chars), c.copied);
    EXPECT_STREQ(block, c.text);
    for (size_t i = static_cast<size_t>(c.buffer_chars); i < sizeof block; ++i) ASSERT_EQ(block[i], '#') << i;
  }
  SetLastError(kUnset);
  char buffer[8];
  EXPECT_EQ(LoadStringA(library_, 3, buffer, sizeof buffer), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(ModuleReload, AModuleLoadedAgainFindsItsTableAgain) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    HMODULE library = LoadLibraryA(MODULES_TEST_LIBRARY);
    ASSERT_NE(library, nullptr);
    char text[32];
    EXPECT_EQ(LoadStringA(library, 1, text, sizeof text), 18);
    EXPECT_STREQ(text, "library string one");
    EXPECT_TRUE(FreeLibrary(library));
  }
}

const ResourceEntry kScopedResources[] = {{RT_DIALOG, 900, "scoped", 7}};

TEST(ModuleReload, ATableIsForgottenWhenItsRegistrationEnds) {
  // A module's registration ends when the module is unloaded; a table kept after that would
  // point into unmapped memory.
  {
    const ModuleResourcesRegistration registration(kScopedResources);
    EXPECT_EQ(resource_bytes(nullptr, MAKEINTRESOURCEA(900), RT_DIALOG), std::string("scoped", 7));
  }
  SetLastError(kUnset);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(900), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(ModuleFileNames, TheProgramsNameAndTruncationFollowWindows) {
  const std::string exe = real("/proc/self/exe");
  ASSERT_FALSE(exe.empty());
  char name[PATH_MAX];
  EXPECT_EQ(GetModuleFileNameA(nullptr, name, sizeof name), exe.size());
  EXPECT_EQ(name, exe);
  EXPECT_EQ(GetModuleFileNameA(module_handle_of(kProgramResources), name, sizeof name), exe.size());
  EXPECT_EQ(name, exe);

  // Too small: cut to fit with its NUL, the buffer size returned, ERROR_INSUFFICIENT_BUFFER.
  char small[8];
  std::memset(small, '#', sizeof small);
  SetLastError(kUnset);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small, 5), exe.substr(0, 4) + '\0');
  EXPECT_EQ(small[5], '#');
}

TEST(ShortPathNames, AreTheLongPathCopiedOrTheSizeNeeded) {
  const std::string path = windows_syntax(MODULES_TEST_LIBRARY);
  char buffer[PATH_MAX];
  EXPECT_EQ(GetShortPathNameA(path.c_str(), buffer, sizeof buffer), path.size());
  EXPECT_EQ(buffer, path);
  // Too small: nothing copied, the size with the NUL returned.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetShortPathNameA(path.c_str(), buffer, static_cast<DWORD>(path.size())), path.size() + 1);
  EXPECT_EQ(buffer[0], '#');
  SetLastError(kUnset);
  EXPECT_EQ(GetShortPathNameA("/no/such/quillora.ocx", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
