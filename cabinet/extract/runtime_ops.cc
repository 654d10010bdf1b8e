// runtime_ops.cc - the operations extract() gives the reader, each passing its arguments to the
// runtime library, or for mapping to the platform's mapped files, unchanged.
#include <new>

#include "cabinet/include/extract_job.h"
#include "platform/files/crt_io.h"
#include "platform/files/mapped_file.h"

namespace {

void *cab_alloc(uint32_t nbytes) { return ::operator new(nbytes, std::nothrow); }
void cab_free(void *memory) { ::operator delete(memory); }
int32_t cab_open(const char *path, int32_t flags, int32_t permission) { return _open(path, flags, permission); }
int32_t cab_read(int32_t handle, void *buffer, uint32_t nbytes) { return _read(handle, buffer, nbytes); }
int32_t cab_write(int32_t handle, const void *buffer, uint32_t nbytes) { return _write(handle, buffer, nbytes); }
int32_t cab_close(int32_t handle) { return _close(handle); }
int64_t cab_seek(int32_t handle, int64_t offset, int32_t origin) { return _lseek(handle, offset, origin); }

const void *cab_map(int32_t handle, uint64_t min_nbytes, uint64_t *nbytes) {
  return platform::map_file(handle, min_nbytes, nbytes);
}
void cab_unmap(const void *bytes, uint64_t nbytes) { platform::unmap_file(static_cast<const uint8_t *>(bytes), nbytes); }
int32_t cab_read_mapped(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context) {
  return platform::read_mapped(bytes, nbytes, read, context) ? 1 : 0;
}
int32_t cab_write_pieces(int32_t handle, const struct iovec *pieces, int32_t count) {
  return _write_pieces(handle, pieces, count);
}

}  // namespace

const CabMapOps runtime_map_ops = {cab_map, cab_unmap, cab_read_mapped, cab_write_pieces};

const CabOps runtime_cab_ops = {cab_alloc, cab_free, cab_open, cab_read, cab_write, cab_close, cab_seek};
