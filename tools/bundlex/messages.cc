// messages.cc - the tool's diagnostics; the one place that words a failure for the user.
#include "tools/bundlex/messages.h"

#include <stdio.h>
#include <string.h>

#include "cab_error_text.h"
#include "tools/bundlex/tool_ops.h"

namespace bundlex {

void walk_trace::follow(int32_t kind, const CabNote &note) {
  switch (kind) {
    case NOTE_COPY:
      file = note.text1;
      output = output_failure::none;
      break;
    case NOTE_CLOSE:
      file.clear();
      break;
    case NOTE_NEXT_CABINET:
      // text3 is the folder the first cabinet was found in; the set's cabinets are all there.
      cabinet = std::string(note.text3) + note.text1;
      break;
    default:
      break;
  }
}

void report(std::string_view subject, std::string_view text) {
  fprintf(stderr, "bundlex: %.*s: %.*s\n", static_cast<int>(subject.size()), subject.data(),
          static_cast<int>(text.size()), text.data());
}

void report_usage_error(std::string_view text) {
  fprintf(stderr, "bundlex: %.*s\nTry 'bundlex --help' for more information.\n", static_cast<int>(text.size()),
          text.data());
}

void report_failure(int code, const walk_trace &trace) {
  using enum walk_trace::output_failure;
  if (code == ERR_ABORTED && trace.output == refused_name) {
    report(trace.file, "refused: the name leads outside the destination folder");
  } else if (code == ERR_ABORTED && trace.output == cannot_create) {
    report(trace.output_path, std::string("cannot create the output file: ") + strerror(trace.create_errno));
  } else if (code == ERR_OUTPUT && io().write_errno != 0) {
    report(trace.output_path, std::string("cannot write the output file: ") + strerror(io().write_errno));
  } else if (code == ERR_OPEN_CABINET && !io().failed_open.empty()) {
    report(io().failed_open, std::string(cab_error_text(code)) + ": " + strerror(io().open_errno));
  } else {
    std::string text = cab_error_text(code);
    if (!trace.file.empty()) text += " (at " + trace.file + ")";
    report(trace.cabinet, text);
  }
}

}  // namespace bundlex
