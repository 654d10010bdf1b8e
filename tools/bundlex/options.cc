// options.cc - parsing the command line, and the help and version texts.
#include "tools/bundlex/options.h"

#include <stdio.h>
#include <string.h>

#include <string_view>

#include "cab_error_text.h"
#include "cab_reader.h"

namespace bundlex {

namespace {

constexpr struct {
  std::string_view name;
  command what;
} kCommands[] = {{"x", command::extract}, {"l", command::list}, {"t", command::test}};

std::optional<command> find_command(std::string_view name) {
  for (const auto &c : kCommands) {
    if (c.name == name) return c.what;
  }
  return std::nullopt;
}

}  // namespace

std::optional<options> parse_arguments(int argc, const char *const *argv, std::string &error) {
  options result;
  std::optional<command> what;
  bool have_cabinet = false;
  bool have_destination = false;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!options_end && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_end = true;
      } else if (arg == "-h" || arg == "--help") {
        return options{command::help};
      } else if (arg == "--version") {
        return options{command::version};
      } else if (arg.starts_with("-d")) {
        if (have_destination) {
          error = "option -d given twice";
          return std::nullopt;
        }
        // Both "-d DIR" and "-dDIR".
        if (arg.size() > 2) {
          result.destination = arg.substr(2);
        } else if (i + 1 < argc) {
          result.destination = argv[++i];
        } else {
          error = "option -d needs a folder";
          return std::nullopt;
        }
        have_destination = true;
      } else {
        error = "unknown option '" + std::string(arg) + "'";
        return std::nullopt;
      }
    } else if (!what) {
      what = find_command(arg);
      if (!what) {
        error = "unknown command '" + std::string(arg) + "'";
        return std::nullopt;
      }
    } else if (!have_cabinet) {
      result.cabinet = arg;
      have_cabinet = true;
    } else {
      error = "unexpected argument '" + std::string(arg) + "'";
      return std::nullopt;
    }
  }
  if (!what) {
    error = "missing command (x, l or t)";
  } else if (!have_cabinet) {
    error = "missing CABINET";
  } else if (have_destination && *what != command::extract) {
    error = "option -d applies to x only";
  } else {
    result.what = *what;
    return result;
  }
  return std::nullopt;
}

void print_help() {
  fputs(
      "Usage: bundlex x CABINET [-d DIR]\n"
      "       bundlex l CABINET\n"
      "       bundlex t CABINET\n"
      "Extracts, lists and tests cabinet (.cab) archives (stored, MSZIP, Quantum and LZX).\n"
      "\n"
      "Commands:\n"
      "  x CABINET   extract the files that begin in CABINET into DIR, following the next\n"
      "              cabinets of its set (looked for in CABINET's folder) while a file runs on\n"
      "  l CABINET   list the file entries of CABINET: size, date and time, attributes\n"
      "              (R read-only, H hidden, S system, A archive, X run after extraction),\n"
      "              folder, compression method and name\n"
      "  t CABINET   decode every file that x would extract and check every checksum,\n"
      "              writing nothing\n"
      "\n"
      "Options:\n"
      "  -d DIR      destination folder of x, made if missing (default: the current folder)\n"
      "  -h, --help  show this help and exit\n"
      "  --version   show the version and exit\n"
      "\n"
      "Stored names are Windows-1252 unless marked as UTF-8, and become UTF-8 file names.\n"
      "A name that would leave DIR (absolute, drive-qualified or with a \"..\" part) or\n"
      "cannot be a file name is refused: its file is skipped, the others are extracted,\n"
      "and the exit code is 11. Nothing below DIR is written through a symbolic link.\n"
      "Listings and the test summary go to stdout; diagnostics and, on a terminal, the\n"
      "progress of large jobs go to stderr. Ctrl-C during x removes the file in progress.\n"
      "\n"
      "Exit codes:\n"
      "   0  success\n",
      stdout);
  for (int code = ERR_OPEN_CABINET; code <= ERR_ABORTED; ++code) printf("  %2d  %s\n", code, cab_error_text(code));
  printf("  %2d  usage error\n", kUsageError);
}

void print_version() { printf("bundlex %s\n", BUNDLEX_VERSION); }

}  // namespace bundlex
