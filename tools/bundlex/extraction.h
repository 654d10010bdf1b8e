// extraction.h - the walk that x and t share: a listing pass that sizes the job, then the
// library's run_extract with the command's handler, progress, and the messages that follow it.
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

#include "cab_reader.h"
#include "tools/bundlex/cabinet_listing.h"
#include "tools/bundlex/messages.h"
#include "tools/bundlex/progress.h"

namespace bundlex {

// One extraction's state. The command's handler reaches it through of(note).
struct extraction {
  explicit extraction(std::string cabinet_path) : cabinet(std::move(cabinet_path)), trace{cabinet} {}

  // Fills `entries` with what the walk will write. Returns 0, or the error code, reported.
  int list();
  // Runs the walk with `notify`, a handler that wraps extract_notify, passes every note to
  // trace.follow() and calls file_done(), and answers -1 once interrupted. Returns 0, or the error
  // code, reported (files skipped for their names were reported as they came). After an
  // interruption nothing is reported: the command cleans up and ends.
  int run(const std::string &destination, cab_notify_fn notify);
  // A file has been closed.
  void file_done();
  // A file was skipped for its name: reported at once, the walk goes on.
  void name_refused(name_refusal refusal, size_t nbytes, int error);

  const std::string cabinet;
  walk_trace trace;
  std::vector<entry> entries;
  size_t files_done = 0;
  size_t names_refused = 0;

 private:
  progress *display_ = nullptr;  // during run()
};

// The extraction behind a note of a walk that run() started.
extraction &of(const CabNote *note);

}  // namespace bundlex
