// command_line.h - the exit codes and the option parser that every quillora command shares.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillora {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the operation failed; stderr says why
constexpr int kExitUsage = 64;  // the command line cannot be understood (EX_USAGE of sysexits.h)

struct OptionSpec {
  std::string_view name;  // with its dashes, as "--subject"
  bool takes_value;
};

struct ParsedOptions {
  bool help = false;  // -h or --help was given; nothing else is then checked
  std::vector<std::string> operands;

  bool has(std::string_view name) const;
  // The value of an option that takes one, or "" when it was not given.
  const std::string &value(std::string_view name) const;

  std::vector<std::pair<std::string, std::string>> given;  // name and value, in command-line order
};

// Parses the words after a command against `specs`: "--name VALUE" or "--name=VALUE", each option
// at most once, operands anywhere, "--" ending the options. -h or --help anywhere wins over every
// error. Nothing, with *error set, for an unknown or repeated option or a missing value.
std::optional<ParsedOptions> parse_options(std::span<const std::string> args, std::span<const OptionSpec> specs,
                                           std::string *error);

// "" when at most one of the options was given, else the usage error that names the first two.
std::string exclusive(const ParsedOptions &options, std::initializer_list<std::string_view> names);

}  // namespace quillora
