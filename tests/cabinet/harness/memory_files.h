// memory_files.h - the reader's seven operations over files held in memory, with fault injection
// (fail the Nth call of an operation) and accounting of allocations and handles.
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

  void add(const std::string &path, std::vector<uint8_t> bytes) { files_[path] = std::move(bytes); }
  // What was written to a file opened for writing, by path.
  const std::vector<uint8_t> &written(const std::string &path) const { return files_.at(path); }
  bool exists(const std::string &path) const { return files_.count(path) != 0; }

  // Opens a file for writing and returns its handle, as a notification handler does for NOTE_COPY.
  int32_t create_output(const std::string &path);

  // The Nth call (from 1) of `op` fails; 0 never.
  void fail_at(Op op, uint64_t nth) { fail_at_[static_cast<int>(op)] = nth; }
  uint64_t calls(Op op) const { return calls_[static_cast<int>(op)]; }

  size_t open_handles() const { return handles_.size(); }
  uint64_t bytes_read() const { return bytes_read_; }
  int64_t live_allocations() const { return live_allocations_; }

 private:
  struct Handle {
    std::string path;
    uint64_t position = 0;
  };
  bool should_fail(Op op);

  static void *cab_alloc(uint32_t nbytes);
  static void cab_free(void *memory);
  static int32_t cab_open(const char *path, int32_t flags, int32_t permission);
  static int32_t cab_read(int32_t handle, void *buffer, uint32_t nbytes);
  static int32_t cab_write(int32_t handle, const void *buffer, uint32_t nbytes);
  static int32_t cab_close(int32_t handle);
  static int64_t cab_seek(int32_t handle, int64_t offset, int32_t origin);

  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<int32_t, Handle> handles_;
  int32_t next_handle_ = 3;
  uint64_t calls_[static_cast<int>(Op::count)] = {};
  uint64_t fail_at_[static_cast<int>(Op::count)] = {};
  int64_t live_allocations_ = 0;
  uint64_t bytes_read_ = 0;
  MemoryFiles *previous_;
};

}  // namespace cabtest
