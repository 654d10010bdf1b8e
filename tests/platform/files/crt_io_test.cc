// crt_io_test.cc - catches runtime flags or permissions mapped to the wrong open, folders, symbolic
// links and special files opened (or waited on), Linux names refused, opens below a folder that pass
// through a link or lead out, handles leaked to child programs, short reads or writes taken for the
// whole, lost errors and mixed-up seek origins.
#include "platform/files/crt_io.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "test_support.h"

namespace {

class CrtIoTest : public FolderTest {};

// Opens with `flags`, writes "new\n" when the open gives write access, closes: the file's content
// afterwards shows what the flags did.
struct OpenCase {
  const char *name;
  bool exists;  // the file holds "old data" beforehand
  int flags;
  int error;  // 0 when the open succeeds
  std::optional<std::string> content;
};

TEST_F(CrtIoTest, FlagsDecideCreationTruncationAndPosition) {
  const OpenCase cases[] = {
      {"read missing", false, _O_RDONLY, ENOENT, std::nullopt},
      {"read existing", true, _O_RDONLY | _O_BINARY, 0, "old data"},
      {"create", false, _O_WRONLY | _O_CREAT, 0, "new\n"},
      {"extract's flags", false, _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL, 0, "new\n"},
      {"overwrite in place", true, _O_WRONLY | _O_CREAT, 0, "new\ndata"},
      {"text is untranslated", true, _O_RDWR | _O_TEXT | _O_RANDOM, 0, "new\ndata"},
      {"truncate", true, _O_WRONLY | _O_TRUNC, 0, "new\n"},
      {"append", true, _O_WRONLY | _O_APPEND | _O_NOINHERIT, 0, "old datanew\n"},
      {"exclusive, missing", false, _O_WRONLY | _O_CREAT | _O_EXCL, 0, "new\n"},
      {"exclusive, existing", true, _O_WRONLY | _O_CREAT | _O_EXCL, EEXIST, "old data"},
      {"no such access mode", true, 3, EINVAL, "old data"},
      {"unknown flag", false, _O_WRONLY | _O_CREAT | 0x1000, EINVAL, std::nullopt},
  };
  for (const OpenCase &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = path("f");
    std::filesystem::remove(file);
    if (c.exists) write_file(file, "old data");
    errno = 0;
    const int fd = _open(file.c_str(), c.flags, _S_IREAD | _S_IWRITE);
    if (c.error != 0) {
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, c.error);
    } else {
      ASSERT_GE(fd, 0);
      if ((c.flags & (_O_WRONLY | _O_RDWR)) != 0) {
        EXPECT_EQ(_write(fd, "new\n", 4), 4);
      }
      EXPECT_EQ(_close(fd), 0);
    }
    EXPECT_EQ(read_file(file), c.content);
  }
}

TEST_F(CrtIoTest, PermissionGivesModeBeforeUmask) {
  const struct {
    int permission;
    mode_t mask;
    mode_t mode;
  } cases[] = {
      {_S_IREAD | _S_IWRITE, 022, 0644}, {_S_IREAD, 022, 0444}, {_S_IWRITE, 022, 0200},
      {_S_IREAD | _S_IWRITE, 077, 0600}, {_S_IREAD | _S_IWRITE, 0, 0666}, {_S_IWRITE, 0, 0222}, {0, 022, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.permission);
    const ScopedUmask mask(c.mask);
    const std::string file = path(numbered(numbered("p", c.permission) + "_", c.mask));
    const int fd = _open(file.c_str(), _O_WRONLY | _O_CREAT, c.permission);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(mode_of(file), c.mode);
    _close(fd);
  }
}

TEST_F(CrtIoTest, BackslashesSeparateFolders) {
  std::filesystem::create_directories(path("a/b"));
  const int fd = _open(windows_path("a/b/c.txt").c_str(), _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, "x", 1), 1);
  _close(fd);
  EXPECT_EQ(read_file(path("a/b/c.txt")), "x");
}

// An open's result `fd` against the errno expected (0: a handle, closed again).
void expect_open_result(int fd, int error) {
  if (error == 0) {
    EXPECT_GE(fd, 0) << strerror(errno);
    _close(fd);
  } else {
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, error);
  }
}

// Only regular files open, and no open waits: a FIFO would hold a plain open until a peer came.
// Any byte but the separators belongs to a name, as on Linux.
TEST_F(CrtIoTest, OpensRegularFilesOfAnyNameAndNothingElseWithoutWaiting) {
  std::filesystem::create_directory(path("folder"));
  write_file(path("target"), "target");
  std::filesystem::create_symlink(path("target"), path("link"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    int flags;
    int error;  // 0: opens
  } cases[] = {
      {path("folder"), _O_RDONLY, EISDIR},
      {path("folder"), _O_WRONLY, EISDIR},
      {path("folder"), _O_RDWR | _O_CREAT, EISDIR},
      {path("link"), _O_RDONLY | _O_NOFOLLOW, ELOOP},
      {path("link"), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_NOFOLLOW, ELOOP},
      {path("fifo"), _O_RDONLY | _O_BINARY, ENXIO},
      {path("fifo"), _O_WRONLY | _O_CREAT | _O_TRUNC, ENXIO},
      {"/dev/null", _O_WRONLY, ENXIO},
      {path("*"), _O_BINARY | _O_CREAT | _O_RDWR, 0},
      {path("a?b"), _O_CREAT | _O_WRONLY, 0},
      {path("a|b<c>"), _O_CREAT | _O_WRONLY, 0},
      {path("a\"b"), _O_CREAT | _O_WRONLY, 0},
      {path("a\tb"), _O_CREAT | _O_WRONLY, 0},
  };
  alarm(20);  // an open that waits ends the test here
  for (const auto &c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.flags));
    errno = 0;
    expect_open_result(_open(c.path.c_str(), c.flags, _S_IREAD | _S_IWRITE), c.error);
  }
  alarm(0);
  EXPECT_EQ(read_file(path("target")), "target");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 9);
  errno = 0;
  EXPECT_EQ(_open(nullptr, _O_RDONLY, 0), -1);
  EXPECT_EQ(errno, EINVAL);

  // Without _O_NOFOLLOW a link is followed.
  const int fd = _open(path("link").c_str(), _O_RDONLY, 0);
  EXPECT_GE(fd, 0);
  _close(fd);
}

// Names from outside input below a folder the caller chose: the folder may be a link, nothing
// below it may, and nothing leads up out of it.
TEST_F(CrtIoTest, OpensBeneathAFolderThroughNoLink) {
  std::filesystem::create_directories(path("dest/real/deeper"));
  std::filesystem::create_directory(path("elsewhere"));
  std::filesystem::create_directory_symlink(path("elsewhere"), path("dest/sub"));
  std::filesystem::create_directory_symlink(path("elsewhere"), path("dest/real/link"));
  std::filesystem::create_symlink(path("elsewhere/f"), path("dest/last"));
  std::filesystem::create_directory_symlink(path("dest"), path("chosen"));
  const struct {
    const char *folder;
    const char *name;
    int error;  // 0: made
  } cases[] = {
      {"chosen", "f", 0},
      {"dest", "real\\deeper\\f", 0},
      {"dest", "real/./f", 0},
      {"dest", "sub\\f", ELOOP},
      {"dest", "real\\link\\f", ELOOP},
      {"dest", "last", ELOOP},
      {"dest", "real\\..\\..\\f", EINVAL},
      {"dest", "..", EINVAL},
      {"dest", "missing\\f", ENOENT},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.name);
    const int folder = _open_folder(path(c.folder).c_str());
    ASSERT_GE(folder, 0);
    errno = 0;
    expect_open_result(_open_beneath(folder, c.name, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE), c.error);
    _close(folder);
  }
  EXPECT_TRUE(std::filesystem::is_empty(path("elsewhere")));
  EXPECT_FALSE(std::filesystem::exists(path("f")));
  EXPECT_EQ(read_file(path("dest/real/deeper/f")), "");
}

TEST_F(CrtIoTest, HandlesAreNotInheritedAndTemporaryFilesLeaveNoName) {
  const int fd = _open(path("t").c_str(), _O_RDWR | _O_CREAT | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_FALSE(std::filesystem::exists(path("t")));
  // The open handle still reaches the data.
  char buffer[5] = {};
  EXPECT_EQ(_write(fd, "spill", 5), 5);
  EXPECT_EQ(_lseek(fd, 0, 0), 0);
  EXPECT_EQ(_read(fd, buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), "spill");
  _close(fd);
}

TEST_F(CrtIoTest, ReadsFillTheBufferUntilEndOfFile) {
  write_file(path("ten"), "0123456789");
  const int fd = _open(path("ten").c_str(), _O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  char buffer[100];
  EXPECT_EQ(_read(fd, buffer, 4), 4);
  EXPECT_EQ(_read(fd, buffer, sizeof buffer), 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(_read(fd, buffer, sizeof buffer), 0);
  errno = 0;
  EXPECT_EQ(_read(fd, buffer, 0x80000000u), -1);
  EXPECT_EQ(errno, EINVAL);
  _close(fd);
  errno = 0;
  EXPECT_EQ(_read(fd, buffer, 1), -1);
  EXPECT_EQ(errno, EBADF);
}

// A read from a pipe returns what has arrived so far; the writer pauses between pieces so that the
// first read finds only the first piece. All of it fits in the pipe, so the writer never waits.
TEST(CrtIo, ReadGathersShortReadsFromAPipe) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string sent(3'000, 'p');
  std::thread writer([&] {
    for (size_t at = 0; at < sent.size(); at += 1'000) {
      EXPECT_EQ(_write(ends[1], sent.data() + at, 1'000), 1'000);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    _close(ends[1]);
  });
  std::string received(sent.size() + 10, '\0');
  EXPECT_EQ(_read(ends[0], received.data(), static_cast<unsigned>(received.size())), static_cast<int>(sent.size()));
  writer.join();
  received.resize(sent.size());
  EXPECT_EQ(received, sent);
  _close(ends[0]);
}

// With the standard input closed, the lowest free descriptor is 0; a caller that reads 0 as "no
// file" would silently skip the file, so opens never hand out the standard streams' numbers.
TEST_F(CrtIoTest, NeverReturnsAStandardStreamHandle) {
  const int saved_stdin = dup(STDIN_FILENO);
  ASSERT_GE(saved_stdin, 0);
  ASSERT_EQ(close(STDIN_FILENO), 0);
  const int fd = _open(path("made").c_str(), _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE);
  const int reused = fcntl(STDIN_FILENO, F_GETFD);
  ASSERT_EQ(dup2(saved_stdin, STDIN_FILENO), STDIN_FILENO);
  close(saved_stdin);
  EXPECT_GT(fd, STDERR_FILENO);
  EXPECT_EQ(reused, -1) << "the standard input's number was taken";
  _close(fd);
}

TEST(CrtIo, WriteToAFullDiskFailsWithENOSPC) {
  // A device, which _open refuses; its write fails as a full disk's does.
  const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string data(8192, 'd');
  errno = 0;
  EXPECT_EQ(_write(fd, data.data(), static_cast<unsigned>(data.size())), -1);
  EXPECT_EQ(errno, ENOSPC);
  _close(fd);
}

// Pieces go out in order; a count the system cannot take and a full disk fail.
TEST_F(CrtIoTest, WritePiecesKeepsTheOrderOrFails) {
  const int fd = _open(path("out").c_str(), _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  char first[] = "first ", second[] = "second ", third[] = "third";
  const struct iovec pieces[] = {{first, 6}, {second, 7}, {third, 5}};
  EXPECT_EQ(_write_pieces(fd, pieces, 3), 18);
  errno = 0;
  EXPECT_EQ(_write_pieces(fd, pieces, IOV_MAX + 1), -1);
  EXPECT_EQ(errno, EINVAL);
  _close(fd);
  EXPECT_EQ(read_file(path("out")), "first second third");

  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  errno = 0;
  EXPECT_EQ(_write_pieces(full, pieces, 3), -1);
  EXPECT_EQ(errno, ENOSPC);
  close(full);
}

TEST_F(CrtIoTest, SeekOriginsAndLargeOffsets) {
  write_file(path("ten"), "0123456789");
  const int fd = _open(path("ten").c_str(), _O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  const struct {
    int64_t offset;
    int origin;
    int64_t position;  // -1: fails with EINVAL, the position unchanged
    char next;         // the byte read there (and the position advances by one)
  } steps[] = {
      {3, 0, 3, '3'}, {2, 1, 6, '6'}, {-1, 2, 9, '9'}, {-20, 1, -1, 0}, {0, 3, -1, 0}, {-4, 1, 6, '6'},
      {int64_t{1} << 33, 0, int64_t{1} << 33, 0},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(testing::Message() << step.offset << " from " << step.origin);
    errno = 0;
    EXPECT_EQ(_lseek(fd, step.offset, step.origin), step.position);
    if (step.position < 0) {
      EXPECT_EQ(errno, EINVAL);
    }
    char byte = 0;
    EXPECT_EQ(_read(fd, &byte, 1), step.next != 0 ? 1 : 0);
    EXPECT_EQ(byte, step.next);
  }
  _close(fd);
}

}  // namespace
