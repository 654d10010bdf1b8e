// main.cc - bundlex, the command-line front end of the cabinet library: dispatches the command line.
#include <string>

#include "tools/bundlex/commands.h"
#include "tools/bundlex/interruption.h"
#include "tools/bundlex/messages.h"
#include "tools/bundlex/options.h"

int main(int argc, char **argv) {
  using namespace bundlex;
  std::string error;
  std::optional<options> opts = parse_arguments(argc, argv, error);
  if (!opts) {
    report_usage_error(error);
    return kUsageError;
  }
  catch_interruptions();
  switch (opts->what) {
    case command::help:
      print_help();
      return 0;
    case command::version:
      print_version();
      return 0;
    case command::extract:
      return extract_command(*opts);
    case command::list:
      return list_command(*opts);
    case command::test:
      return test_command(*opts);
  }
  return kUsageError;
}
