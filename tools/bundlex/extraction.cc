// extraction.cc - the walk that x and t share.
#include "tools/bundlex/extraction.h"

#include "extract_job.h"
#include "tools/bundlex/interruption.h"
#include "tools/bundlex/tool_ops.h"

namespace bundlex {

int extraction::list() {
  int code = list_extraction(cabinet, entries);
  if (code != 0) report_failure(code, trace);
  return code;
}

int extraction::run(const std::string &destination, cab_notify_fn notify) {
  uint64_t total_nbytes = 0;
  for (const entry &e : entries) total_nbytes += e.nbytes;
  progress display(total_nbytes, entries.size());
  display_ = &display;
  io() = io_log{};
  io().on_write = [&display](uint64_t nbytes) { display.bytes_done(nbytes); };
  int code = run_extract(cabinet.c_str(), destination.c_str(), &tool_ops(), &tool_map_ops(), notify, this);
  io().on_write = nullptr;
  display_ = nullptr;
  // The progress line ends before any message follows it.
  display.finish();
  if (interruption() != 0) return code;
  report_skipped_partial(trace);
  // Names refused were reported one by one; 11 says no more when nothing else went wrong.
  const bool only_names = code == ERR_ABORTED && names_refused > 0 && !trace.output_failed;
  if (code != 0 && !only_names) report_failure(code, trace);
  return code;
}

void extraction::file_done() {
  ++files_done;
  if (display_ != nullptr) display_->file_done();
}

void extraction::name_refused(name_refusal refusal, size_t nbytes, int error) {
  ++names_refused;
  if (display_ != nullptr) display_->break_line();
  report_refused_name(trace, refusal, nbytes, error);
}

extraction &of(const CabNote *note) {
  return *static_cast<extraction *>(static_cast<ExtractJob *>(note->user)->caller);
}

}  // namespace bundlex
