// memory_files.cc - in-memory files behind the reader's operations, for tests and fuzzing.
#include "tests/cabinet/harness/memory_files.h"

#include <sys/uio.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cabtest {
namespace {

thread_local MemoryFiles *t_current = nullptr;
constexpr int32_t kWriteFlags = 0x0001 | 0x0002;

}  // namespace

MemoryFiles::MemoryFiles() : previous_(t_current) { t_current = this; }

MemoryFiles::~MemoryFiles() { t_current = previous_; }

const CabOps &MemoryFiles::ops() {
  static const CabOps kOps = {cab_alloc, cab_free, cab_open, cab_read, cab_write, cab_close, cab_seek};
  return kOps;
}

const CabMapOps &MemoryFiles::map_ops() {
  static const CabMapOps kMapOps = {cab_map, cab_unmap, cab_read_mapped, cab_write_pieces};
  return kMapOps;
}

bool MemoryFiles::should_fail(Op op) {
  int index = static_cast<int>(op);
  return ++calls_[index] == fail_at_[index];
}

int32_t MemoryFiles::create_output(const std::string &path) {
  files_[path].clear();
  int32_t handle = next_handle_++;
  handles_[handle] = Handle{path, 0};
  return handle;
}

void *MemoryFiles::cab_alloc(uint32_t nbytes) {
  MemoryFiles *self = t_current;
  if (self->should_fail(Op::alloc)) return nullptr;
  ++self->live_allocations_;
  return std::malloc(nbytes == 0 ? 1 : nbytes);
}

void MemoryFiles::cab_free(void *memory) {
  --t_current->live_allocations_;
  std::free(memory);
}

int32_t MemoryFiles::cab_open(const char *path, int32_t flags, int32_t) {
  MemoryFiles *self = t_current;
  if (self->should_fail(Op::open)) return -1;
  if (flags & kWriteFlags) return self->create_output(path);
  if (self->files_.count(path) == 0) return -1;
  int32_t handle = self->next_handle_++;
  self->handles_[handle] = Handle{path, 0};
  return handle;
}

int32_t MemoryFiles::cab_read(int32_t handle, void *buffer, uint32_t nbytes) {
  MemoryFiles *self = t_current;
  auto it = self->handles_.find(handle);
  if (self->should_fail(Op::read) || it == self->handles_.end()) return -1;
  const std::vector<uint8_t> &bytes = self->files_[it->second.path];
  uint64_t position = it->second.position;
  uint64_t available = position < bytes.size() ? bytes.size() - position : 0;
  uint32_t count = available < nbytes ? static_cast<uint32_t>(available) : nbytes;
  if (count > 0) std::memcpy(buffer, bytes.data() + position, count);
  it->second.position += count;
  self->bytes_read_ += count;
  return static_cast<int32_t>(count);
}

int32_t MemoryFiles::append(int32_t handle, const void *bytes, uint32_t nbytes) {
  auto it = handles_.find(handle);
  if (should_fail(Op::write) || it == handles_.end()) return -1;
  std::vector<uint8_t> &file = files_[it->second.path];
  const auto *data = static_cast<const uint8_t *>(bytes);
  file.insert(file.end(), data, data + nbytes);
  write_sizes_.push_back(nbytes);
  return static_cast<int32_t>(nbytes);
}

int32_t MemoryFiles::cab_write(int32_t handle, const void *buffer, uint32_t nbytes) {
  const struct iovec piece = {const_cast<void *>(buffer), nbytes};
  return cab_write_pieces(handle, &piece, 1);
}

int32_t MemoryFiles::cab_write_pieces(int32_t handle, const struct iovec *pieces, int32_t count) {
  MemoryFiles *self = t_current;
  std::vector<uint8_t> joined;
  for (int32_t i = 0; i < count; ++i) {
    const auto *bytes = static_cast<const uint8_t *>(pieces[i].iov_base);
    // The system's copy from a page that is gone fails.
    if (self->gone(bytes, pieces[i].iov_len)) {
      errno = EFAULT;
      return -1;
    }
    joined.insert(joined.end(), bytes, bytes + pieces[i].iov_len);
  }
  return self->append(handle, joined.data(), static_cast<uint32_t>(joined.size()));
}

bool MemoryFiles::gone(const uint8_t *bytes, uint64_t nbytes) {
  auto old = unmapped_.upper_bound(bytes);
  if (old != unmapped_.begin() && bytes < (--old)->first + old->second) return true;
  // The mapping that holds the bytes, if any: the reader may pass memory of its own too.
  auto it = mappings_.upper_bound(bytes);
  if (it == mappings_.begin()) return false;
  --it;
  const auto offset = static_cast<uint64_t>(bytes - it->first);
  return offset < it->second.nbytes && offset + nbytes > files_[it->second.path].size();
}

const void *MemoryFiles::cab_map(int32_t handle, uint64_t, uint64_t *nbytes) {
  MemoryFiles *self = t_current;
  auto it = self->handles_.find(handle);
  if (it == self->handles_.end()) return nullptr;
  const std::vector<uint8_t> &file = self->files_[it->second.path];
  if (file.empty()) return nullptr;
  self->mappings_[file.data()] = Mapping{it->second.path, file.size()};
  self->unmapped_.erase(file.data());
  *nbytes = file.size();
  return file.data();
}

void MemoryFiles::cab_unmap(const void *bytes, uint64_t nbytes) {
  MemoryFiles *self = t_current;
  const auto *first = static_cast<const uint8_t *>(bytes);
  self->mappings_.erase(first);
  self->unmapped_[first] = nbytes;
}

int32_t MemoryFiles::cab_read_mapped(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context) {
  if (t_current->gone(static_cast<const uint8_t *>(bytes), nbytes)) return 0;
  read(context);
  return 1;
}

int32_t MemoryFiles::cab_close(int32_t handle) {
  MemoryFiles *self = t_current;
  if (self->handles_.erase(handle) == 0) return -1;
  return self->should_fail(Op::close) ? -1 : 0;
}

int64_t MemoryFiles::cab_seek(int32_t handle, int64_t offset, int32_t origin) {
  MemoryFiles *self = t_current;
  auto it = self->handles_.find(handle);
  if (self->should_fail(Op::seek) || it == self->handles_.end()) return -1;
  int64_t base = origin == 1 ? static_cast<int64_t>(it->second.position) : 0;
  if (origin == 2) base = static_cast<int64_t>(self->files_[it->second.path].size());
  int64_t target = base + offset;
  if (target < 0) return -1;
  it->second.position = static_cast<uint64_t>(target);
  return target;
}

}  // namespace cabtest
