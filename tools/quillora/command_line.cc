// command_line.cc - the shared option parser: long options with values, operands, -- and --help.
#include "tools/quillora/command_line.h"

#include <algorithm>

namespace quillora {

namespace {

const OptionSpec *find_spec(std::span<const OptionSpec> specs, std::string_view name) {
  for (const OptionSpec &spec : specs) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

}  // namespace

bool ParsedOptions::has(std::string_view name) const {
  return std::any_of(given.begin(), given.end(), [&](const auto &option) { return option.first == name; });
}

const std::string &ParsedOptions::value(std::string_view name) const {
  static const std::string kNone;
  for (const auto &option : given) {
    if (option.first == name) return option.second;
  }
  return kNone;
}

std::optional<ParsedOptions> parse_options(std::span<const std::string> args, std::span<const OptionSpec> specs,
                                           std::string *error) {
  if (std::any_of(args.begin(), std::find(args.begin(), args.end(), "--"),
                  [](const std::string &arg) { return arg == "-h" || arg == "--help"; }))
    return ParsedOptions{.help = true};
  ParsedOptions parsed;
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionSpec *spec = find_spec(specs, name);
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'";
      return std::nullopt;
    }
    if (parsed.has(name)) {
      *error = "option " + name + " given twice";
      return std::nullopt;
    }
    std::string value;
    if (!spec->takes_value) {
      if (equals != std::string::npos) {
        *error = "option " + name + " takes no value";
        return std::nullopt;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "option " + name + " needs a value";
      return std::nullopt;
    }
    parsed.given.emplace_back(name, std::move(value));
  }
  return parsed;
}

std::string exclusive(const ParsedOptions &options, std::initializer_list<std::string_view> names) {
  std::string first;
  for (std::string_view name : names) {
    if (!options.has(name)) continue;
    if (!first.empty()) return "options " + first + " and " + std::string(name) + " exclude each other";
    first = name;
  }
  return "";
}

}  // namespace quillora
