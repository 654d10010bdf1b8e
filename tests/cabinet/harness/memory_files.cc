// memory_files.cc - in-memory files behind the reader's operations, for tests and fuzzing.
#include "tests/cabinet/harness/memory_files.h"

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

int32_t MemoryFiles::cab_write(int32_t handle, const void *buffer, uint32_t nbytes) {
  MemoryFiles *self = t_current;
  auto it = self->handles_.find(handle);
  if (self->should_fail(Op::write) || it == self->handles_.end()) return -1;
  std::vector<uint8_t> &bytes = self->files_[it->second.path];
  const auto *data = static_cast<const uint8_t *>(buffer);
  bytes.insert(bytes.end(), data, data + nbytes);
  return static_cast<int32_t>(nbytes);
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
