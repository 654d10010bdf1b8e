// main.cc - quillora, the host program of the signing control: finds the command and runs it.
#include <string>
#include <vector>

#include "tools/quillora/command_line.h"
#include "tools/quillora/commands.h"
#include "tools/quillora/messages.h"

int main(int argc, char **argv) {
  using namespace quillora;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    report_usage_error("missing command", "");
    return kExitUsage;
  }
  const std::string &first = args.front();
  if (first == "-h" || first == "--help") {
    print_help();
    return kExitOk;
  }
  if (first == "--version") {
    print_version();
    return kExitOk;
  }
  for (const Command &command : commands()) {
    if (command.name == first) return command.run(std::span(args).subspan(1));
  }
  report_usage_error(first.starts_with("-") ? "unknown option '" + first + "'" : "unknown command '" + first + "'", "");
  return kExitUsage;
}
