// tool_ops.h - the file operations the tool gives the reader: the runtime ones, plus what they see
// that the reader does not pass on (why an open or a write failed, how many bytes were written).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "cab_ops.h"

namespace bundlex {

// An output handle that NOTE_COPY may answer to have a file decoded and its bytes counted but not
// written. Descriptors stay below the kernel's nr_open ceiling (at most INT32_MAX rounded down to a
// multiple of 64), so no open file can have this number.
constexpr int32_t kDiscardHandle = INT32_MAX;

// What the operations saw during the current walk. The operations take no user value, so this is
// one record for the process; the tool runs one walk at a time.
struct io_log {
  std::string failed_open;  // path of the last open that failed, as the reader passed it
  int open_errno = 0;
  int write_errno = 0;         // of the last write that failed
  uint64_t bytes_written = 0;  // to output handles, the discard handle included
  std::function<void(uint64_t bytes_written)> on_write;  // told after each write when set
};

// The record; reset it before a walk.
io_log &io();

// runtime_cab_ops with the opens and writes observed as above, and the discard handle honoured by
// the write and close operations.
const CabOps &tool_ops();
// runtime_map_ops with the gathered writes observed and the discard handle honoured alike.
const CabMapOps &tool_map_ops();

}  // namespace bundlex
