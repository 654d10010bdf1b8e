// commands.h - the table of quillora's commands: adding a command is adding one entry.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quillora {

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for the program's help
  // Runs the command on the words after its name; returns the exit code, having reported any failure.
  int (*run)(std::span<const std::string> args);
};

std::span<const Command> commands();

void print_help();
void print_version();

}  // namespace quillora
