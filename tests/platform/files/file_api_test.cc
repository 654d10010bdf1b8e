// file_api_test.cc - catches dispositions that create, keep or truncate the wrong file, folders and
// symbolic links opened or changed, attributes turned into the wrong mode (or a needless change) by
// path or by handle, times set or read wrongly, and failures that report no or the wrong last error.
#include "platform/files/file_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "test_support.h"

namespace {

constexpr DWORD kUnset = 0xDEADBEEF;

class FileApiTest : public FolderTest {
 protected:
  time_t mtime_of(const std::string &name) const {
    struct stat st = {};
    return stat(path(name).c_str(), &st) == 0 ? st.st_mtime : -1;
  }
  HANDLE open(const std::string &name, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(windows_path(name).c_str(), access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
  }
};

TEST_F(FileApiTest, DispositionsCreateKeepOrTruncate) {
  const struct {
    DWORD disposition;
    DWORD access;
    bool exists;  // the file holds "old" beforehand
    DWORD error;  // ERROR_SUCCESS when the open succeeds
    std::optional<std::string> content;
  } cases[] = {
      {CREATE_NEW, GENERIC_WRITE, false, ERROR_SUCCESS, ""},
      {CREATE_NEW, GENERIC_WRITE, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, GENERIC_WRITE, false, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE, true, ERROR_SUCCESS, ""},
      {OPEN_EXISTING, GENERIC_READ, false, ERROR_FILE_NOT_FOUND, std::nullopt},
      {OPEN_EXISTING, GENERIC_READ | GENERIC_WRITE, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, GENERIC_WRITE, false, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, GENERIC_READ, true, ERROR_SUCCESS, "old"},
      {TRUNCATE_EXISTING, GENERIC_WRITE, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, GENERIC_WRITE, false, ERROR_FILE_NOT_FOUND, std::nullopt},
      {TRUNCATE_EXISTING, GENERIC_READ, true, ERROR_INVALID_PARAMETER, "old"},
      {0, GENERIC_READ, true, ERROR_INVALID_PARAMETER, "old"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << " exists " << c.exists);
    std::filesystem::remove(path("f"));
    if (c.exists) write_file(path("f"), "old");
    SetLastError(kUnset);
    const HANDLE handle = open("f", c.access, c.disposition);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), c.error);
    } else {
      EXPECT_NE(handle, INVALID_HANDLE_VALUE);
      EXPECT_NE(handle, nullptr);
      EXPECT_TRUE(CloseHandle(handle));
    }
    EXPECT_EQ(read_file(path("f")), c.content);
  }
}

TEST_F(FileApiTest, ReadOnlyAttributeOnCreationGivesNoWritePermission) {
  const ScopedUmask mask(022);
  for (const auto &[attributes, mode] : {std::pair{FILE_ATTRIBUTE_READONLY, 0444}, {FILE_ATTRIBUTE_NORMAL, 0644}}) {
    const std::string name = numbered("m", attributes);
    const HANDLE handle = open(name, GENERIC_WRITE, CREATE_NEW, attributes);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(mode_of(path(name)), static_cast<mode_t>(mode));
    CloseHandle(handle);
  }
}

// Each function on each kind of bad path, with the last error Windows gives (ERROR_SUCCESS: succeeds).
TEST_F(FileApiTest, FailuresSetTheLastError) {
  write_file(path("file"), "x");
  std::filesystem::create_directory(path("folder"));
  const std::function<bool(const char *)> calls[] = {
      [](const char *p) {
        const HANDLE h = CreateFileA(p, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h != INVALID_HANDLE_VALUE && CloseHandle(h);
      },
      [](const char *p) { return GetFileAttributesA(p) != INVALID_FILE_ATTRIBUTES; },
      [](const char *p) { return SetFileAttributesA(p, 0) != FALSE; },
      [](const char *p) { return DeleteFileA(p) != FALSE; },
  };
  const struct {
    const char *name;
    DWORD errors[4];  // CreateFileA, GetFileAttributesA, SetFileAttributesA, DeleteFileA
  } cases[] = {
      {"missing", {ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}},
      {"nofolder/f", {ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {"file/f", {ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {"folder", {ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED}},
      // An ordinary name on Linux, of a file that does not exist.
      {"a*b", {ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}},
  };
  for (const auto &c : cases) {
    for (size_t i = 0; i < std::size(calls); ++i) {
      SCOPED_TRACE(testing::Message() << c.name << ", function " << i);
      SetLastError(kUnset);
      const bool succeeded = calls[i](windows_path(c.name).c_str());
      EXPECT_EQ(succeeded, c.errors[i] == ERROR_SUCCESS);
      if (!succeeded) {
        EXPECT_EQ(GetLastError(), c.errors[i]);
      }
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(path("folder")));
  EXPECT_TRUE(DeleteFileA(windows_path("file").c_str()));
  EXPECT_FALSE(std::filesystem::exists(path("file")));
}

TEST_F(FileApiTest, SymbolicLinksAreNotFollowedWhenAsked) {
  write_file(path("target"), "x");
  chmod(path("target").c_str(), 0644);
  std::filesystem::create_symlink(path("target"), path("link"));

  SetLastError(kUnset);
  EXPECT_EQ(open("link", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
  SetLastError(kUnset);
  EXPECT_FALSE(SetFileAttributesA(windows_path("link").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
  EXPECT_EQ(mode_of(path("target")), 0644u);

  const HANDLE followed = open("link", GENERIC_READ, OPEN_EXISTING);
  EXPECT_NE(followed, INVALID_HANDLE_VALUE);
  CloseHandle(followed);
}

TEST_F(FileApiTest, AttributesBecomeWritePermissions) {
  const struct {
    mode_t before;
    DWORD attributes;
    mode_t after;
    DWORD read_back;
  } cases[] = {
      {0644, FILE_ATTRIBUTE_READONLY, 0444, FILE_ATTRIBUTE_READONLY},
      {0600, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 0400, FILE_ATTRIBUTE_READONLY},
      {0444, 0, 0644, FILE_ATTRIBUTE_NORMAL},
      {0444, FILE_ATTRIBUTE_NORMAL, 0644, FILE_ATTRIBUTE_NORMAL},
      {0400, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0600, FILE_ATTRIBUTE_NORMAL},
      {0664, FILE_ATTRIBUTE_ARCHIVE, 0664, FILE_ATTRIBUTE_NORMAL},
      {0464, 0, 0464, FILE_ATTRIBUTE_READONLY},  // a group write bit leaves the mode alone
  };
  // By path, and by handle together with a time (where 0 leaves the attributes alone, as on Windows).
  constexpr int64_t k2025 = 133801632000000000;  // 2025-01-01 00:00:00 UTC
  const std::function<bool(DWORD)> setters[] = {
      [this](DWORD attributes) { return SetFileAttributesA(windows_path("f").c_str(), attributes) != 0; },
      [this](DWORD attributes) {
        const HANDLE handle = open("f", GENERIC_READ, OPEN_EXISTING);
        FILE_BASIC_INFO info = {};
        info.LastWriteTime.QuadPart = k2025;
        info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
        const bool set = SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != 0;
        CloseHandle(handle);
        return set && mtime_of("f") == 1735689600;
      },
  };
  for (const auto &c : cases) {
    for (size_t i = 0; i < std::size(setters); ++i) {
      SCOPED_TRACE(testing::Message() << std::oct << c.before << " with " << std::hex << c.attributes << " setter " << i);
      write_file(path("f"), "x");
      chmod(path("f").c_str(), c.before);
      EXPECT_TRUE(setters[i](c.attributes));
      EXPECT_EQ(mode_of(path("f")), c.after);
      EXPECT_EQ(GetFileAttributesA(windows_path("f").c_str()), c.read_back);
    }
  }
  std::filesystem::create_directory(path("d"));
  EXPECT_TRUE(SetFileAttributesA(windows_path("d").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA(windows_path("d").c_str()), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(SetFileAttributesA(windows_path("d").c_str(), 0));
  EXPECT_EQ(GetFileAttributesA(windows_path("d").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

// A mode change moves the status-change time even when the mode stays the same, so an unmoved time
// shows the call made no change at all.
TEST_F(FileApiTest, AttributesThatAlreadyHoldChangeNothing) {
  write_file(path("f"), "x");
  chmod(path("f").c_str(), 0644);
  struct stat before, after;
  ASSERT_EQ(stat(path("f").c_str(), &before), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // beyond the file system's clock step
  EXPECT_TRUE(SetFileAttributesA(windows_path("f").c_str(), FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(stat(path("f").c_str(), &after), 0);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

FILETIME filetime(uint64_t ticks) { return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

uint64_t ticks_of(const FILETIME &time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

TEST_F(FileApiTest, SetFileTimeSetsWhatIsGivenAndGetFileTimeReadsIt) {
  constexpr uint64_t k2024 = 133536836960000000 + 1234567;  // 2024-02-29 12:34:56.1234567 UTC
  constexpr uint64_t k1950 = 110276064000000000;            // 1950-06-15 08:00:00 UTC
  constexpr timespec kOld = {1'000'000'000, 0};             // what both times are beforehand
  const struct {
    std::optional<uint64_t> access, write;  // nothing: a null pointer
    timespec atime, mtime;
  } cases[] = {
      {std::nullopt, k2024, kOld, {1709210096, 123456700}},
      {k1950, std::nullopt, {-616867200, 0}, kOld},
      {0, k1950, kOld, {-616867200, 0}},  // a zero time is left alone
      {k2024, k2024, {1709210096, 123456700}, {1709210096, 123456700}},
  };
  for (const auto &c : cases) {
    write_file(path("f"), "x");
    const timespec old_times[2] = {kOld, kOld};
    ASSERT_EQ(utimensat(AT_FDCWD, path("f").c_str(), old_times, 0), 0);
    const HANDLE handle = open("f", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const FILETIME access = filetime(c.access.value_or(0)), write = filetime(c.write.value_or(0));
    EXPECT_TRUE(SetFileTime(handle, &write, c.access ? &access : nullptr, c.write ? &write : nullptr));

    struct stat st;
    ASSERT_EQ(stat(path("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, c.atime.tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, c.atime.tv_nsec);
    EXPECT_EQ(st.st_mtim.tv_sec, c.mtime.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, c.mtime.tv_nsec);

    FILETIME read_write, read_creation;
    EXPECT_TRUE(GetFileTime(handle, &read_creation, nullptr, &read_write));
    if (c.write && *c.write != 0) {
      EXPECT_EQ(ticks_of(read_write), *c.write);
    }
    EXPECT_EQ(ticks_of(read_creation),
              116444736000000000 + st.st_ctim.tv_sec * 10'000'000ull + st.st_ctim.tv_nsec / 100);
    EXPECT_TRUE(CloseHandle(handle));
  }
}

TEST_F(FileApiTest, BadHandlesAndTimesAreRefused) {
  const FILETIME no_time = filetime(0x8000000000000000);
  FILETIME time;
  for (const HANDLE handle : {HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
    SetLastError(kUnset);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kUnset);
    EXPECT_FALSE(GetFileTime(handle, nullptr, nullptr, &time));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  write_file(path("f"), "x");
  const HANDLE handle = open("f", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  SetLastError(kUnset);
  EXPECT_FALSE(SetFileTime(handle, nullptr, nullptr, &no_time));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(CloseHandle(handle));
  SetLastError(kUnset);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
