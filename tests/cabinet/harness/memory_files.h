// memory_files.h - the reader's seven operations over files held in memory, and its mapping
// operations over the same files, with fault injection (fail the Nth call of an operation) and
// accounting of allocations, handles and mappings.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cabinet/include/cab_ops.h"

namespace cabtest {

enum class Op { alloc, open, read, write, close, seek, count };

// One instance is current per thread (while it lives); its ops() route there.
class MemoryFiles {
 public:
  MemoryFiles();
  ~MemoryFiles();
  MemoryFiles(const MemoryFiles &) = delete;
  MemoryFiles &operator=(const MemoryFiles &) = delete;

  static const CabOps &ops();
  // Every file is mapped, however small, so that small test cabinets take the mapped path. Mapped
  // bytes past a file's end once shrink() has cut it, or of a mapping that has ended, are gone: a
  // read or write of them fails, as it does when a real mapped file is shortened or unmapped.
  // Gathered writes count as writes.
  static const CabMapOps &map_ops();

  void add(const std::string &path, std::vector<uint8_t> bytes) { files_[path] = std::move(bytes); }
  // What was written to a file opened for writing, by path.
  const std::vector<uint8_t> &written(const std::string &path) const { return files_.at(path); }
  bool exists(const std::string &path) const { return files_.count(path) != 0; }
  // Cuts the file to `nbytes`, as another process may while it is being read.
  void shrink(const std::string &path, size_t nbytes) { files_.at(path).resize(nbytes); }
  // The size of each write, gathered or not, in order.
  const std::vector<uint32_t> &write_sizes() const { return write_sizes_; }

  // Opens a file for writing and returns its handle, as a notification handler does for NOTE_COPY.
  int32_t create_output(const std::string &path);

  // The Nth call (from 1) of `op` fails; 0 never.
  void fail_at(Op op, uint64_t nth) { fail_at_[static_cast<int>(op)] = nth; }
  uint64_t calls(Op op) const { return calls_[static_cast<int>(op)]; }

  size_t open_handles() const { return handles_.size(); }
  size_t live_mappings() const { return mappings_.size(); }
  uint64_t bytes_read() const { return bytes_read_; }
  int64_t live_allocations() const { return live_allocations_; }

 private:
  struct Handle {
    std::string path;
    uint64_t position = 0;
  };
  struct Mapping {
    std::string path;
    uint64_t nbytes;
  };
  bool should_fail(Op op);

  static void *cab_alloc(uint32_t nbytes);
  static void cab_free(void *memory);
  static int32_t cab_open(const char *path, int32_t flags, int32_t permission);
  static int32_t cab_read(int32_t handle, void *buffer, uint32_t nbytes);
  static int32_t cab_write(int32_t handle, const void *buffer, uint32_t nbytes);
  static int32_t cab_close(int32_t handle);
  static int64_t cab_seek(int32_t handle, int64_t offset, int32_t origin);
  static const void *cab_map(int32_t handle, uint64_t min_nbytes, uint64_t *nbytes);
  static void cab_unmap(const void *bytes, uint64_t nbytes);
  static int32_t cab_read_mapped(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context);
  static int32_t cab_write_pieces(int32_t handle, const struct iovec *pieces, int32_t count);
  int32_t append(int32_t handle, const void *bytes, uint32_t nbytes);
  // Whether some of the bytes lie in a mapping past its file's end (the file was shrunk), or in a
  // mapping that has ended.
  bool gone(const uint8_t *bytes, uint64_t nbytes);

  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<int32_t, Handle> handles_;
  std::map<const uint8_t *, Mapping> mappings_;  // by first byte
  std::map<const uint8_t *, uint64_t> unmapped_;  // ended mappings' sizes, by first byte
  std::vector<uint32_t> write_sizes_;
  int32_t next_handle_ = 3;
  uint64_t calls_[static_cast<int>(Op::count)] = {};
  uint64_t fail_at_[static_cast<int>(Op::count)] = {};
  int64_t live_allocations_ = 0;
  uint64_t bytes_read_ = 0;
  MemoryFiles *previous_;
};

}  // namespace cabtest
