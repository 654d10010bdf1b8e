// tool_ops.cc - the reader's file operations as the tool gives them: runtime operations, observed.
#include "tools/bundlex/tool_ops.h"

#include <errno.h>
#include <stdint.h>
#include <sys/uio.h>

#include "extract_job.h"
#include "tools/bundlex/interruption.h"

namespace bundlex {

namespace {

io_log the_log;

int32_t observed_open(const char *path, int32_t flags, int32_t permission) {
  if (interruption() != 0) return -1;
  int32_t handle = runtime_cab_ops.cab_open(path, flags, permission);
  if (handle == -1) {
    the_log.open_errno = errno;
    the_log.failed_open = path;
  }
  return handle;
}

// Runs `write` (which returns the count written, or -1) on the output `handle` of `nbytes`, observed.
template <typename Write>
int32_t observe_write(int32_t handle, uint32_t nbytes, Write write) {
  // An interruption stops the walk at its next write, which fails as the reader expects one may.
  if (interruption() != 0) {
    errno = EINTR;
    return -1;
  }
  int32_t written = handle == kDiscardHandle ? static_cast<int32_t>(nbytes) : write();
  if (written < 0) {
    the_log.write_errno = errno;
    return written;
  }
  the_log.bytes_written += static_cast<uint32_t>(written);
  if (the_log.on_write) the_log.on_write(the_log.bytes_written);
  return written;
}

int32_t observed_write(int32_t handle, const void *buffer, uint32_t nbytes) {
  return observe_write(handle, nbytes, [&] { return runtime_cab_ops.cab_write(handle, buffer, nbytes); });
}

int32_t observed_write_pieces(int32_t handle, const struct iovec *pieces, int32_t count) {
  uint64_t nbytes = 0;
  for (int32_t i = 0; i < count; ++i) nbytes += pieces[i].iov_len;
  if (nbytes > INT32_MAX) {
    errno = EINVAL;
    return -1;
  }
  return observe_write(handle, static_cast<uint32_t>(nbytes),
                       [&] { return runtime_map_ops.cab_write_pieces(handle, pieces, count); });
}

// The reader closes an output handle itself when a file fails half-way.
int32_t observed_close(int32_t handle) { return handle == kDiscardHandle ? 0 : runtime_cab_ops.cab_close(handle); }

}  // namespace

io_log &io() { return the_log; }

const CabOps &tool_ops() {
  // Built on first use, so that runtime_cab_ops, defined elsewhere, is certainly set up.
  static const CabOps ops = {runtime_cab_ops.cab_alloc, runtime_cab_ops.cab_free, observed_open,
                             runtime_cab_ops.cab_read,  observed_write,           observed_close,
                             runtime_cab_ops.cab_seek};
  return ops;
}

const CabMapOps &tool_map_ops() {
  static const CabMapOps ops = {runtime_map_ops.cab_map, runtime_map_ops.cab_unmap, runtime_map_ops.cab_read_mapped,
                                observed_write_pieces};
  return ops;
}

}  // namespace bundlex
