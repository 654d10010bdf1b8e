// extract_command.cc - the x command: prepares the folders the stored names need, then extracts
// through extract_notify, learning why a file could not be created.
#include <errno.h>

#include <string>

#include "extract_job.h"
#include "platform/files/win_path.h"
#include "stored_name.h"
#include "tools/bundlex/commands.h"
#include "tools/bundlex/extraction.h"
#include "tools/bundlex/output_folders.h"

namespace bundlex {

namespace {

int32_t on_note(int32_t kind, CabNote *note) {
  extraction &x = of(note);
  x.trace.follow(kind, *note);
  if (kind == NOTE_COPY) {
    const auto *job = static_cast<const ExtractJob *>(note->user);
    x.trace.output_path = platform::posix_path((std::string(job->destination) + note->text1).c_str());
  }
  int32_t answer = extract_notify(kind, note);
  if (kind == NOTE_COPY && answer == -1) {
    x.trace.create_errno = errno;
    x.trace.output = is_contained_name(note->text1) ? walk_trace::output_failure::cannot_create
                                                    : walk_trace::output_failure::refused_name;
  } else if (kind == NOTE_CLOSE && answer == 1) {
    x.file_done();
  }
  return answer;
}

}  // namespace

int extract_command(const options &opts) {
  extraction x(opts.cabinet);
  if (int code = x.list()) return code;
  if (!make_output_folders(opts.destination, x.entries)) return ERR_ABORTED;
  return x.run(opts.destination, on_note);
}

}  // namespace bundlex
