// messages.h - every diagnostic the tool writes to stderr, each naming its cause in words along
// with the cabinet, folder or file concerned, and the one way text from a cabinet is shown.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

#include "cab_reader.h"
#include "stored_name.h"

namespace bundlex {

// `text` as it may go to a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8
// become "\xNN", so that a name keeps to its line and cannot drive the terminal.
std::string shown(std::string_view text);

// A stored name as its file is named (Windows-1252 made UTF-8, unless `attributes` mark it UTF-8),
// then shown().
std::string shown_name(const std::string &stored, uint16_t attributes);

// Why a file, folder or cabinet could not be opened or made (errno `error`), in words.
std::string open_cause(int error);

// What a walk leaves behind for its messages; the commands' handlers keep it up to date.
struct walk_trace {
  std::string cabinet;  // the cabinet being read, as its path was given or followed
  std::string file;     // stored name of the file in progress, empty between files
  uint16_t file_attributes = 0;
  bool output_failed = false;  // the file in progress could not be created
  std::string output_path;     // of the file in progress: destination and UTF-8 name
  std::string output_name;     // its UTF-8 name below the destination
  int create_errno = 0;        // why it could not be created
  bool next_refused = false;   // the next cabinet's name was not a plain file name (or was empty)
  std::string next_name;       // that name
  size_t skipped_partial = 0;  // files that began in an earlier cabinet of the set
  std::string previous_cabinet;

  // Follows the notifications that move the walk: a file begins or ends, the next cabinet is
  // needed, a file that began earlier is skipped.
  void follow(int32_t kind, const CabNote &note);
};

// "bundlex: <subject>: <text>", both shown().
void report(std::string_view subject, std::string_view text);

// A command line that cannot be understood, with a pointer to --help.
void report_usage_error(std::string_view text);

// A file skipped for its stored name, with the extraction's reason and the length at fault.
void report_refused_name(const walk_trace &trace, name_refusal refusal, size_t nbytes, int error);

// That files beginning in an earlier cabinet of the set were skipped, when any were.
void report_skipped_partial(const walk_trace &trace);

// The failure of a walk that ended with reader error `code`.
void report_failure(int code, const walk_trace &trace);

}  // namespace bundlex
