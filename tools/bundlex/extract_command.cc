// extract_command.cc - the x command: prepares the folders the stored names need, then extracts
// through extract_notify, learning why a file could not be created, and removes the file in
// progress when interrupted.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "extract_job.h"
#include "platform/files/beneath.h"
#include "platform/files/win_path.h"
#include "stored_name.h"
#include "tools/bundlex/commands.h"
#include "tools/bundlex/extraction.h"
#include "tools/bundlex/interruption.h"
#include "tools/bundlex/output_folders.h"

namespace bundlex {

namespace {

int32_t on_note(int32_t kind, CabNote *note) {
  if (interruption() != 0) return -1;
  extraction &x = of(note);
  x.trace.follow(kind, *note);
  const auto *job = static_cast<const ExtractJob *>(note->user);
  const int32_t refused_before = job->refused_files;
  const int32_t answer = extract_notify(kind, note);
  if (kind == NOTE_COPY && job->refused_files != refused_before) {
    x.name_refused(job->refusal, job->refused_nbytes, job->refused_errno);
  } else if (kind == NOTE_COPY) {
    x.trace.create_errno = errno;
    x.trace.output_failed = answer == -1;
    x.trace.output_path = platform::posix_path(job->output);
    x.trace.output_name = job->output + strlen(job->destination);
  } else if (kind == NOTE_CLOSE && answer == 1) {
    x.file_done();
  }
  return answer;
}

// Removes the file the walk was writing, found below the destination as it was made.
void remove_partial_file(const std::string &destination, const std::string &name) {
  const int folder = platform::open_folder(destination.c_str());
  if (folder < 0) return;
  const size_t cut = name.find_last_of("\\/");
  const int parent = cut == std::string::npos ? folder : platform::open_folder_beneath(folder, name.substr(0, cut), false);
  if (parent >= 0) unlinkat(parent, name.c_str() + (cut == std::string::npos ? 0 : cut + 1), 0);
  if (parent >= 0 && parent != folder) close(parent);
  close(folder);
}

}  // namespace

int extract_command(const options &opts) {
  extraction x(opts.cabinet);
  if (int code = x.list()) return code;
  if (!make_output_folders(opts.destination, x.entries)) return ERR_ABORTED;
  const int code = x.run(opts.destination, on_note);
  if (interruption() != 0) {
    if (!x.trace.file.empty() && !x.trace.output_failed) {
      remove_partial_file(opts.destination, x.trace.output_name);
      report(x.trace.output_path, "interrupted: the partial file was removed");
    } else {
      report(x.cabinet, "interrupted");
    }
    end_if_interrupted();
  }
  return code;
}

}  // namespace bundlex
