// extract.cc - the library's export: extract() over the runtime file operations and extract_notify.
#include "cabinet/include/bundlex.h"

#include "cabinet/include/extract_job.h"

extern "C" __attribute__((visibility("default"))) int extract(const char *cabinet_path, const char *destination) {
  return run_extract(cabinet_path, destination, &runtime_cab_ops, &runtime_map_ops, extract_notify, nullptr);
}
