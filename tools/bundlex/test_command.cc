// test_command.cc - the t command: the extraction's walk with every output handle a discarding one,
// so that every block is read, checked and decoded and nothing is written.
#include <stdio.h>

#include "extract_job.h"
#include "tools/bundlex/commands.h"
#include "tools/bundlex/extraction.h"
#include "tools/bundlex/interruption.h"
#include "tools/bundlex/tool_ops.h"

namespace bundlex {

namespace {

int32_t on_note(int32_t kind, CabNote *note) {
  if (interruption() != 0) return -1;
  extraction &x = of(note);
  x.trace.follow(kind, *note);
  switch (kind) {
    case NOTE_COPY:
      return kDiscardHandle;
    case NOTE_CLOSE:
      x.file_done();
      return 1;
    default:
      // The next cabinet of a set is found, and given up on, as the extraction does it.
      return extract_notify(kind, note);
  }
}

}  // namespace

int test_command(const options &opts) {
  extraction x(opts.cabinet);
  if (int code = x.list()) return code;
  // Nothing is created, so the destination plays no part.
  const int code = x.run("", on_note);
  if (interruption() != 0) {
    report(x.cabinet, "interrupted");
    end_if_interrupted();
  }
  if (code != 0) return code;
  printf("OK: %zu files, %llu bytes\n", x.files_done, static_cast<unsigned long long>(io().bytes_written));
  return 0;
}

}  // namespace bundlex
