// options.h - the command line: what the user asked for, and the help and version texts.
#pragma once

#include <optional>
#include <string>

namespace bundlex {

// The exit code of a command line that cannot be understood (EX_USAGE of sysexits.h), apart from
// the reader's error codes 1 to 11, which are the exit codes of the failures they name.
constexpr int kUsageError = 64;

enum class command { extract, list, test, help, version };

struct options {
  command what = command::help;
  std::string cabinet;
  std::string destination;  // for extract; empty is the current folder
};

// Parses argv. Returns the options, or nothing with `error` saying what is wrong. --help and
// --version win over everything else on the line.
std::optional<options> parse_arguments(int argc, const char *const *argv, std::string &error);

void print_help();
void print_version();

}  // namespace bundlex
