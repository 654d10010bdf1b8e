// extract_job.h - the extraction driver behind extract(): the runtime file operations, the
// notification handler that creates and stamps output files, and the state it keeps per call.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "cab_reader.h"
#include "stored_name.h"

// What one extraction carries through its notifications (the notes' user value).
struct ExtractJob {
  char destination[CAB_PATH_NBYTES];  // empty, or ending in a separator
  char output[CAB_PATH_NBYTES];       // the file in hand: the destination and its UTF-8 name
  int32_t folder;                     // the destination, opened at the first file; -1 until then
  int32_t failed_attempts;            // of the current move to a next cabinet
  int32_t unavailable_cause;          // why a next cabinet was given up, else 0
  int32_t refused_files;              // files skipped for their names
  name_refusal refusal;               // why the last of them was, with the length at fault
  size_t refused_nbytes;              // and the file system's errno for name_refusal::file_system
  int refused_errno;
  void *caller;                       // for a handler that wraps extract_notify
};

// The seven operations over the runtime library's allocation and _open/_read/... functions, and
// the mapping of large cabinets over the platform's mapped files and _write_pieces.
extern const CabOps runtime_cab_ops;
extern const CabMapOps runtime_map_ops;

// The handler of extract(): NOTE_COPY creates the output file below the destination (through no
// symbolic link, never a special file; an existing file is truncated) under the stored name made
// UTF-8, answering -1 when it cannot, and 0 (skip the file) when the name is refused, which the job
// records; NOTE_CLOSE applies the stored time and attributes and closes it; NOTE_NEXT_CABINET
// gives up after a bounded number of failed attempts. `note->user` is the ExtractJob.
int32_t extract_notify(int32_t kind, CabNote *note);

// Where the cabinet's name starts in `path`: after its last "\" or "/", both separators here; what
// comes before is the cabinet's folder, where the next cabinets of its set are looked for.
size_t cabinet_name_start(const char *path);

// Runs one extraction with `notify` (extract_notify or a handler that calls it) over `ops`, mapping
// large cabinets through `map_ops` unless it is null.
// `caller` is stored in the job. Returns 0 or the error code, as extract() does: ERR_ABORTED
// when the walk succeeded but files were skipped for their names.
int run_extract(const char *cabinet_path, const char *destination, const CabOps *ops, const CabMapOps *map_ops,
                cab_notify_fn notify, void *caller);
