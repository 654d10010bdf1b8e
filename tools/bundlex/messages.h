// messages.h - every diagnostic the tool writes to stderr, each naming its cause in words along
// with the cabinet, folder or file concerned.
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>

#include "cab_reader.h"

namespace bundlex {

// What a walk leaves behind for its failure message; the commands' handlers keep it up to date.
struct walk_trace {
  std::string cabinet;  // the cabinet being read, as its path was given or followed
  std::string file;     // stored name of the file in progress, empty between files
  enum class output_failure { none, refused_name, cannot_create } output = output_failure::none;
  std::string output_path;  // of the file in progress, as the kernel sees it
  int create_errno = 0;     // why it could not be created; 0 when the path was too long

  // Follows the notifications that move the walk: a file begins or ends, the next cabinet is needed.
  void follow(int32_t kind, const CabNote &note);
};

// "bundlex: <subject>: <text>".
void report(std::string_view subject, std::string_view text);

// A command line that cannot be understood, with a pointer to --help.
void report_usage_error(std::string_view text);

// The failure of a walk that ended with reader error `code`.
void report_failure(int code, const walk_trace &trace);

}  // namespace bundlex
