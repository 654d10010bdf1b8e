// secrets.h - where a password or passphrase comes from: a file, standard input, or the user at the terminal.
#pragma once

#include <string>

namespace quillora {

struct SecretSource {
  enum class Kind { none, file, stdin_line, terminal } kind = Kind::none;
  std::string path;  // for file
};

enum class SecretStatus { ok, no_terminal, declined, failed };

// The secret from `source`: the first line of the file or of standard input without its line
// end, "" for none, or the user's answer when the platform asks on the terminal for `what`
// (`attempt` counts from 1). no_terminal when there is no terminal to ask on; failed with *error
// saying why when a file or standard input cannot be read.
SecretStatus read_secret(const SecretSource &source, const std::string &what, int attempt, std::string *secret,
                         std::string *error);

}  // namespace quillora
