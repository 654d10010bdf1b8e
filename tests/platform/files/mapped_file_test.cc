// mapped_file_test.cc - catches files mapped that should be read, mapped bytes that differ from the
// file, a file shortened under its mapping that ends the process (or fails reads of what is left),
// and bus errors that are not ours swallowed.
#include "platform/files/mapped_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "test_support.h"

namespace {

// A file opened and mapped, when it is a regular file of `min_nbytes` or more; both undone at the end.
struct Mapped {
  Mapped(const std::string &path, uint64_t min_nbytes) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd >= 0) bytes = platform::map_file(fd, min_nbytes, &nbytes);
  }
  ~Mapped() {
    platform::unmap_file(bytes, nbytes);
    if (fd >= 0) close(fd);
  }
  Mapped(const Mapped &) = delete;
  Mapped &operator=(const Mapped &) = delete;

  int fd;
  const uint8_t *bytes = nullptr;
  uint64_t nbytes = 0;
};

class MappedFileTest : public FolderTest {
 protected:
  // "f", four pages long, mapped and then cut to its first page.
  const Mapped &map_then_shorten() {
    write_file(path("f"), std::string(4 * page_, 'x'));
    shortened_ = std::make_unique<Mapped>(path("f"), 1);
    EXPECT_EQ(truncate(path("f").c_str(), static_cast<off_t>(page_)), 0);
    return *shortened_;
  }

  const size_t page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::unique_ptr<Mapped> shortened_;
};

struct Sum {
  const uint8_t *bytes;
  size_t nbytes;
  size_t sum;
};

void add_up(void *context) {
  auto *sum = static_cast<Sum *>(context);
  for (size_t i = 0; i < sum->nbytes; ++i) sum->sum += sum->bytes[i];
}

TEST_F(MappedFileTest, MapsOnlyRegularFilesOfTheAskedSize) {
  write_file(path("small"), "0123456789");
  write_file(path("empty"), "");
  ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
  const struct {
    const char *name;
    uint64_t min_nbytes;
    bool mapped;
  } cases[] = {{"small", 10, true}, {"small", 11, false}, {"empty", 0, false}, {"folder", 0, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " from " + std::to_string(c.min_nbytes));
    const Mapped mapped(path(c.name), c.min_nbytes);
    ASSERT_EQ(mapped.bytes != nullptr, c.mapped);
    if (c.mapped) {
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(mapped.bytes), mapped.nbytes), "0123456789");
    }
  }
}

// Only a read that touches a page cut from the file fails; the process goes on, and the handler
// keeps working for later reads.
TEST_F(MappedFileTest, ShortenedFileFailsOnlyTheReadsOfLostPages) {
  const Mapped &mapped = map_then_shorten();
  ASSERT_NE(mapped.bytes, nullptr);
  const size_t page = page_;
  for (int round = 0; round < 2; ++round) {
    Sum kept{mapped.bytes, page, 0};
    EXPECT_TRUE(platform::read_mapped(kept.bytes, kept.nbytes, add_up, &kept));
    EXPECT_EQ(kept.sum, page * 'x');
    Sum lost{mapped.bytes + page, 2 * page, 0};
    EXPECT_FALSE(platform::read_mapped(lost.bytes, lost.nbytes, add_up, &lost));
  }
}

// A bus error outside any guarded read, or outside the range a read names, still ends the process.
TEST_F(MappedFileTest, BusErrorsThatAreNotOursStillEndTheProcess) {
  const Mapped &mapped = map_then_shorten();
  ASSERT_NE(mapped.bytes, nullptr);
  const size_t page = page_;
  const auto *lost = static_cast<const volatile uint8_t *>(mapped.bytes + 2 * page);
  EXPECT_DEATH((void)*lost, "");
  Sum elsewhere{mapped.bytes + 2 * page, 1, 0};
  EXPECT_DEATH(platform::read_mapped(mapped.bytes, page, add_up, &elsewhere), "");
}

}  // namespace
