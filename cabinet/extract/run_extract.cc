// run_extract.cc - one extraction: split the cabinet path, prepare the destination, run the reader.
#include <string.h>

#include "cabinet/include/extract_job.h"
#include "platform/files/crt_io.h"
#include "platform/files/file_time.h"

namespace {

// The folder keeps its separator, the name is the rest.
bool split_cabinet_path(const char *path, char (&folder)[CAB_PATH_NBYTES], char (&name)[CAB_PATH_NBYTES]) {
  size_t length = strlen(path);
  if (length >= CAB_PATH_NBYTES) return false;
  size_t name_start = cabinet_name_start(path);
  memcpy(folder, path, name_start);
  folder[name_start] = '\0';
  memcpy(name, path + name_start, length - name_start + 1);
  return true;
}

// Copies the destination and appends "\" unless it is empty or already ends in a separator.
bool prepare_destination(const char *destination, char (&out)[CAB_PATH_NBYTES]) {
  size_t length = strlen(destination);
  if (length + 1 >= CAB_PATH_NBYTES) return false;
  memcpy(out, destination, length + 1);
  if (length > 0 && out[length - 1] != '\\' && out[length - 1] != '/') {
    out[length] = '\\';
    out[length + 1] = '\0';
  }
  return true;
}

}  // namespace

size_t cabinet_name_start(const char *path) {
  size_t name_start = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '\\' || path[i] == '/') name_start = i + 1;
  }
  return name_start;
}

int run_extract(const char *cabinet_path, const char *destination, const CabOps *ops, const CabMapOps *map_ops,
                cab_notify_fn notify, void *caller) {
  char folder[CAB_PATH_NBYTES];
  char name[CAB_PATH_NBYTES];
  if (cabinet_path == nullptr || !split_cabinet_path(cabinet_path, folder, name)) return ERR_OPEN_CABINET;
  ExtractJob job{};
  job.folder = -1;
  job.caller = caller;
  if (!prepare_destination(destination != nullptr ? destination : "", job.destination)) return ERR_ABORTED;

  // Every file's time goes through the local zone: read it once for the whole extraction.
  const platform::TimeZoneHold zone;
  CabError error{};
  CabReader *reader = cab_reader_create(ops->cab_alloc, ops->cab_free, ops->cab_open, ops->cab_read, ops->cab_write,
                                        ops->cab_close, ops->cab_seek, &error);
  if (reader == nullptr) return error.code;
  if (map_ops != nullptr) cab_reader_allow_mapping(reader, map_ops);
  int ok = cab_reader_copy(reader, name, folder, notify, &job);
  cab_reader_destroy(reader);
  if (job.folder >= 0) _close(job.folder);
  if (ok) return job.refused_files == 0 ? 0 : ERR_ABORTED;
  // A next cabinet given up by the handler ends in ERR_ABORTED; the cause says more.
  if (error.code == ERR_ABORTED && job.unavailable_cause != 0) return job.unavailable_cause;
  return error.code;
}
