// extract_job.h - the extraction driver behind extract(): the runtime file operations, the
// notification handler that creates and stamps output files, and the state it keeps per call.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "cab_reader.h"

// What one extraction carries through its notifications (the notes' user value).
struct ExtractJob {
  char destination[CAB_PATH_NBYTES];  // empty, or ending in a separator
  int32_t failed_attempts;            // of the current move to a next cabinet
  int32_t unavailable_cause;          // why a next cabinet was given up, else 0
  void *caller;                       // for a handler that wraps extract_notify
};

// The seven operations over the runtime library's allocation and _open/_read/... functions.
extern const CabOps runtime_cab_ops;

// The handler of extract(): NOTE_COPY creates the output file (never through a symbolic link, an
// existing file is truncated, an unsafe or too long name answers -1), NOTE_CLOSE closes it and
// applies the stored time and attributes, NOTE_NEXT_CABINET gives up after a bounded number of
// failed attempts. `note->user` is the ExtractJob.
int32_t extract_notify(int32_t kind, CabNote *note);

// Where the cabinet's name starts in `path`: after its last "\" or "/", both separators here; what
// comes before is the cabinet's folder, where the next cabinets of its set are looked for.
size_t cabinet_name_start(const char *path);

// Runs one extraction with `notify` (extract_notify or a handler that calls it) over `ops`.
// `caller` is stored in the job. Returns 0 or the error code, as extract() does.
int run_extract(const char *cabinet_path, const char *destination, const CabOps *ops, cab_notify_fn notify,
                void *caller);
