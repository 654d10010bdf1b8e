// runtime_ops.cc - the seven operations extract() gives the reader, each passing its arguments to
// the runtime library unchanged.
#include <new>

#include "cabinet/include/extract_job.h"
#include "platform/files/crt_io.h"

namespace {

void *cab_alloc(uint32_t nbytes) { return ::operator new(nbytes, std::nothrow); }
void cab_free(void *memory) { ::operator delete(memory); }
int32_t cab_open(const char *path, int32_t flags, int32_t permission) { return _open(path, flags, permission); }
int32_t cab_read(int32_t handle, void *buffer, uint32_t nbytes) { return _read(handle, buffer, nbytes); }
int32_t cab_write(int32_t handle, const void *buffer, uint32_t nbytes) { return _write(handle, buffer, nbytes); }
int32_t cab_close(int32_t handle) { return _close(handle); }
int64_t cab_seek(int32_t handle, int64_t offset, int32_t origin) { return _lseek(handle, offset, origin); }

}  // namespace

const CabOps runtime_cab_ops = {cab_alloc, cab_free, cab_open, cab_read, cab_write, cab_close, cab_seek};
